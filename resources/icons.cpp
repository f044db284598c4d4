// The application icon's pictures are the Qt resources of this library; this
// file gives the library its one object.
namespace lv {
int IconResourceLibrary() { return 1; }
}  // namespace lv
