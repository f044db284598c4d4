#include "platform/ui/layout_scale.h"

#include <QWidget>
#include <algorithm>
#include <cmath>

#include "platform/ui/window_host.h"

namespace lv::detail {
namespace {

// Where a window's layout sits in the widget that carries its scale: the
// top-level window (or, for a window inside a widget that is no window of
// ours, that widget, unscaled).
struct Frame {
  const QWidget* top = nullptr;
  double scale = 1;
  QPointF origin;     // the content's top-left corner in top's pixels
  QPointF layoutPos;  // the window's origin in top's layout
};

Frame FrameOf(const WindowHostBase& host) {
  Frame f;
  const WindowHostBase* h = &host;
  const QWidget* w = host.Widget();
  while (!w->isWindow()) {
    f.layoutPos += QPointF(h->LayoutRect().left, h->LayoutRect().top);
    const QWidget* parent = w->parentWidget();
    h = WindowHostBase::FromWidget(parent);
    w = parent;
    if (!h) break;
  }
  f.top = w;
  if (!h || !w->isWindow()) return f;
  const CRect& layout = h->LayoutRect();
  if (layout.IsRectEmpty() || w->width() <= 0 || w->height() <= 0) return f;
  f.scale = std::min(w->width() / double(layout.Width()), w->height() / double(layout.Height()));
  f.origin = QPointF((w->width() - layout.Width() * f.scale) / 2, (w->height() - layout.Height() * f.scale) / 2);
  return f;
}

// A layout edge in top's pixels. Neighbouring windows share their edges, so
// rounding each edge (not each size) leaves no gaps between them.
int Edge(double origin, double layout, double scale) { return static_cast<int>(std::lround(origin + layout * scale)); }

QPoint OffsetIn(const QWidget* widget, const QWidget* top) {
  return widget == top ? QPoint() : widget->mapTo(top, QPoint());
}

}  // namespace

QTransform LayoutTransform(const WindowHostBase& host) {
  const Frame f = FrameOf(host);
  const QPointF offset = f.origin + f.layoutPos * f.scale - QPointF(OffsetIn(host.Widget(), f.top));
  return QTransform(f.scale, 0, 0, f.scale, offset.x(), offset.y());
}

CPoint WidgetToLayout(const WindowHostBase& host, QPointF pos) {
  const QPointF p = LayoutTransform(host).inverted().map(pos);
  return {static_cast<int>(std::floor(p.x())), static_cast<int>(std::floor(p.y()))};
}

QRect LayoutToWidget(const WindowHostBase& host, const CRect& rc) {
  const QTransform t = LayoutTransform(host);
  const QRect r = t.mapRect(QRectF(rc.left, rc.top, rc.Width(), rc.Height())).toAlignedRect();
  // Smooth scaling reaches a pixel past the edge.
  return t.isIdentity() ? r : r.adjusted(-1, -1, 1, 1);
}

QRegion WidgetToLayout(const WindowHostBase& host, const QRegion& region) {
  const QTransform t = LayoutTransform(host);
  if (t.isIdentity()) return region;
  const QTransform back = t.inverted();
  QRegion out;
  for (const QRect& r : region) out += back.mapRect(QRectF(r)).toAlignedRect();
  return out;
}

QRect ContentRect(const WindowHostBase& top) {
  const Frame f = FrameOf(top);
  const CRect& layout = top.LayoutRect();
  if (layout.IsRectEmpty()) return top.Widget()->rect();
  const int left = Edge(f.origin.x(), 0, f.scale);
  const int t = Edge(f.origin.y(), 0, f.scale);
  return QRect(QPoint(left, t), QPoint(Edge(f.origin.x(), layout.Width(), f.scale) - 1,
                                       Edge(f.origin.y(), layout.Height(), f.scale) - 1));
}

QFont ScaledFont(const WindowHostBase& host, const QFont& font) {
  const double scale = FrameOf(host).scale;
  if (scale == 1) return font;
  QFont scaled(font);
  if (font.pixelSize() > 0) scaled.setPixelSize(std::max(1, static_cast<int>(std::lround(font.pixelSize() * scale))));
  else if (font.pointSizeF() > 0) scaled.setPointSizeF(font.pointSizeF() * scale);
  return scaled;
}

void PlaceChildren(WindowHostBase& host) {
  for (QObject* child : host.Widget()->children()) {
    auto* w = qobject_cast<QWidget*>(child);
    WindowHostBase* childHost = w && !w->isWindow() ? WindowHostBase::FromWidget(w) : nullptr;
    if (childHost) PlaceWindow(*childHost);
  }
}

void PlaceWindow(WindowHostBase& host) {
  QWidget* w = host.Widget();
  if (!w->isWindow()) {
    const Frame f = FrameOf(host);
    const CRect& rc = host.LayoutRect();
    const QPoint parentOffset = OffsetIn(w->parentWidget(), f.top);
    const QPoint topLeft(Edge(f.origin.x(), f.layoutPos.x(), f.scale), Edge(f.origin.y(), f.layoutPos.y(), f.scale));
    const QPoint end(Edge(f.origin.x(), f.layoutPos.x() + rc.Width(), f.scale),
                     Edge(f.origin.y(), f.layoutPos.y() + rc.Height(), f.scale));
    w->setGeometry(QRect(topLeft - parentOffset, QSize(end.x() - topLeft.x(), end.y() - topLeft.y())));
    if (host.Class().kind != HostKind::Plain && !host.Font().IsNull()) w->setFont(ScaledFont(host, host.Font().Font()));
  }
  PlaceChildren(host);
}

}  // namespace lv::detail
