#include "app/run.h"

#include "app/chart_page_step.h"
#include "app/connection.h"
#include "app/form.h"
#include "app/run_summary.h"
#include "app/stages.h"
#include "link/modem.h"
#include "platform/run_control.h"
#include "readings/output_folder.h"
#include "session/exit_status.h"

namespace tavric {
namespace {

void CloseEverything(DownloadRun& run) {
  if (run.output.any_open()) run.output.CloseOutputFiles();
  run.p.port.close();
}

int WindUp(DownloadRun& run, bool legacy, std::optional<std::uintmax_t> probe_data_before) {
  Platform& p = run.p;
  const bool& NoComms = run.link.NoComms;
  if (run.modem.connected()) run.modem.ModemDisconnect();
  CloseEverything(run);
  WriteChartPageAfterRun(p, run.output.folder(), run.feedback, probe_data_before);
  if (NoComms) {
    p.dialogs.message("NO COMMS",
                      "The data download could not be completed. The communications to the "
                      "server has been lost.");
  }
  if (run.low_batteries.LowVoltCount() > 0) run.low_batteries.ShowLowBatteryReport(p.dialogs);
  // The link held and the files are sound, yet readings stayed behind: say so, or a
  // scheduled collection would never learn of them.
  const bool written = run.output.OutputFault().empty();
  const bool kept = !NoComms && written && run.missing.ReadingsMissing;
  if (kept && run.missing.MissingCount > 0) {
    p.dialogs.message("Readings Kept", KeptText(run.missing, legacy));
  }
  p.settings.set("Speed", SpeedSetting(p.window));
  CloseEverything(run);
  if (NoComms) return kExitNoComms;
  if (!written) return kExitOutputFailed;
  if (kept) return kExitReadingsKept;
  return kExitCompleted;
}

}  // namespace

std::optional<int> tmr_Timer(DownloadRun& run) {
  if (run.Busy) return std::nullopt;
  run.Busy = true;
  run.p.window.stop_timer();
  run.link.NoComms = true;
  RunFacts facts;
  const int status = [&]() -> int {
    try {
      run.output.hold_folder(TakeOutputFolder(run.p, run.feedback));
      facts.probe_data_before = ProbeDataSize(run.p.files, run.output.folder());
      facts.legacy = ConnectionLoop(run);
      facts.connected = true;
      facts.by_modem = run.modem.connected();
      RunStages(run, facts.legacy);
      return WindUp(run, facts.legacy, facts.probe_data_before);
    } catch (const ProgramEnd& end) {
      return end.status;
    } catch (const WindowClosed&) {
      // Closed while an exchange awaited its answer: the link is not confirmed.
      if (run.line.exchanging) run.link.NoComms = true;
      return kExitClosed;
    }
  }();
  // Summed up while the output folder is still this run's, so that the files it names
  // are as this run left them.
  NoteRunSummary(run, facts, status);
  run.output.release_folder();
  return status;
}

}  // namespace tavric
