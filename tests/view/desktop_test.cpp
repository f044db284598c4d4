// The site view on a desktop: keys, saving the picture, reconnecting by
// itself, and a title that keeps its channel.
#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QTest>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "controls/grp_btn.h"
#include "platform/ui/window_api.h"
#include "protocol/ids.h"
#include "support/pump.h"
#include "view_rig.h"

using namespace lv;
using namespace lvtest;

namespace {

void Key(ViewRig& rig, QEvent::Type type, int key, bool autoRepeat = false,
         Qt::KeyboardModifiers mods = Qt::NoModifier) {
  QKeyEvent e(type, key, mods, key == Qt::Key_Plus ? QStringLiteral("+") : QString(), autoRepeat);
  QApplication::sendEvent(rig.view.GetWidget(), &e);
}

std::vector<int> OpenedChannels(const ViewRig& rig) {
  std::vector<int> out;
  for (const dvrsim::Request& r : rig.RequestsOf(PID_XAV_REQ_CH_OPEN)) out.push_back(r.channel);
  return out;
}

TEST(ViewKeys, DigitsSwitchAndHeldArrowsMoveUntilReleased) {
  dvrsim::Config cfg;
  cfg.ptzMask = 0x20000000;  // channel 3
  ViewRig rig(cfg);
  rig.Run([&] {
    ASSERT_TRUE(rig.WaitStatus(ST_RECEIVING));
    Key(rig, QEvent::KeyPress, Qt::Key_3);
    ASSERT_TRUE(PumpUntil([&] { return rig.view.Status() == ST_RECEIVING && rig.site.m_nCurrentCH.load() == 2; }));
    ASSERT_TRUE(PumpUntil([&] { return rig.view.PtzChannel(); }));
    rig.TapView({240, 200});
    ASSERT_TRUE(rig.view.PtzMode());
    // One long press: the display server's repeats never stop the move,
    // whether they come marked as repeats or look like a release and a press.
    Key(rig, QEvent::KeyPress, Qt::Key_Up);
    Key(rig, QEvent::KeyRelease, Qt::Key_Up, true);
    Key(rig, QEvent::KeyPress, Qt::Key_Up, true);
    Key(rig, QEvent::KeyRelease, Qt::Key_Up);
    Key(rig, QEvent::KeyPress, Qt::Key_Up);
    EXPECT_EQ(rig.view.PressedPtz(), 1);
    Key(rig, QEvent::KeyRelease, Qt::Key_Up);
    ASSERT_TRUE(PumpUntil([&] { return rig.view.PressedPtz() == -1; }));
    Key(rig, QEvent::KeyPress, Qt::Key_Plus);
    Key(rig, QEvent::KeyRelease, Qt::Key_Plus);
    ASSERT_TRUE(PumpUntil([&] { return rig.view.PressedPtz() == -1; }));
    Key(rig, QEvent::KeyPress, Qt::Key_Escape);
    EXPECT_FALSE(rig.view.PtzMode());
    PumpUntil([&] { return rig.PtzCodes().size() >= 4; });
  });
  EXPECT_EQ(rig.PtzCodes(), (std::vector<int>{3, 0, 9, 0}));
  EXPECT_EQ(OpenedChannels(rig), (std::vector<int>{0, 2}));
}

TEST(ViewSave, CtrlSSavesTheDvrsBytesAndNeverOverwrites) {
  const std::filesystem::path dir = std::filesystem::path(::testing::TempDir()) / "pictures-save";
  std::filesystem::remove_all(dir);
  ::setenv("XDG_PICTURES_DIR", dir.c_str(), 1);
  dvrsim::Config cfg;
  cfg.fps = 1;
  ViewRig rig(cfg);
  rig.site.m_strSiteName = u"Back/Door";
  std::string painted;
  rig.view.m_onPicturePainted = [&](const FrameRecord& f) {
    painted.assign(reinterpret_cast<const char*>(f.data), f.size);
    ++rig.painted;
  };
  std::vector<std::string> saved;
  rig.Run([&] {
    EXPECT_TRUE(rig.view.SavePicture().empty());  // nothing on screen yet
    ASSERT_TRUE(rig.WaitPictures(1, 8000));
    for (int i = 0; i < 2; ++i) {
      Key(rig, QEvent::KeyPress, Qt::Key_S, false, Qt::ControlModifier);
      EXPECT_EQ(rig.view.Note().substr(0, 6), u"Saved ");
    }
    for (const auto& e : std::filesystem::directory_iterator(dir / "Lorventa")) saved.push_back(e.path());
  });
  ::unsetenv("XDG_PICTURES_DIR");
  ASSERT_EQ(saved.size(), 2u);
  std::sort(saved.begin(), saved.end());
  EXPECT_NE(saved[0].find("/Back_Door_CH01_"), std::string::npos) << saved[0];
  EXPECT_NE(saved[1].find("_2.jpg"), std::string::npos) << saved[1];
  for (const std::string& path : saved) {
    std::ifstream in(path, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), painted) << path;
  }
}

// After a lost link the view comes back to the channel it showed, waiting
// longer each time; a refused login is never retried.
TEST(ViewReconnect, BacksOffAndReopensTheChannelButNotAfterARefusedLogin) {
  dvrsim::Config cfg;
  cfg.faults.dropAfterFrames = 40;
  ViewRig rig(cfg);
  rig.view.SetAutoReconnect(true);
  std::vector<std::chrono::steady_clock::time_point> connected;
  rig.Run([&] {
    ASSERT_TRUE(rig.WaitStatus(ST_RECEIVING));
    Key(rig, QEvent::KeyPress, Qt::Key_3);
    ASSERT_TRUE(PumpUntil(
        [&] {
          if (rig.sim.Connections() > connected.size()) connected.push_back(std::chrono::steady_clock::now());
          return connected.size() >= 3;
        },
        20000));
    EXPECT_TRUE(PumpUntil([&] { return rig.view.VideoCaption().rfind(u"Reconnecting in ", 0) == 0; }, 8000));
  });
  ASSERT_EQ(connected.size(), 3u);
  EXPECT_GT(connected[2] - connected[1], connected[1] - connected[0]);
  std::vector<int> reopened;
  for (const dvrsim::Request& r : rig.RequestsOf(PID_XAV_REQ_CH_OPEN))
    if (r.connection > 0) reopened.push_back(r.channel);
  ASSERT_FALSE(reopened.empty());
  EXPECT_EQ(reopened.front(), 2);

  dvrsim::Config refusing;
  refusing.faults.refuseLogin = true;
  ViewRig refused(refusing);
  refused.view.SetAutoReconnect(true);
  refused.Run([&] {
    ASSERT_TRUE(refused.WaitStatusText(u"Check User Account"));
    EXPECT_FALSE(PumpUntil([&] { return refused.sim.Connections() > 1; }, 2500));
    EXPECT_FALSE(refused.view.ReconnectPending());
  });
}

TEST(ViewTitle, ALongNameGivesWayToTheChannel) {
  ViewRig rig;
  rig.site.m_strSiteName = u"Warehouse north loading dock and the car park behind it";
  rig.Run([&] {
    ASSERT_TRUE(rig.WaitStatusText(u"Receiving data"));
    ASSERT_TRUE(PumpUntil([&] { return !rig.view.TitleLabel().GetWindowText().empty(); }));
    const std::u16string title = rig.view.TitleLabel().GetWindowText();
    EXPECT_EQ(title.substr(title.size() - 6), u"[CH.1]");
    EXPECT_NE(title.find(u'\u2026'), std::u16string::npos);
    EXPECT_EQ(title.substr(0, 4), u"Ware");
  });
}

}  // namespace

namespace {

bool Red(QRgb c) { return qRed(c) > 190 && qGreen(c) < 90 && qBlue(c) < 90; }

// The center of a channel button's motion dot, in the view.
QPoint ButtonMarkCenter(ViewRig& rig, int channel) {
  const QWidget* button = WidgetFromHandle(rig.view.ChannelButton(channel));
  const CRect mark = GrpBtnMarkRect(button->width(), button->height());
  return button->mapTo(rig.view.GetWidget(), QPoint((mark.left + mark.right) / 2, (mark.top + mark.bottom) / 2));
}

TEST(ViewMotion, MarksTheChannelsButtonAndThePictureAndKeepsClipsOnDemand) {
  ViewRig rig;
  std::vector<std::pair<std::u16string, int>> clips;
  rig.Run([&] {
    ASSERT_TRUE(rig.WaitStatus(ST_RECEIVING) && rig.WaitPictures(1));
    const CRect mark = CDlg_SiteView::MotionMarkRect();
    const QPoint dot(mark.left + mark.Height() / 2, (mark.top + mark.bottom) / 2);
    const struct {
      int channel;
      bool on, button1, picture;
    } steps[] = {{1, true, true, false}, {0, true, true, true}, {1, false, false, true}, {0, false, false, false}};
    for (const auto& s : steps) {
      rig.view.SetMotion(s.channel, s.on);
      ASSERT_TRUE(rig.WaitPictures(2));
      const QImage shot = rig.Grab();
      EXPECT_EQ(Red(shot.pixel(ButtonMarkCenter(rig, 1))), s.button1) << s.channel << s.on;
      EXPECT_FALSE(Red(shot.pixel(ButtonMarkCenter(rig, 2)))) << "another channel's button";
      EXPECT_EQ(rig.view.PaintedMotionMark(), s.picture);
      EXPECT_EQ(Red(shot.pixel(dot)), s.picture) << s.channel << s.on;
    }
    // Ctrl+R: a note while clips are off, the hook for the channel shown once on.
    Key(rig, QEvent::KeyPress, Qt::Key_R, false, Qt::ControlModifier);
    EXPECT_EQ(rig.view.Note(), u"Clips are off for this site");
    rig.view.m_motionHooks.saveClip = [&](const std::u16string& site, int channel) {
      clips.emplace_back(site, channel);
      return true;
    };
    rig.view.m_motionHooks.clipsOn = [](const std::u16string& site) { return site == u"Elsewhere"; };
    EXPECT_FALSE(rig.view.SaveClip());
    rig.view.m_motionHooks.clipsOn = [](const std::u16string& site) { return site == u"Office"; };
    Key(rig, QEvent::KeyPress, Qt::Key_R, false, Qt::ControlModifier);
    EXPECT_EQ(rig.view.Note(), u"Keeping a clip of channel 1");
  });
  EXPECT_EQ(clips, (std::vector<std::pair<std::u16string, int>>{{u"Office", 0}}));
}

}  // namespace
