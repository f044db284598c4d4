#include "video/frame_presenter.h"

#include <utility>

namespace lv {

bool FramePresenter::Publish(QImage& picture, FrameRef source, int overlay) {
  FrameRef old;  // released outside the lock
  const auto now = std::chrono::steady_clock::now();
  std::lock_guard lock(m_mutex);
  m_picture.swap(picture);
  m_overlay = overlay;
  m_publishedAt = now;
  old = std::exchange(m_source, std::move(source));
  return !std::exchange(m_waiting, true);
}

QImage FramePresenter::Take(FrameRef* source) {
  std::lock_guard lock(m_mutex);
  m_waiting = false;
  if (source) *source = m_source;
  return m_picture;
}

FramePresenter::Shown FramePresenter::TakeShown() {
  std::lock_guard lock(m_mutex);
  m_waiting = false;
  return {m_picture, m_source, m_overlay, m_publishedAt};
}

FramePresenter::Shown FramePresenter::Peek() const {
  std::lock_guard lock(m_mutex);
  return {m_picture, m_source, m_overlay, m_publishedAt};
}

void FramePresenter::Clear() {
  QImage old;
  FrameRef oldSource;
  std::lock_guard lock(m_mutex);
  old.swap(m_picture);
  oldSource = std::exchange(m_source, nullptr);
  m_overlay = -1;
  m_waiting = false;
}

bool FramePresenter::HasPicture() const {
  std::lock_guard lock(m_mutex);
  return !m_picture.isNull();
}

}  // namespace lv
