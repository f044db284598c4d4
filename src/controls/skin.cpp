#include "controls/skin.h"

#include "platform/ui/dib.h"

namespace lv {

QImage LoadSkinBitmap(int id) { return LoadBitmapResource(id); }

}  // namespace lv
