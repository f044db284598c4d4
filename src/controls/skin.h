#pragma once
// Loading skin bitmaps by id from the bitmaps embedded in the program.
#include <QImage>

#include "controls/skin_table.h"

namespace lv {

// The bitmap as drawn: 16-bit bitmaps come as RGB555 images, 32-bit ones as
// RGB32. A null image for an id the program does not have.
QImage LoadSkinBitmap(int id);

}  // namespace lv
