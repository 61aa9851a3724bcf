#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "link/modem.h"
#include "link/pin_memory.h"
#include "platform/platform.h"
#include "protocol/line.h"
#include "protocol/status.h"
#include "readings/low_battery.h"
#include "readings/output_files.h"
#include "readings/record_writer.h"
#include "session/feedback.h"
#include "session/run_state.h"

namespace tavric {

// One launch's download run as the main window holds it: the parts each layer owns and
// works on, and what the run itself decides. Only the application's own routines take
// it whole; each lower routine is handed the parts it uses.
struct DownloadRun {
  // `state_dir` is the program's state folder, where a SIM's refused PINs are
  // remembered; empty: the output folder.
  explicit DownloadRun(Platform& platform, const std::filesystem::path& state_dir = {})
      : p(platform),
        feedback(platform.window),
        line{platform.port, platform.clock, feedback, platform.log},
        output(platform.files, platform.output_dir, platform.log),
        pins{platform.files, state_dir.empty() ? platform.output_dir : state_dir, platform.digest,
             platform.clock, platform.log},
        modem(line, platform.dialogs, platform.settings, pins) {}
  DownloadRun(const DownloadRun&) = delete;
  DownloadRun& operator=(const DownloadRun&) = delete;

  RecordWriter writer() { return RecordWriter{output, low_batteries}; }

  Platform& p;
  Feedback feedback;
  Line line;
  OutputFiles output;
  LowBatteries low_batteries;
  PinMemory pins;
  Modem modem;

  // What the server told of its store and clock; the stages count the reading count
  // and the read pointer on as the download goes.
  ServerStatus status;
  LinkState link;
  MissingReadings missing;
  std::int16_t PortNumber = 0;
  bool Busy = false;  // a run or status check has started: the timer starts no other

  // What the run did, in a line or two, once it has ended: for the trace and the
  // standard output of a scheduled run.
  std::vector<std::string> RunSummary;
};

}  // namespace tavric
