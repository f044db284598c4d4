#include "motion/luma_decoder.h"

#include <turbojpeg.h>

#include <climits>
#include <memory>
#include <utility>
#include <vector>

namespace lv {
namespace {

// Larger than any camera picture; a header claiming more is damage.
constexpr int kMaxSide = 16384;

// m_tj owns one of these: the decompressor and the plane being decoded, so a
// picture that turns out damaged halfway never touches the caller's plane.
struct State {
  tjhandle tj = nullptr;
  std::vector<std::uint8_t> scratch;
};

// A failed call can leave the handle mid-stream, so that every later picture
// fails too; a fresh handle forgets it.
bool Refuse(State* state) {
  tjDestroy(state->tj);
  state->tj = tjInitDecompress();
  return false;
}

}  // namespace

LumaDecoder::LumaDecoder() {
  auto state = std::make_unique<State>();
  state->tj = tjInitDecompress();
  if (state->tj != nullptr) m_tj = state.release();
}

LumaDecoder::~LumaDecoder() {
  auto* state = static_cast<State*>(m_tj);
  if (state == nullptr) return;
  if (state->tj != nullptr) tjDestroy(state->tj);
  delete state;
}

bool LumaDecoder::Decode(const std::uint8_t* jpeg, std::size_t size, LumaPlane* out) {
  auto* state = static_cast<State*>(m_tj);
  if (state == nullptr || state->tj == nullptr || jpeg == nullptr || size == 0 || size > ULONG_MAX) return false;
  int width = 0, height = 0, subsampling = 0, colorspace = 0;
  if (tjDecompressHeader3(state->tj, jpeg, static_cast<unsigned long>(size), &width, &height, &subsampling,
                          &colorspace) != 0)
    return Refuse(state);
  if (width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide) return false;
  const tjscalingfactor eighth{1, 8};
  const int w = TJSCALED(width, eighth), h = TJSCALED(height, eighth);
  state->scratch.resize(static_cast<std::size_t>(w) * static_cast<std::size_t>(h));
  // Any warning (data cut short, a bad marker) fails the picture: a half-grey
  // picture would look like motion. Progressive pictures with absurd scan
  // counts are refused rather than decoded for seconds.
  const int flags = TJFLAG_FASTDCT | TJFLAG_STOPONWARNING | TJFLAG_LIMITSCANS;
  if (tjDecompress2(state->tj, jpeg, static_cast<unsigned long>(size), state->scratch.data(), w, w, h, TJPF_GRAY,
                    flags) != 0)
    return Refuse(state);
  std::swap(out->pixels, state->scratch);
  out->width = w;
  out->height = h;
  return true;
}

}  // namespace lv
