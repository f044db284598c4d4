#pragma once
// Where motion events meet the desktop: the one entry point for the events of
// every channel's motion watcher. It marks the channel in the site views and
// the wall tiles that show it, sends one desktop notification when an event
// starts at a site that asked for them (never again within the same event),
// and when the user clicks one, asks for the site's channel to be shown.
//
// Threads: OnEvent may be called on any thread (a watcher calls it on the
// thread that feeds it pictures); it is applied on the UI thread, where
// everything else here runs. Watchers must stop before the desk is destroyed.
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "motion/channel_motion.h"
#include "shell/command_line.h"
#include "video/picture_watch.h"

class QObject;

namespace lv {

class CDlg_SiteView;
class DesktopNotifier;
class WallTile;

class MotionDesk {
 public:
  // notifier may be null (no notifications); it is not owned and outlives the desk.
  MotionDesk(MotionSetup setup, DesktopNotifier* notifier);
  ~MotionDesk();
  MotionDesk(const MotionDesk&) = delete;
  MotionDesk& operator=(const MotionDesk&) = delete;

  // The entry point: an event started or ended. Any thread.
  void OnEvent(const MotionEvent& event);

  // Where marks go, asked for at each event: the site views that exist and
  // the tiles of the walls that are open.
  std::function<std::vector<CDlg_SiteView*>()> views;
  std::function<std::vector<WallTile*>()> tiles;
  // A notification was clicked: show the site's channel (0-based).
  std::function<void(const std::u16string& site, int channel)> onShow;
  // Keeps a clip of a site's channel now (set by whoever runs the watchers;
  // false when it keeps none). Reaches the views through Attach.
  std::function<bool(const std::string& site, int channel)> saveClip;
  // Makes the watcher of a view run's pictures. Reaches the views through Attach.
  PictureWatchMaker watch;

  // Gives a view its motion hooks: the marks a run starts with, whether
  // the site keeps clips, and saving one on demand.
  void Attach(CDlg_SiteView& view);
  // Puts the marks of the events under way on every view and tile (after a
  // wall was opened).
  void RefreshMarks();

  // Shows channel in view when it runs on the named site; false otherwise.
  static bool ShowIn(CDlg_SiteView* view, const std::u16string& site, int channel);

  const MotionSetup& Setup() const { return m_setup; }
  // Channels of a site with an event under way (bit n: channel n).
  std::uint32_t Active(const std::string& site) const;

 private:
  void Apply(const MotionEvent& event);
  void Mark(const std::string& site, int channel, bool active);

  MotionSetup m_setup;
  DesktopNotifier* m_notifier;
  std::map<std::string, std::uint32_t> m_active;  // site: channels under way
  std::unique_ptr<QObject> m_context;             // queued calls die with it
};

}  // namespace lv
