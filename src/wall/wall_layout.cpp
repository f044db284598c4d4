#include "wall/wall_layout.h"

#include <algorithm>

namespace lv {

int WallGridSide(int count) {
  if (count <= 0) return 0;
  int side = 1;
  while (side < 4 && side * side < count) ++side;
  return side;
}

WallRect WallCell(int index, int side, int width, int height) {
  if (side <= 0) return {};
  const int row = index / side, column = index % side;
  // Edges from the whole area, so rounding never leaves a gap at the end.
  const int left = width * column / side, right = width * (column + 1) / side;
  const int top = height * row / side, bottom = height * (row + 1) / side;
  return {left, top, right - left, bottom - top};
}

WallRect FitPicture(int pictureWidth, int pictureHeight, const WallRect& box) {
  if (pictureWidth <= 0 || pictureHeight <= 0 || box.width <= 0 || box.height <= 0) return {box.x, box.y, 0, 0};
  int w = box.width;
  int h = static_cast<int>(static_cast<long long>(w) * pictureHeight / pictureWidth);
  if (h > box.height) {
    h = box.height;
    w = static_cast<int>(static_cast<long long>(h) * pictureWidth / pictureHeight);
  }
  return {box.x + (box.width - w) / 2, box.y + (box.height - h) / 2, w, h};
}

int RetryDelayMs(int failures, int baseMs, int maxMs, double jitter, bool refused, int refusedMs) {
  const int shift = std::clamp(failures - 1, 0, 16);
  const long long base = std::min<long long>(static_cast<long long>(baseMs) << shift, maxMs);
  int delay = static_cast<int>(std::min<double>(static_cast<double>(base) * jitter, maxMs));
  if (refused) delay = std::max(delay, refusedMs);
  return std::max(delay, 1);
}

std::vector<int> WithinSessionLimit(const std::vector<std::string>& dvrKeys, int limit) {
  std::map<std::string, int> used;
  std::vector<int> allowed;
  for (int i = 0; i < static_cast<int>(dvrKeys.size()); ++i)
    if (used[dvrKeys[static_cast<std::size_t>(i)]]++ < limit) allowed.push_back(i);
  return allowed;
}

}  // namespace lv
