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

// The view on the simulator's still scene with an object entering at
// objectAtS, and a watcher of "Office" (clips into `clips`, none when empty)
// whose events are collected.
struct WatchedView {
  WatchedView(double objectAtS, const fs::path& clips)
      : watch(Setup(clips),
              [this](const lv::MotionEvent& e) {
                std::lock_guard lock(mutex);
                events.push_back(e);
              }),
        rig(Scene(objectAtS)) {
    rig.view.m_motionHooks.watch = [this](const std::u16string& site) { return watch.WatchSite(site); };
  }
  static dvrsim::Config Scene(double objectAtS) {
    dvrsim::Config config;
    config.fps = 10;
    config.scene.still = true;
    config.scene.objectAt = {objectAtS};
    return config;
  }
  static lv::MotionSetup Setup(const fs::path& clips) {
    lv::MotionSetup setup;
    setup.clipsFolder = clips;
    setup.sites["Office"].watch = true;
    setup.sites["Office"].clips = !clips.empty();
    return setup;
  }
  std::size_t Count() {
    std::lock_guard lock(mutex);
    return events.size();
  }

  std::mutex mutex;
  std::vector<lv::MotionEvent> events;
  lv::MotionWatch watch;
  lvtest::ViewRig rig;  // first to go: its watcher may still report an end
};

TEST(MotionWatch, AnObjectInTheViewStartsAnEventWhoseClipIsKept) {
  const fs::path folder = fs::path(testing::TempDir()) / "motion-watch-clips";
  fs::remove_all(folder);
  WatchedView w(2.0, folder);
  lvtest::ViewRig& rig = w.rig;
  lv::MotionWatch& watch = w.watch;
  EXPECT_FALSE(watch.WatchSite(u"Elsewhere")) << "a site that is not watched gets no watcher";

  bool kept = false;
  rig.Run([&] {
    ASSERT_TRUE(rig.WaitPictures(3));
    kept = watch.SaveClip("Office", 0);
    // The object crosses from 2 s to 5 s; the event ends its hold time later.
    ASSERT_TRUE(lvtest::PumpUntil([&] { return w.Count() >= 2; }, 30000));
  });
  EXPECT_TRUE(kept) << "a clip on demand once the channel's pictures arrive";
  EXPECT_FALSE(watch.SaveClip("Office", 5)) << "a channel nobody watched";

  std::lock_guard lock(w.mutex);
  const std::vector<lv::MotionEvent>& events = w.events;
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
    WatchedView w(1.0, {});
    w.rig.Run([&] {
      ASSERT_TRUE(lvtest::PumpUntil([&] { return w.Count() >= 1; }, 30000));
      if (switchChannel) w.rig.Click(w.rig.view.ChannelButton(1));
      ASSERT_TRUE(!switchChannel || lvtest::PumpUntil([&] { return w.Count() >= 2; }, 10000));
    });
    std::lock_guard lock(w.mutex);
    ASSERT_EQ(w.events.size(), 2u);
    EXPECT_TRUE(w.events[0].started);
    EXPECT_FALSE(w.events[1].started);
    EXPECT_EQ(w.events[1].channel, 0);
  }
}

}  // namespace
