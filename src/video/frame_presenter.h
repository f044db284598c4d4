#pragma once
// Hands composed pictures from the render thread to the window that shows
// them. Qt paints widgets only on the user-interface thread, so the render
// thread composes off-screen and publishes; the window paints the newest
// published picture. Only the newest is kept: a picture published before
// the window painted the previous one replaces it.
#include <QImage>
#include <atomic>
#include <chrono>
#include <mutex>

#include "session/channel_table.h"

namespace lv {

class FramePresenter {
 public:
  // Render thread: swaps picture with the held one (picture then holds the
  // previous buffer, to be reused) and records the frame it came from.
  // True when the window has to be told: nothing was waiting to be painted.
  // overlay: the held PTZ button drawn into it (-1 none).
  bool Publish(QImage& picture, FrameRef source, int overlay = -1);
  // User-interface thread: the newest picture (a shallow copy) and its
  // frame; clears the waiting mark.
  QImage Take(FrameRef* source = nullptr);
  // What Take returns, with the overlay drawn into it and when it was published.
  struct Shown {
    QImage picture;
    FrameRef source;
    int overlay = -1;
    std::chrono::steady_clock::time_point publishedAt;
  };
  Shown TakeShown();
  // The same without touching the waiting mark.
  Shown Peek() const;
  // Forgets the picture (the window shows its background again).
  void Clear();
  bool HasPicture() const;

 private:
  mutable std::mutex m_mutex;
  QImage m_picture;
  FrameRef m_source;
  int m_overlay = -1;
  std::chrono::steady_clock::time_point m_publishedAt;
  bool m_waiting = false;
};

}  // namespace lv
