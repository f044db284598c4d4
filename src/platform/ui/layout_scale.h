#pragma once
// Windows keep the layout the program gave them: a top-level window's content
// is laid out at the size the program set (480 x 696 for the handheld's
// full-screen windows) and is drawn scaled to whatever size the window really
// has, keeping its aspect and centred. Child windows keep their layout
// rectangles; their widgets are placed at the scaled rectangles, so Qt's own
// hit testing, focus and accessibility positions stay right. Every coordinate
// a window's messages see (pen positions, client rectangles, paint areas) is
// in layout units; these helpers convert between the two.
#include <QFont>
#include <QPointF>
#include <QRect>
#include <QRegion>
#include <QTransform>

#include "platform/ui/win_types.h"

namespace lv {
class WindowHostBase;
}

namespace lv::detail {

// Maps the host's layout coordinates to its widget's pixels (identity for a
// window drawn at its layout size).
QTransform LayoutTransform(const WindowHostBase& host);
// A widget pixel position in the host's layout coordinates.
CPoint WidgetToLayout(const WindowHostBase& host, QPointF pos);
// The widget pixels a layout rectangle covers (rounded outwards).
QRect LayoutToWidget(const WindowHostBase& host, const CRect& rc);
// The layout area a widget region covers (rounded outwards).
QRegion WidgetToLayout(const WindowHostBase& host, const QRegion& region);
// The part of a top-level widget its scaled content covers.
QRect ContentRect(const WindowHostBase& top);
// The font a widget drawn by Qt itself (an edit field) needs to look like
// font at the host's scale.
QFont ScaledFont(const WindowHostBase& host, const QFont& font);

// Places the widgets of host's descendants at their scaled layout rectangles
// (after the top-level window changed size, or host moved).
void PlaceChildren(WindowHostBase& host);
// Places host's own widget (a child window) at its scaled layout rectangle,
// then its descendants.
void PlaceWindow(WindowHostBase& host);

}  // namespace lv::detail
