#pragma once
// The picture of every skin bitmap, by id.
#include <QImage>

#include "controls/skin_table.h"

namespace skin {

// A 32-bit image of the table's size showing the picture of info.id.
QImage DrawSkinBitmap(const lv::SkinBitmapInfo& info);

}  // namespace skin
