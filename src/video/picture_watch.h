#pragma once
// A watcher of the pictures a view or a wall tile takes (motion watching):
// told of each on the thread that took it, with the frame as the DVR sent it
// and the picture decoded for the screen, or nullptr when none was decoded
// (a hidden tile).
#include <QImage>
#include <functional>
#include <string>

#include "session/channel_table.h"

namespace lv {

using PictureWatch = std::function<void(const FrameRecord& frame, const QImage* picture)>;
// Makes the watcher for one site's pictures; an empty one when the site is
// not watched.
using PictureWatchMaker = std::function<PictureWatch(const std::u16string& site)>;

}  // namespace lv
