#include "swf/avm1/ClipDrawing.h"

#include <algorithm>
#include <cmath>

namespace quenloft::swf::avm1 {

void ClipDrawing::Clear()
{
  *this = ClipDrawing();
}

void ClipDrawing::SetLine(std::optional<LineStyle> Style)
{
  if (!Style) {
    FLine = 0;
    return;
  }
  FLines.push_back(*Style);
  FLine = static_cast<int>(FLines.size());
}

void ClipDrawing::Close()
{
  // An open fill is closed back to where it began.
  if (FFill && (FPen.X != FStart.X || FPen.Y != FStart.Y))
    AddEdge(FStart, FStart, false);
}

void ClipDrawing::BeginFill(std::optional<FillStyle> Fill)
{
  Close();
  FFill = 0;
  if (Fill) {
    FFills.push_back(*Fill);
    FFill = static_cast<int>(FFills.size());
  }
  FStart = FPen;
  FPaths.push_back(Path{FFill, {}});
}

void ClipDrawing::MoveTo(Point P)
{
  Close();
  FPen = FStart = P;
  FPaths.push_back(Path{FFill, {}});
}

void ClipDrawing::AddEdge(Point Control, Point To, bool Curve)
{
  if (FPaths.empty())
    FPaths.push_back(Path{FFill, {}});
  FPaths.back().Edges.push_back({FPen, Control, To, Curve, FLine});
  FPen = To;
}

void ClipDrawing::LineTo(Point P)
{
  AddEdge(P, P, false);
}

void ClipDrawing::CurveTo(Point Control, Point Anchor)
{
  AddEdge(Control, Anchor, true);
}

std::shared_ptr<const Shape> ClipDrawing::Made() const
{
  auto shape = std::make_shared<Shape>();
  shape->Version = 4;
  shape->Styles.Fills = FFills;
  shape->Styles.Lines = FLines;
  double xMin = INFINITY, yMin = INFINITY, xMax = -INFINITY, yMax = -INFINITY;
  const auto grow = [&](Point P, double Half) {
    xMin = std::min(xMin, P.X - Half);
    yMin = std::min(yMin, P.Y - Half);
    xMax = std::max(xMax, P.X + Half);
    yMax = std::max(yMax, P.Y + Half);
  };
  // Edges in twips, whole numbers as the file would hold them.
  const auto twip = [](double V) { return static_cast<std::int32_t>(std::lround(V)); };
  for (std::size_t p = 0; p < FPaths.size(); ++p) {
    const Path& path = FPaths[p];
    // The open fill that is being drawn shows as if closed.
    std::vector<ClipDrawing::Segment> edges = path.Edges;
    if (p + 1 == FPaths.size() && path.Fill && !edges.empty() &&
        (edges.back().To.X != edges.front().From.X || edges.back().To.Y != edges.front().From.Y))
      edges.push_back({edges.back().To, edges.front().From, edges.front().From, false, 0});
    int line = -1;
    Point pen{NAN, NAN};
    for (const ClipDrawing::Segment& e : edges) {
      if (e.Line != line || e.From.X != pen.X || e.From.Y != pen.Y) {
        ShapeRecord r;
        r.Type = ShapeRecord::Kind::StyleChange;
        r.HasMove = true;
        r.MoveX = twip(e.From.X);
        r.MoveY = twip(e.From.Y);
        r.Fill0 = 0;
        r.Fill1 = static_cast<std::uint32_t>(path.Fill);
        r.Line = static_cast<std::uint32_t>(e.Line);
        shape->Records.push_back(r);
        line = e.Line;
        pen = Point{static_cast<double>(r.MoveX), static_cast<double>(r.MoveY)};
      }
      const double half = e.Line ? FLines[static_cast<std::size_t>(e.Line - 1)].Width / 2.0 : 0;
      ShapeRecord r;
      r.Type = e.Curve ? ShapeRecord::Kind::CurvedEdge : ShapeRecord::Kind::StraightEdge;
      r.ControlDx = twip(e.Control.X) - twip(pen.X);
      r.ControlDy = twip(e.Control.Y) - twip(pen.Y);
      r.AnchorDx = twip(e.To.X) - twip(pen.X);
      r.AnchorDy = twip(e.To.Y) - twip(pen.Y);
      shape->Records.push_back(r);
      grow(e.From, half);
      grow(e.To, half);
      if (e.Curve)
        grow(e.Control, half);
      pen = Point{static_cast<double>(twip(e.To.X)), static_cast<double>(twip(e.To.Y))};
    }
  }
  if (shape->Records.empty())
    return nullptr;
  shape->Bounds = Rect{twip(xMin), twip(xMax), twip(yMin), twip(yMax)};
  shape->EdgeBounds = shape->Bounds;
  return shape;
}

} // namespace quenloft::swf::avm1
