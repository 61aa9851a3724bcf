#include "app/run.h"

#include "app/chart_page_step.h"
#include "app/connection.h"
#include "app/form.h"
#include "app/run_summary.h"
#include "app/stages.h"
#include "link/modem.h"
#include "platform/run_control.h"
#include "readings/output_files.h"
#include "readings/output_folder.h"
#include "session/exit_status.h"
#include "session/feedback.h"

namespace tavric {
namespace {

void CloseEverything(Session& s) {
  if (s.DumpFile || s.ProbeFile) CloseOutputFiles(s);
  s.p.port.close();
}

int WindUp(Session& s, bool legacy, std::optional<std::uintmax_t> probe_data_before) {
  if (s.ModemConnected == 1) ModemDisconnect(s);
  CloseEverything(s);
  WriteChartPageAfterRun(s, probe_data_before);
  if (s.NoComms) {
    s.p.dialogs.message("NO COMMS",
                        "The data download could not be completed. The communications to the "
                        "server has been lost.");
  }
  if (s.LowVoltCount > 0) ShowLowBatteryReport(s);
  // The link held and the files are sound, yet readings stayed behind: say so, or a
  // scheduled collection would never learn of them.
  const bool kept = !s.NoComms && s.OutputFault.empty() && s.ReadingsMissing;
  if (kept && s.MissingCount > 0) {
    s.p.dialogs.message("Readings Kept", KeptText(s, legacy));
  }
  s.p.settings.set("Speed", SpeedSetting(s));
  CloseEverything(s);
  if (s.NoComms) return kExitNoComms;
  if (!s.OutputFault.empty()) return kExitOutputFailed;
  if (kept) return kExitReadingsKept;
  return kExitCompleted;
}

}  // namespace

std::optional<int> tmr_Timer(Session& s) {
  if (s.Busy) return std::nullopt;
  s.Busy = true;
  s.p.window.stop_timer();
  s.LowVoltCount = 0;
  s.NoComms = true;
  RunFacts facts;
  const int status = [&]() -> int {
    try {
      TakeOutputFolder(s);
      facts.probe_data_before = ProbeDataSize(s);
      facts.legacy = ConnectionLoop(s);
      facts.connected = true;
      facts.by_modem = s.ModemConnected == 1;
      RunStages(s, facts.legacy);
      return WindUp(s, facts.legacy, facts.probe_data_before);
    } catch (const ProgramEnd& end) {
      return end.status;
    } catch (const WindowClosed&) {
      return kExitClosed;
    }
  }();
  // Summed up while the output folder is still this run's, so that the files it names
  // are as this run left them.
  NoteRunSummary(s, facts, status);
  s.FolderLock.reset();
  return status;
}

}  // namespace tavric
