// view_gallery OUTDIR: screenshots of the site view against the simulator:
// receiving pictures, motion marks, PTZ mode with a button held, "No Camera" and
// "Check User Account", reconnecting after a lost link, the note after a save.
#include <QApplication>
#include <QDir>
#include <cstdio>

#include "support/pump.h"
#include "view_rig.h"

namespace {

bool Save(lvtest::ViewRig& rig, const QString& dir, const char* name) {
  const QString path = dir + "/" + name;
  const bool ok = rig.Grab().save(path);
  std::printf("%s %s\n", ok ? "wrote" : "could not write", qPrintable(path));
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
  QApplication app(argc, argv);
  const QString dir = argc > 1 ? argv[1] : "out";
  QDir().mkpath(dir);
  bool ok = true;

  {
    dvrsim::Config c;
    c.ptzMask = 0x80000000;  // channel 1 is a PTZ camera
    lvtest::ViewRig rig(c);
    rig.Run([&] {
      ok &= rig.WaitStatus(lv::ST_RECEIVING) && rig.WaitPictures(3);
      lvtest::PumpFor(1200);  // the size and time labels follow within a second
      ok &= Save(rig, dir, "view-receiving.png");
      // Motion on the channel shown and on channel 3: the marks over the picture and the buttons.
      rig.view.SetMotion(0, true);
      rig.view.SetMotion(2, true);
      ok &= rig.WaitPictures(2);
      ok &= Save(rig, dir, "view-motion.png");
      rig.view.SetMotion(0, false);
      rig.view.SetMotion(2, false);
      rig.TapView({240, 200});
      ok &= rig.view.PtzMode();
      rig.PenDown(rig.view.PtzButton(1), {60, 30});  // "up", held
      ok &= rig.WaitPictures(3);
      ok &= Save(rig, dir, "view-ptz-held.png");
      rig.PenUp(rig.view.PtzButton(1), {60, 30});
    });
  }
  {
    dvrsim::Config c;
    c.cameraMask = 0x7FFF0000;  // channel 1 has no camera; channel 2 is locked
    c.lockMask = 0x40000000;
    c.channelCount = 1;
    lvtest::ViewRig rig(c);
    rig.Run([&] {
      ok &= rig.WaitStatusText(u"No Camera");
      lvtest::PumpFor(100);
      ok &= Save(rig, dir, "view-no-camera.png");
    });
  }
  {
    dvrsim::Config c;
    c.accounts = {{"admin", "other"}};
    lvtest::ViewRig rig(c);
    rig.Run([&] {
      ok &= rig.WaitStatusText(u"Check User Account");
      lvtest::PumpFor(100);
      ok &= Save(rig, dir, "view-check-account.png");
    });
  }
  {
    // A link lost: the dimmed last picture with the reconnect countdown,
    // then the note after a save.
    dvrsim::Config c;
    c.faults.dropAfterFrames = 30;
    lvtest::ViewRig rig(c);
    rig.view.SetAutoReconnect(true);
    qputenv("XDG_PICTURES_DIR", QDir::tempPath().toUtf8() + "/lorventa-gallery");
    rig.Run([&] {
      ok &= lvtest::PumpUntil([&] { return rig.view.VideoCaption().rfind(u"Reconnecting in ", 0) == 0; }, 8000);
      lvtest::PumpFor(100);
      ok &= Save(rig, dir, "view-reconnecting.png");
      ok &= rig.WaitStatus(lv::ST_RECEIVING, 8000) && rig.WaitPictures(2);
      ok &= !rig.view.SavePicture().empty();
      lvtest::PumpFor(100);
      ok &= Save(rig, dir, "view-saved-note.png");
    });
  }
  return ok ? 0 : 1;
}
