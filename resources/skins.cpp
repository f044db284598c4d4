// The skin bitmaps themselves are the Qt resources of this library; this
// file gives the library its one object.
namespace lv {
int SkinResourceLibrary() { return 1; }
}  // namespace lv
