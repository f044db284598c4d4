#pragma once
// Where the tiles of a wall go and how long a tile waits before it knocks
// again. Plain arithmetic, no widgets.
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace lv {

// The side of the smallest square grid that holds count tiles (1, 2, 3 or
// 4; more than 16 tiles are never made). 0 for no tiles.
int WallGridSide(int count);

struct WallRect {
  int x = 0, y = 0, width = 0, height = 0;
  bool operator==(const WallRect&) const = default;
};

// The cell of tile index in a side x side grid over a width x height area,
// row by row; the cells together cover the area exactly.
WallRect WallCell(int index, int side, int width, int height);

// The largest rectangle of the picture's aspect that fits in the box,
// centred in it.
WallRect FitPicture(int pictureWidth, int pictureHeight, const WallRect& box);

// The wait before the next attempt after `failures` failed ones in a row
// (1 for the first): base doubled each time up to max; jitter (0.8 .. 1.2)
// spreads tiles that lost the same DVR. A refused login waits at least
// refusedMs: knocking fast at a DVR that turns us away only keeps it busy.
int RetryDelayMs(int failures, int baseMs, int maxMs, double jitter, bool refused, int refusedMs);

// Keeps at most `limit` sessions to any one DVR (address and port): of the
// wanted (DVR key) entries, the indexes allowed, in order.
std::vector<int> WithinSessionLimit(const std::vector<std::string>& dvrKeys, int limit);

}  // namespace lv
