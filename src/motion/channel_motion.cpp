#include "motion/channel_motion.h"

#include <utility>

namespace lv {

ChannelMotion::ChannelMotion(std::string site, int channel, MotionSettings settings, std::optional<ClipOptions> clips,
                             EventFn onEvent, int maxAnalysedPerSecond, ClipRecorder::ClosedFn onClip)
    : m_site(std::move(site)),
      m_channel(channel),
      m_detector(std::move(settings)),
      m_onEvent(std::move(onEvent)),
      m_maxPerSecond(maxAnalysedPerSecond) {
  if (clips) m_recorder = std::make_unique<ClipRecorder>(std::move(*clips), std::move(onClip));
}

ChannelMotion::~ChannelMotion() = default;

void ChannelMotion::OnPicture(const std::uint8_t* jpeg, std::size_t size, std::int64_t wallUs, std::int64_t steadyUs,
                              const LumaView* luma) {
  if (m_recorder) m_recorder->AddPicture(jpeg, size, wallUs);
  if (!Due(steadyUs)) return;
  if (!luma) {
    if (!m_decoder.Decode(jpeg, size, &m_luma)) return;
  }
  m_lastAnalysedUs = steadyUs;
  const MotionEdge edge = m_detector.Feed(luma ? *luma : m_luma.View(), steadyUs);
  // While something moves the clip is kept going, so it ends its hold time
  // after the motion does, not a fixed time after the start.
  if (m_detector.Active() && m_recorder) m_recorder->Trigger(wallUs);
  if (edge == MotionEdge::None) return;
  // The name is the one planned at the start; by the end the writer has
  // opened the file and its name is final (another file may have had it).
  if (edge == MotionEdge::Started) m_clipPath = m_recorder ? m_recorder->CurrentClip().string() : std::string();
  if (edge == MotionEdge::Ended && m_recorder && !m_recorder->CurrentClip().empty())
    m_clipPath = m_recorder->CurrentClip().string();
  if (m_onEvent) m_onEvent(MotionEvent{m_site, m_channel, edge == MotionEdge::Started, wallUs, m_clipPath});
}

bool ChannelMotion::Due(std::int64_t steadyUs) const {
  if (!m_detector.Settings().enabled) return false;
  // A client that decodes only for this looks at a few pictures a second;
  // an event still starts within two of them.
  return m_maxPerSecond <= 0 || m_lastAnalysedUs == 0 || steadyUs - m_lastAnalysedUs >= 1'000'000 / m_maxPerSecond;
}

bool ChannelMotion::SaveClipNow(std::int64_t wallUs) {
  if (!m_recorder) return false;
  m_recorder->Trigger(wallUs);
  return true;
}

void ChannelMotion::StopWatching(std::int64_t wallUs) {
  const bool active = m_detector.Active();
  m_detector = MotionDetector(m_detector.Settings());  // pictures again later start afresh
  m_lastAnalysedUs = 0;
  if (active && m_onEvent) m_onEvent(MotionEvent{m_site, m_channel, false, wallUs, m_clipPath});
}

}  // namespace lv
