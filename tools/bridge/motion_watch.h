#pragma once
// Motion watching in the bridge: a watcher on each channel --motion names
// (every channel with --motion all), its events published to the bridge's
// event streams and MQTT, its clips kept in --record DIR.
#include <string>

#include "bridge.h"
#include "options.h"

namespace lvbridge {

// Pictures analysed per second and channel at most: the bridge decodes only
// for this (a 1/8 decode is about half a millisecond), and an event still
// starts within 0.5 s.
inline constexpr int kMotionPicturesPerSecond = 10;

// Owner's thread, before the event loop runs. False with *error set when a
// named channel is not served.
bool StartMotionWatch(Bridge& bridge, const Options& options, std::string* error);

}  // namespace lvbridge
