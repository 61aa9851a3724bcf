#pragma once

#include <memory>
#include <string>

#include "platform/calendar.h"
#include "sim/endless_bytes.h"
#include "sim/legacy_server.h"
#include "sim/modem.h"
#include "sim/scenario.h"
#include "sim/v5_server.h"

namespace tavric::sim {

// The devices a scenario describes: a legacy or v5 server stocked with generated
// records, and a cell modem in front of it when asked for.
class ScenarioDevices {
 public:
  // `now` is the server clock when the scenario gives none.
  ScenarioDevices(const Scenario& scenario, const LocalDateTime& now);

  // The device on the client's line: the modem, or else the server.
  LineDevice& front();
  LegacyServer* legacy() { return legacy_.get(); }
  V5Server* v5() { return v5_.get(); }
  CellModem* modem() { return modem_.get(); }

  // The requests received and the store now, as JSON; times in seconds after `start`.
  std::string log_json(MonoTime start, MonoTime now) const;

 private:
  std::unique_ptr<LegacyServer> legacy_;
  std::unique_ptr<V5Server> v5_;
  std::unique_ptr<CellModem> modem_;
  std::unique_ptr<EndlessBytes> endless_;
};

}  // namespace tavric::sim
