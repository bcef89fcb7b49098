#include "swf/render/AliasedSpans.h"

#include <QTransform>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>

namespace quenloft::swf::render {
namespace {

// Vertices are snapped to 1/256 pixel, as graphics hardware does, and all
// tests below are exact on that grid.
constexpr std::int64_t Sub = 256;
// Coordinates beyond this many pixels are clamped (far outside any frame).
constexpr double MaxCoordinate = 1e12;

__extension__ typedef __int128 Wide;

std::int64_t Snap(double V)
{
  return static_cast<std::int64_t>(std::llround(std::clamp(V, -MaxCoordinate, MaxCoordinate) * Sub));
}

// Coordinates (in 1/256 pixel) below this keep every product below in 64
// bits; larger ones are worked out in 128.
constexpr std::int64_t Narrow = std::int64_t{1} << 29;

// Floor and ceiling of N / D for D > 0.
template <typename Int> Int FloorDiv(Int N, Int D)
{
  const Int q = N / D;
  return (N % D != 0 && N < 0) ? q - 1 : q;
}

template <typename Int> Int CeilDiv(Int N, Int D)
{
  return -FloorDiv<Int>(-N, D);
}

struct Edge {
  std::int64_t X0, Y0, X1, Y1; // Y0 < Y1
  int Direction;               // +1 downwards in the path, -1 upwards
};

struct Edge;
struct Crossing;
template <typename Int> Crossing CrossingAt(const Edge& E, std::int64_t Yc, const QRect& Clip);

struct Crossing {
  double X;           // for ordering
  std::int64_t First; // the first pixel whose centre is at or right of it
  int Direction;
};

// Where E crosses the row centre Yc: x = X0 + (Yc - Y0) * (X1 - X0) /
// (Y1 - Y0) = N / D exactly, and the first pixel whose centre
// c * Sub + Sub / 2 is at or right of it.
template <typename Int> Crossing CrossingAt(const Edge& E, std::int64_t Yc, const QRect& Clip)
{
  const Int d = Int{E.Y1} - E.Y0;
  const Int num = Int{E.X0} * d + (Int{Yc} - E.Y0) * (Int{E.X1} - E.X0);
  const Int first = CeilDiv<Int>(num - d * (Sub / 2), d * Sub);
  const Int clamped = std::clamp<Int>(first, Int{Clip.left()} - 1, Int{Clip.right()} + 2);
  return {static_cast<double>(num) / static_cast<double>(d), static_cast<std::int64_t>(clamped), E.Direction};
}

} // namespace

namespace {

// The spans of Path scaled by Scale (the fine grid's cells per pixel).
std::vector<Span> ScaledSpans(const QPainterPath& Path, const QRect& Clip, double Scale)
{
  std::vector<Span> spans;
  std::vector<Edge> edges;
  if (Clip.isEmpty())
    return spans;
  struct Vertex {
    std::int64_t X, Y;
  };
  const int n = Path.elementCount();
  Vertex start{0, 0};
  Vertex last{0, 0};
  bool open = false;
  auto addEdge = [&edges](Vertex A, Vertex B) {
    if (A.Y == B.Y)
      return;
    if (A.Y < B.Y)
      edges.push_back({A.X, A.Y, B.X, B.Y, 1});
    else
      edges.push_back({B.X, B.Y, A.X, A.Y, -1});
  };
  for (int i = 0; i < n; ++i) {
    const QPainterPath::Element& e = Path.elementAt(i);
    if (!std::isfinite(e.x) || !std::isfinite(e.y))
      return spans;
    const Vertex p{Snap(e.x * Scale), Snap(e.y * Scale)};
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
  if (edges.empty())
    return spans;

  std::sort(edges.begin(), edges.end(), [](const Edge& L, const Edge& R) { return L.Y0 < R.Y0; });
  const bool narrow = std::abs(std::int64_t{Clip.top()}) < Narrow / Sub &&
                      std::abs(std::int64_t{Clip.bottom()}) < Narrow / Sub &&
                      std::all_of(edges.begin(), edges.end(), [](const Edge& E) {
                        return std::abs(E.X0) < Narrow && std::abs(E.X1) < Narrow && std::abs(E.Y0) < Narrow &&
                               std::abs(E.Y1) < Narrow;
                      });
  const bool winding = Path.fillRule() == Qt::WindingFill;
  std::int64_t bottom = edges.front().Y1;
  for (const Edge& e : edges)
    bottom = std::max(bottom, e.Y1);
  // Rows whose centre lies in [top, bottom): centre of row r is r*Sub + Sub/2.
  const auto row0 = CeilDiv<Wide>(Wide{edges.front().Y0} - Sub / 2, Sub);
  const auto row1 = CeilDiv<Wide>(Wide{bottom} - Sub / 2, Sub);
  const int firstRow = static_cast<int>(std::max<Wide>(Clip.top(), row0));
  const int endRow = static_cast<int>(std::min<Wide>(Wide{Clip.bottom()} + 1, row1));

  std::vector<const Edge*> active;
  std::vector<Crossing> crossings;
  std::size_t next = 0;
  for (int row = firstRow; row < endRow; ++row) {
    const std::int64_t yc = std::int64_t{row} * Sub + Sub / 2;
    while (next < edges.size() && edges[next].Y0 <= yc)
      active.push_back(&edges[next++]);
    active.erase(std::remove_if(active.begin(), active.end(), [yc](const Edge* E) { return E->Y1 <= yc; }),
                 active.end());
    crossings.clear();
    for (const Edge* e : active)
      crossings.push_back(narrow ? CrossingAt<std::int64_t>(*e, yc, Clip) : CrossingAt<Wide>(*e, yc, Clip));
    std::sort(crossings.begin(), crossings.end(),
              [](const Crossing& L, const Crossing& R) { return L.X < R.X; });
    int count = 0;
    for (std::size_t i = 0; i + 1 < crossings.size(); ++i) {
      count += winding ? crossings[i].Direction : 1;
      const bool inside = winding ? count != 0 : (count & 1) != 0;
      if (!inside)
        continue;
      const int x0 = static_cast<int>(std::max<std::int64_t>(Clip.left(), crossings[i].First));
      const int x1 = static_cast<int>(std::min<std::int64_t>(Clip.right() + 1, crossings[i + 1].First));
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

} // namespace

std::vector<Span> AliasedSpans(const QPainterPath& Path, const QRect& Clip)
{
  return ScaledSpans(Path, Clip, 1);
}

namespace {

// The pixels that fine spans (on a grid of Grid x Grid cells per pixel)
// touch, as their share of cells.
Coverage CoverageOfSpans(const std::vector<Span>& Spans, int Grid)
{
  Coverage out;
  if (Spans.empty())
    return out;
  int x0 = Spans.front().X0, x1 = Spans.front().X1;
  for (const Span& s : Spans) {
    x0 = std::min(x0, s.X0);
    x1 = std::max(x1, s.X1);
  }
  // Cells are counted per pixel: spans are within the clip, so not negative
  // relative to its corner.
  const int left = x0 / Grid - (x0 % Grid < 0 ? 1 : 0);
  const int top = Spans.front().Y / Grid - (Spans.front().Y % Grid < 0 ? 1 : 0);
  const int right = (x1 - 1) / Grid - ((x1 - 1) % Grid < 0 ? 1 : 0);
  const int bottom = Spans.back().Y / Grid - (Spans.back().Y % Grid < 0 ? 1 : 0);
  const int width = right - left + 1;
  const int height = bottom - top + 1;
  out.Image = QImage(width, height, QImage::Format_Alpha8);
  if (out.Image.isNull())
    return out;
  out.Image.fill(0);
  out.At = QPoint(left, top);
  out.Rows.reserve(static_cast<std::size_t>(height));
  // Cells are counted into the image's bytes (grids past 15 x 15 cells
  // count in a wider buffer), then turned into alpha over the stretch of
  // each row the spans touched: a part spread thinly over a large box
  // costs what it covers, not its box.
  const int all = Grid * Grid;
  std::array<uchar, 256> alpha{};
  for (int c = 0; c <= std::min(all, 255); ++c)
    alpha[static_cast<std::size_t>(c)] = static_cast<uchar>((c * 255 + all / 2) / all);
  std::vector<std::uint16_t> wide; // counts of grids past 15 x 15
  if (all > 255)
    wide.assign(static_cast<std::size_t>(width) * height, 0);
  std::size_t next = 0;
  for (int y = 0; y < height; ++y) {
    uchar* line = out.Image.scanLine(y);
    std::uint16_t* wideLine = wide.empty() ? nullptr : wide.data() + static_cast<std::size_t>(y) * width;
    int from = width, to = 0;
    for (; next < Spans.size() && (Spans[next].Y - top * Grid) / Grid == y; ++next) {
      const Span& s = Spans[next];
      const int a = s.X0 - left * Grid;
      const int b = s.X1 - left * Grid;
      const int pa = a / Grid;
      const int pb = (b - 1) / Grid;
      from = std::min(from, pa);
      to = std::max(to, pb + 1);
      const auto add = [&](int X, int N) {
        if (wideLine)
          wideLine[X] = static_cast<std::uint16_t>(wideLine[X] + N);
        else
          line[X] = static_cast<uchar>(line[X] + N);
      };
      if (pa == pb) {
        add(pa, b - a);
        continue;
      }
      add(pa, Grid - a % Grid);
      for (int x = pa + 1; x < pb; ++x)
        add(x, Grid);
      add(pb, b - pb * Grid);
    }
    for (int x = from; x < to; ++x)
      line[x] = wideLine ? static_cast<uchar>((wideLine[x] * 255 + all / 2) / all) : alpha[line[x]];
    out.Rows.emplace_back(std::min(from, to), to);
  }
  return out;
}

std::vector<Span> FineSpans(const QPainterPath& Path, const QRect& Clip, int Grid)
{
  const QRect fine(Clip.left() * Grid, Clip.top() * Grid, Clip.width() * Grid, Clip.height() * Grid);
  return ScaledSpans(Path, fine, Grid);
}

// Runs of one row, sorted and apart, that the paths after the current one
// took. Adds Spans (one row's, sorted and apart) to Taken and appends to
// Free what of them was not taken before; Scratch is room to merge in.
void TakeRow(std::vector<std::pair<int, int>>& Taken, const Span* Begin, const Span* End, std::vector<Span>& Free,
             std::vector<std::pair<int, int>>& Scratch)
{
  std::vector<Span>& free = Free;
  std::size_t t = 0;
  for (const Span* s = Begin; s != End; ++s) {
    while (t < Taken.size() && Taken[t].second <= s->X0)
      ++t;
    int x = s->X0;
    for (std::size_t u = t; u < Taken.size() && Taken[u].first < s->X1; ++u) {
      if (Taken[u].first > x)
        free.push_back({s->Y, x, Taken[u].first});
      x = std::max(x, Taken[u].second);
    }
    if (x < s->X1)
      free.push_back({s->Y, x, s->X1});
  }
  // Both lists merged by their starts, touching runs joined.
  std::vector<std::pair<int, int>>& merged = Scratch;
  merged.clear();
  auto add = [&merged](int Lo, int Hi) {
    if (!merged.empty() && merged.back().second >= Lo)
      merged.back().second = std::max(merged.back().second, Hi);
    else
      merged.emplace_back(Lo, Hi);
  };
  std::size_t k = 0;
  const Span* s = Begin;
  while (k < Taken.size() || s != End) {
    if (s == End || (k < Taken.size() && Taken[k].first < s->X0)) {
      add(Taken[k].first, Taken[k].second);
      ++k;
    } else {
      add(s->X0, s->X1);
      ++s;
    }
  }
  std::swap(Taken, merged);
}

} // namespace

Coverage GridCoverage(const QPainterPath& Path, const QRect& Clip, int Grid)
{
  if (Grid < 1 || Clip.isEmpty())
    return {};
  return CoverageOfSpans(FineSpans(Path, Clip, Grid), Grid);
}

std::vector<Coverage> SharedCoverage(const std::vector<const QPainterPath*>& Paths, const QRect& Clip, int Grid)
{
  std::vector<Coverage> out(Paths.size());
  if (Grid < 1 || Clip.isEmpty())
    return out;
  // Taken runs per fine row of the clip, filled from the last path back.
  std::vector<std::vector<std::pair<int, int>>> taken(static_cast<std::size_t>(Clip.height()) * Grid);
  const int top = Clip.top() * Grid;
  std::vector<Span> own;
  std::vector<std::pair<int, int>> scratch;
  for (std::size_t i = Paths.size(); i-- > 0;) {
    const std::vector<Span> spans = FineSpans(*Paths[i], Clip, Grid);
    own.clear();
    for (std::size_t a = 0; a < spans.size();) {
      std::size_t b = a;
      while (b < spans.size() && spans[b].Y == spans[a].Y)
        ++b;
      TakeRow(taken[static_cast<std::size_t>(spans[a].Y - top)], spans.data() + a, spans.data() + b, own, scratch);
      a = b;
    }
    out[i] = CoverageOfSpans(own, Grid);
  }
  return out;
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
