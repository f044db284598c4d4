// Motion watching in the program: the site view against the simulator's still
// scene with an object crossing it. A watched site reports the event's start
// and end and keeps its clip; a site that is not watched gets no watcher.
#include <gtest/gtest.h>

#include <dvrsim/simulator.h>
#include <filesystem>
#include <mutex>
#include <vector>

#include "shell/motion_watch.h"
#include "support/pump.h"
#include "view/view_rig.h"

namespace {

namespace fs = std::filesystem;

TEST(MotionWatch, AnObjectInTheViewStartsAnEventWhoseClipIsKept) {
  const fs::path folder = fs::path(testing::TempDir()) / "motion-watch-clips";
  fs::remove_all(folder);
  dvrsim::Config config;
  config.fps = 10;
  config.scene.still = true;
  config.scene.objectAt = {2.0};
  lvtest::ViewRig rig(config);

  lv::MotionSetup setup;
  setup.clipsFolder = folder;
  setup.sites["Office"].watch = true;
  std::mutex mutex;
  std::vector<lv::MotionEvent> events;
  lv::MotionWatch watch(setup, [&](const lv::MotionEvent& e) {
    std::lock_guard lock(mutex);
    events.push_back(e);
  });
  EXPECT_FALSE(watch.WatchSite(u"Elsewhere")) << "a site that is not watched gets no watcher";
  rig.view.m_motionHooks.watch = [&](const std::u16string& site) { return watch.WatchSite(site); };
  const auto count = [&] {
    std::lock_guard lock(mutex);
    return events.size();
  };

  bool kept = false;
  rig.Run([&] {
    ASSERT_TRUE(rig.WaitPictures(3));
    kept = watch.SaveClip("Office", 0);
    // The object crosses from 2 s to 5 s; the event ends its hold time later.
    ASSERT_TRUE(lvtest::PumpUntil([&] { return count() >= 2; }, 30000));
  });
  EXPECT_TRUE(kept) << "a clip on demand once the channel's pictures arrive";
  EXPECT_FALSE(watch.SaveClip("Office", 5)) << "a channel nobody watched";

  std::lock_guard lock(mutex);
  ASSERT_EQ(events.size(), 2u);
  EXPECT_TRUE(events[0].started);
  EXPECT_FALSE(events[1].started);
  for (const lv::MotionEvent& e : events) {
    EXPECT_EQ(e.site, "Office");
    EXPECT_EQ(e.channel, 0);
  }
  EXPECT_LT(events[0].wallUs, events[1].wallUs);
  // The view's run is over: its watcher closed the clip under its own name.
  ASSERT_FALSE(events[0].clipPath.empty());
  EXPECT_TRUE(lvtest::PumpUntil([&] { return fs::exists(events[0].clipPath); }, 10000)) << events[0].clipPath;
  EXPECT_GT(fs::file_size(events[0].clipPath), 0u);
  EXPECT_EQ(fs::path(events[0].clipPath).parent_path(), folder / "Office");
  for (const auto& entry : fs::directory_iterator(folder / "Office"))
    EXPECT_NE(entry.path().extension(), ".part") << entry.path();
}

// No picture will end an event whose pictures stop: the watcher ends it when
// the view switches to another channel or its run ends mid-event.
TEST(MotionWatch, AnEventEndsWhenItsPicturesStop) {
  for (const bool switchChannel : {true, false}) {
    SCOPED_TRACE(switchChannel ? "channel switched" : "run ended");
    dvrsim::Config config;
    config.fps = 10;
    config.scene.still = true;
    config.scene.objectAt = {1.0};
    lvtest::ViewRig rig(config);
    lv::MotionSetup setup;
    setup.sites["Office"].watch = true;
    setup.sites["Office"].clips = false;
    std::mutex mutex;
    std::vector<lv::MotionEvent> events;
    lv::MotionWatch watch(setup, [&](const lv::MotionEvent& e) {
      std::lock_guard lock(mutex);
      events.push_back(e);
    });
    rig.view.m_motionHooks.watch = [&](const std::u16string& site) { return watch.WatchSite(site); };
    const auto count = [&] {
      std::lock_guard lock(mutex);
      return events.size();
    };
    rig.Run([&] {
      ASSERT_TRUE(lvtest::PumpUntil([&] { return count() >= 1; }, 30000));
      if (switchChannel) rig.Click(rig.view.ChannelButton(1));
      ASSERT_TRUE(!switchChannel || lvtest::PumpUntil([&] { return count() >= 2; }, 10000));
    });
    std::lock_guard lock(mutex);
    ASSERT_EQ(events.size(), 2u);
    EXPECT_TRUE(events[0].started);
    EXPECT_FALSE(events[1].started);
    EXPECT_EQ(events[1].channel, 0);
  }
}

}  // namespace
