// Modem reply matching: WaitModemComms, and the whole modem dialogue (detection, PIN,
// dial, status through the call), against a line that sends whatever the fuzzer wrote.
//
// Input: [mode][awaited reply][wait][PIN answer length][PIN answer][number length]
// [number] then arrivals (see read_chunks). mode % 2: 0 one wait, 1 the dialogue.

#include "fuzz/fuzz_host.h"
#include "link/modem.h"
#include "platform/run_control.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace tavric;
  using namespace tavric::fuzz;
  static const char* const kAwaited[] = {"OK", "READY", "CONNECT"};
  Reader r(data, size);
  const int mode = r.byte() % 2;
  const std::string awaited = kAwaited[r.byte() % 3];
  const float wait = static_cast<float>(r.byte()) / 4.0F;
  FuzzHost h;
  Modem& modem = h.run.modem;
  for (int i = 0; i < 2; ++i) {
    const Bytes answer = r.bytes(r.byte() % 16);
    h.dialogs.answers.emplace_back(answer.begin(), answer.end());
  }
  h.line.pending = read_chunks(r);

  if (mode == 0) {
    modem.expect(awaited);
    const MonoTime start = h.clock.now;
    const bool came = modem.WaitModemComms(wait);
    // The wait succeeds exactly when the awaited text is among what it collected, and
    // never outlasts its time.
    require(came == (modem.ModemReply().find(awaited) != std::string::npos), "verdict of the wait");
    require(h.clock.now - start <= seconds_f(wait) + seconds_f(0.001), "the wait overran");
  } else {
    try {
      if (modem.ConnectThroughModem(0.0F)) {
        require(modem.connected(), "connected without a call");
      }
    } catch (const ProgramEnd&) {
      // A refused PIN, a failed dial or a silent server ends the program; so be it.
    }
  }
  return 0;
}
