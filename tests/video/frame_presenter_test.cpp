// The frame presenter: the newest picture replaces the one waiting, and the
// window is told once per wait.
#include <gtest/gtest.h>

#include <memory>

#include "video/frame_presenter.h"

namespace {

QImage Filled(int width) {
  QImage image(width, 4, QImage::Format_RGB32);
  image.fill(Qt::gray);
  return image;
}

lv::FrameRef Frame() { return std::make_shared<lv::FrameRecord>(); }

TEST(FramePresenter, TheNewestReplacesTheWaitingOneAndOnePostCoversTheWait) {
  lv::FramePresenter presenter;
  EXPECT_FALSE(presenter.HasPicture());
  QImage first = Filled(10), second = Filled(20), third = Filled(30);
  const lv::FrameRef firstFrame = Frame(), secondFrame = Frame();

  EXPECT_TRUE(presenter.Publish(first, firstFrame)) << "nothing waited: the window is told";
  EXPECT_TRUE(first.isNull()) << "the presenter held nothing to hand back";
  EXPECT_FALSE(presenter.Publish(second, secondFrame)) << "one waits already: no second post";
  EXPECT_EQ(second.width(), 10) << "the replaced picture's buffer comes back for reuse";

  lv::FrameRef taken;
  EXPECT_EQ(presenter.Take(&taken).width(), 20);
  EXPECT_EQ(taken, secondFrame);
  EXPECT_EQ(firstFrame.use_count(), 1) << "the replaced frame is let go";
  EXPECT_TRUE(presenter.Publish(third, Frame())) << "taken: the next one is told again";

  presenter.Clear();
  EXPECT_FALSE(presenter.HasPicture());
  EXPECT_TRUE(presenter.Take().isNull());
  QImage fourth = Filled(40);
  EXPECT_TRUE(presenter.Publish(fourth, nullptr)) << "a clear ends the wait";
  EXPECT_EQ(presenter.Take().width(), 40);
}

}  // namespace
