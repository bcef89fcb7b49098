#include "swf/render/AliasedSpans.h"

#include <algorithm>
#include <cmath>

namespace quenloft::swf::render {
namespace {

constexpr double SubPixels = 256.0;

double Snap(double V)
{
  return std::round(V * SubPixels) / SubPixels;
}

struct Edge {
  double X0, Y0, X1, Y1; // Y0 < Y1
  int Direction;         // +1 downwards in the path, -1 upwards
};

struct Crossing {
  double X;
  int Direction;
};

} // namespace

std::vector<Span> AliasedSpans(const QPainterPath& Path, const QRect& Clip)
{
  std::vector<Span> spans;
  std::vector<Edge> edges;
  const int n = Path.elementCount();
  QPointF start;
  QPointF last;
  bool open = false;
  auto addEdge = [&edges](QPointF A, QPointF B) {
    if (A.y() == B.y())
      return;
    if (A.y() < B.y())
      edges.push_back({A.x(), A.y(), B.x(), B.y(), 1});
    else
      edges.push_back({B.x(), B.y(), A.x(), A.y(), -1});
  };
  for (int i = 0; i < n; ++i) {
    const QPainterPath::Element& e = Path.elementAt(i);
    const QPointF p(Snap(e.x), Snap(e.y));
    if (!std::isfinite(p.x()) || !std::isfinite(p.y()))
      return spans;
    if (e.type == QPainterPath::MoveToElement) {
      if (open)
        addEdge(last, start);
      start = last = p;
      open = true;
    } else {
      addEdge(last, p);
      last = p;
    }
  }
  if (open)
    addEdge(last, start);
  if (edges.empty() || Clip.isEmpty())
    return spans;

  std::sort(edges.begin(), edges.end(), [](const Edge& L, const Edge& R) { return L.Y0 < R.Y0; });
  const bool winding = Path.fillRule() == Qt::WindingFill;
  double top = edges.front().Y0;
  double bottom = top;
  for (const Edge& e : edges)
    bottom = std::max(bottom, e.Y1);
  // Rows whose centre y + 0.5 lies in [top, bottom).
  const int firstRow = std::max(Clip.top(), static_cast<int>(std::ceil(std::max(top, -1e9) - 0.5)));
  const int endRow = std::min(Clip.bottom() + 1, static_cast<int>(std::ceil(std::min(bottom, 1e9) - 0.5)));

  std::vector<const Edge*> active;
  std::vector<Crossing> crossings;
  std::size_t next = 0;
  for (int row = firstRow; row < endRow; ++row) {
    const double yc = row + 0.5;
    while (next < edges.size() && edges[next].Y0 <= yc)
      active.push_back(&edges[next++]);
    active.erase(std::remove_if(active.begin(), active.end(), [yc](const Edge* E) { return E->Y1 <= yc; }),
                 active.end());
    crossings.clear();
    for (const Edge* e : active) {
      const double x = e->X0 + (yc - e->Y0) * (e->X1 - e->X0) / (e->Y1 - e->Y0);
      crossings.push_back({x, e->Direction});
    }
    std::sort(crossings.begin(), crossings.end(),
              [](const Crossing& L, const Crossing& R) { return L.X < R.X; });
    int count = 0;
    for (std::size_t i = 0; i + 1 < crossings.size(); ++i) {
      count += winding ? crossings[i].Direction : 1;
      const bool inside = winding ? count != 0 : (count & 1) != 0;
      if (!inside)
        continue;
      // Pixels whose centre x + 0.5 lies in [left, right).
      const double left = std::max(crossings[i].X, Clip.left() - 1.0);
      const double right = std::min(crossings[i + 1].X, Clip.right() + 2.0);
      const int x0 = std::max(Clip.left(), static_cast<int>(std::ceil(left - 0.5)));
      const int x1 = std::min(Clip.right() + 1, static_cast<int>(std::ceil(right - 0.5)));
      if (x0 >= x1)
        continue;
      if (!spans.empty() && spans.back().Y == row && spans.back().X1 == x0)
        spans.back().X1 = x1;
      else
        spans.push_back({row, x0, x1});
    }
  }
  return spans;
}

QRegion SpansRegion(const std::vector<Span>& Spans)
{
  QRegion region;
  std::vector<QRect> rects;
  rects.reserve(Spans.size());
  for (const Span& s : Spans)
    rects.emplace_back(s.X0, s.Y, s.X1 - s.X0, 1);
  region.setRects(rects.data(), static_cast<int>(rects.size()));
  return region;
}

} // namespace quenloft::swf::render
