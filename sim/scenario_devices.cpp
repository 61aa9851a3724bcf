#include "sim/scenario_devices.h"

#include <algorithm>
#include <cstdio>

#include "sim/json_text.h"
#include "sim/record_generator.h"

namespace tavric::sim {
namespace {

std::vector<Record> generate(const Scenario& sc, const LocalDateTime& clock) {
  GeneratorOptions g;
  g.seed = sc.seed;
  if (sc.clean_records) g.mix = RecordMix::clean();
  // The last round of readings is taken shortly before the server clock.
  const int rounds = (sc.readings + g.probes - 1) / g.probes;
  g.start = from_seconds_since_2000(seconds_since_2000(clock) -
                                    static_cast<std::int64_t>(rounds) * g.interval_minutes * 60);
  return RecordGenerator(g).take(sc.readings);
}

std::string datetime_text(const LocalDateTime& t) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour,
                t.minute, t.second);
  return buf;
}

void write_requests(JsonText& j, const std::vector<ReceivedRequest>& log, MonoTime start) {
  j.key("requests").begin_array();
  for (const auto& r : log) {
    j.begin_object();
    j.key("t").number(std::chrono::duration<double>(r.at - start).count());
    j.key("number").number(r.number);
    j.key("command").number(r.command);
    j.key("args").begin_array();
    for (Byte b : r.args) j.number(b);
    j.end_array();
    j.key("baud").number(r.baud);
    j.key("answered").boolean(r.answered);
    j.end_object();
  }
  j.end_array();
}

}  // namespace

ScenarioDevices::ScenarioDevices(const Scenario& sc, const LocalDateTime& now) {
  const LocalDateTime clock = sc.clock.value_or(now);
  const MonoTime turnaround = seconds_f(sc.turnaround_s);
  if (!sc.endless.empty()) {
    const auto kind = sc.endless == "zeros" ? EndlessBytes::Kind::Zeros
                      : sc.endless == "5e"  ? EndlessBytes::Kind::StartBytes
                                            : EndlessBytes::Kind::Noise;
    endless_ = std::make_unique<EndlessBytes>(kind, sc.seed);
  }
  if (sc.generation == Scenario::Generation::Legacy) {
    LegacyServer::Config c;
    c.records = generate(sc, clock);
    c.clock = clock;
    c.turnaround = turnaround;
    c.faults = sc.faults;
    c.baud = sc.legacy_baud;
    legacy_ = std::make_unique<LegacyServer>(std::move(c));
  } else {
    V5Server::Config c;
    c.buffer_size = sc.buffer_size;
    c.records = generate(sc, clock);
    c.write_pointer =
        sc.write_pointer >= 0
            ? sc.write_pointer
            : static_cast<int>(c.records.size() % static_cast<std::size_t>(sc.buffer_size));
    c.read_pointer = sc.read_pointer;
    c.new_readings = sc.new_readings;
    c.clock = clock;
    c.clock_valid = sc.clock_valid;
    c.turnaround = turnaround;
    c.faults = sc.faults;
    v5_ = std::make_unique<V5Server>(std::move(c));
    if (sc.modem) modem_ = std::make_unique<CellModem>(*v5_, sc.modem_config);
  }
}

LineDevice& ScenarioDevices::front() {
  if (endless_) return *endless_;
  if (modem_) return *modem_;
  if (v5_) return *v5_;
  return *legacy_;
}

std::string ScenarioDevices::log_json(MonoTime start, MonoTime now) const {
  JsonText j;
  j.begin_object();
  j.key("generation").string(legacy_ ? "legacy" : "v5");
  if (legacy_) {
    write_requests(j, legacy_->requests(), start);
    j.key("store").begin_object();
    j.key("blocks").number(legacy_->block_count());
    j.key("first_block").number(LegacyServer::kFirstBlock);
    j.key("baud").number(legacy_->baud());
    j.key("clock").string(datetime_text(legacy_->clock_at(now)));
    j.key("clock_sets").begin_array();
    for (const auto& t : legacy_->clock_sets()) j.string(datetime_text(t));
    j.end_array();
    j.key("clears").number(legacy_->clear_count());
    j.key("records").begin_array();
    for (const auto& r : legacy_->records()) j.string(hex_text(r));
    j.end_array();
    j.end_object();
  } else {
    write_requests(j, v5_->requests(), start);
    j.key("store").begin_object();
    j.key("buffer_size").number(v5_->buffer_size());
    j.key("write_pointer").number(v5_->write_pointer());
    j.key("read_pointer").number(v5_->read_pointer());
    j.key("new_readings").number(v5_->new_readings());
    j.key("clock_valid").boolean(v5_->clock_valid());
    j.key("clock").string(datetime_text(v5_->clock_at(now)));
    j.key("clock_sets").begin_array();
    for (auto steps : v5_->clock_sets()) j.number(static_cast<double>(steps));
    j.end_array();
    j.key("clears").number(v5_->clear_count());
    j.key("frames_sent").number(v5_->frames_sent());
    // Only the slots ever written; the rest are erased.
    j.key("slots").begin_array();
    const Record erased = erased_record();
    for (std::size_t i = 0; i < v5_->slots().size(); ++i) {
      if (v5_->slots()[i] == erased) continue;
      j.begin_object();
      j.key("slot").number(static_cast<double>(i));
      j.key("record").string(hex_text(v5_->slots()[i]));
      j.end_object();
    }
    j.end_array();
    j.end_object();
  }
  if (modem_) {
    j.key("modem").begin_object();
    j.key("commands").begin_array();
    for (const auto& c : modem_->commands()) j.string(c);
    j.end_array();
    j.key("dialled").begin_array();
    for (const auto& c : modem_->dialled()) j.string(c);
    j.end_array();
    j.key("sim_unlocked").boolean(modem_->sim_unlocked());
    j.key("calls").number(modem_->calls());
    j.key("hangups").number(modem_->hangups());
    j.key("in_call").boolean(modem_->in_call());
    j.end_object();
  }
  j.end_object();
  return j.text() + "\n";
}

}  // namespace tavric::sim
