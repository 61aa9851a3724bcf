#include <gtest/gtest.h>

#include "app/form.h"
#include "platform/run_control.h"
#include "session/feedback.h"
#include "tests/host/test_host.h"

namespace tavric {
namespace {

using testhost::TestHost;

TEST(SavedSpeed, FirstLaunchSelectsLoAndUnloadSavesTheOption) {
  TestHost host;
  DownloadRun run(host.platform);
  Form_Load(host.window, host.settings);
  EXPECT_FALSE(host.window.speed_hi());
  host.window.set_speed_hi(true);
  Form_Unload(run);
  EXPECT_EQ(host.settings.get("Speed", ""), "1");

  // The next launch starts with "Hi"; a value the program never writes gives "Lo".
  Form_Load(host.window, host.settings);
  EXPECT_TRUE(host.window.speed_hi());
  host.settings.set("Speed", "1.0");
  Form_Load(host.window, host.settings);
  EXPECT_FALSE(host.window.speed_hi());
}

TEST(Feedback, AnimationLampsProgressAndEventLine) {
  TestHost host;
  Feedback feedback(host.window);
  for (int i = 0; i < 11; ++i) feedback.NextDumpImg();
  EXPECT_EQ(host.window.frame_history(), (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 1}));

  // Lamps change one at a time; an unknown letter leaves the lamp as it is.
  feedback.SetLed(0, "G");
  feedback.SetLed(1, "R");
  feedback.SetLed(1, "X");
  feedback.SetLed(0, "N");
  EXPECT_EQ(host.window.led(0), LedColour::Off);
  EXPECT_EQ(host.window.led(1), LedColour::Red);
  EXPECT_EQ(host.window.led_history().size(), 3U);

  // Progress outside the bar keeps the last value.
  feedback.SetProgress(40);
  feedback.SetProgress(101);
  feedback.SetProgress(-1);
  EXPECT_EQ(host.window.progress(), 40);

  // The event line takes the text, then yields: closing the window then stops the run.
  host.window.when([] { return true; }, [&] { host.window.close(); });
  EXPECT_THROW(feedback.ShowEvent("Loading reading 1/2"), WindowClosed);
  EXPECT_EQ(host.window.event_text(), "Loading reading 1/2");
}

}  // namespace
}  // namespace tavric
