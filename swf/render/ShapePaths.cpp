#include "swf/render/ShapePaths.h"

#include <algorithm>
#include <optional>
#include <vector>

namespace quenloft::swf::render {
namespace {

// Shapes beyond this many morph ratios are dropped at the next Trim.
constexpr std::size_t MaxMorphShapes = 256;
// The geometry of a shape not drawn in this many frames is dropped.
constexpr std::uint64_t KeepFrames = 600;

struct Vertex {
  std::int64_t X = 0;
  std::int64_t Y = 0;
  friend bool operator==(const Vertex&, const Vertex&) = default;
};

std::uint64_t Key(Vertex V)
{
  return (static_cast<std::uint64_t>(static_cast<std::uint32_t>(V.X)) << 32) |
         static_cast<std::uint32_t>(V.Y);
}

struct Edge {
  Vertex From;
  Vertex Control;
  Vertex To;
  bool Curved = false;

  Edge Reversed() const { return {To, Control, From, Curved}; }
};

void AddEdge(QPainterPath& Path, const Edge& E)
{
  if (E.Curved)
    Path.quadTo(QPointF(E.Control.X, E.Control.Y), QPointF(E.To.X, E.To.Y));
  else
    Path.lineTo(QPointF(E.To.X, E.To.Y));
}

// Joins the edges of one fill into closed contours: from an unused edge,
// follow edges that start where the last one ended until the contour comes
// back to its start or no edge continues it. Edges keep the order they had
// in the file where there is a choice, so contours come out as drawn.
QPainterPath JoinContours(const std::vector<Edge>& Edges, Qt::FillRule Rule)
{
  QPainterPath path;
  path.setFillRule(Rule);
  // The edges starting at each vertex, in file order, with a cursor past
  // those already used: each is looked at once however crowded the vertex.
  struct Starts {
    std::vector<std::size_t> Edges;
    std::size_t Next = 0;
  };
  std::unordered_map<std::uint64_t, Starts> starts;
  starts.reserve(Edges.size());
  for (std::size_t i = 0; i < Edges.size(); ++i)
    starts[Key(Edges[i].From)].Edges.push_back(i);
  std::vector<bool> used(Edges.size(), false);

  auto takeFrom = [&](Vertex V) -> std::optional<std::size_t> {
    const auto it = starts.find(Key(V));
    if (it == starts.end())
      return std::nullopt;
    Starts& s = it->second;
    while (s.Next < s.Edges.size() && used[s.Edges[s.Next]])
      ++s.Next;
    if (s.Next == s.Edges.size())
      return std::nullopt;
    return s.Edges[s.Next++];
  };

  for (std::size_t i = 0; i < Edges.size(); ++i) {
    if (used[i])
      continue;
    used[i] = true;
    const Vertex start = Edges[i].From;
    path.moveTo(QPointF(start.X, start.Y));
    AddEdge(path, Edges[i]);
    Vertex at = Edges[i].To;
    while (!(at == start)) {
      const auto next = takeFrom(at);
      if (!next)
        break;
      used[*next] = true;
      AddEdge(path, Edges[*next]);
      at = Edges[*next].To;
    }
    path.closeSubpath();
  }
  return path;
}

// One line style's polylines while the records are read.
struct Polylines {
  QPainterPath Path;
  Vertex Start;
  Vertex End;
  bool Open = false;

  void Close(bool NoClose)
  {
    if (Open && Start == End && !NoClose)
      Path.closeSubpath();
    Open = false;
  }
};

class Builder {
public:
  Builder(const Shape& S, ShapeGeometry& Out)
      : FShape(S), FOut(Out), FRule(S.NonZeroWinding ? Qt::WindingFill : Qt::OddEvenFill)
  {
    Begin(S.Styles);
  }

  void Run()
  {
    Vertex pen;
    for (const ShapeRecord& r : FShape.Records) {
      if (r.Type == ShapeRecord::Kind::StyleChange) {
        if (r.NewStyles) {
          Flush();
          ++FSet;
          Begin(*r.NewStyles < FShape.NewStyles.size() ? FShape.NewStyles[*r.NewStyles] : Empty());
          // A new style set starts with no styles selected.
          FFill0 = FFill1 = FLine = 0;
        }
        if (r.HasMove)
          pen = {r.MoveX, r.MoveY};
        if (r.Fill0)
          FFill0 = *r.Fill0;
        if (r.Fill1)
          FFill1 = *r.Fill1;
        if (r.Line)
          FLine = *r.Line;
        continue;
      }
      Edge e;
      e.From = pen;
      if (r.Type == ShapeRecord::Kind::CurvedEdge) {
        e.Curved = true;
        e.Control = {pen.X + r.ControlDx, pen.Y + r.ControlDy};
        e.To = {pen.X + r.AnchorDx, pen.Y + r.AnchorDy};
      } else {
        e.To = {pen.X + r.AnchorDx, pen.Y + r.AnchorDy};
        e.Control = e.To;
      }
      pen = e.To;
      // The fill on the left (fill0) sees the edge run backwards.
      if (FFill0 >= 1 && FFill0 <= FFills.size())
        FFills[FFill0 - 1].push_back(e.Reversed());
      if (FFill1 >= 1 && FFill1 <= FFills.size())
        FFills[FFill1 - 1].push_back(e);
      if (FLine >= 1 && FLine <= FLines.size())
        AddStroke(FLines[FLine - 1], e);
    }
    Flush();
  }

private:
  static const ShapeStyles& Empty()
  {
    static const ShapeStyles none;
    return none;
  }

  void Begin(const ShapeStyles& Styles)
  {
    FStyles = &Styles;
    FFills.assign(Styles.Fills.size(), {});
    FLines.assign(Styles.Lines.size(), {});
  }

  void AddStroke(Polylines& L, const Edge& E)
  {
    if (!L.Open || !(L.End == E.From)) {
      L.Close(false);
      L.Path.moveTo(QPointF(E.From.X, E.From.Y));
      L.Start = E.From;
      L.Open = true;
    }
    AddEdge(L.Path, E);
    L.End = E.To;
  }

  void Flush()
  {
    for (std::size_t i = 0; i < FFills.size(); ++i) {
      if (FFills[i].empty())
        continue;
      ShapePart part;
      part.Type = ShapePart::Kind::Fill;
      part.Set = FSet;
      part.Fill = FStyles->Fills[i];
      part.Path = JoinContours(FFills[i], FRule);
      FOut.Parts.push_back(std::move(part));
    }
    for (std::size_t i = 0; i < FLines.size(); ++i) {
      if (FLines[i].Path.isEmpty())
        continue;
      const LineStyle& style = FStyles->Lines[i];
      FLines[i].Close(style.NoClose);
      ShapePart part;
      part.Type = ShapePart::Kind::Stroke;
      part.Set = FSet;
      part.Line = style;
      part.Path = std::move(FLines[i].Path);
      FOut.Parts.push_back(std::move(part));
    }
    FFills.clear();
    FLines.clear();
  }

  const Shape& FShape;
  ShapeGeometry& FOut;
  Qt::FillRule FRule;
  const ShapeStyles* FStyles = nullptr;
  std::vector<std::vector<Edge>> FFills;
  std::vector<Polylines> FLines;
  std::uint32_t FFill0 = 0;
  std::uint32_t FFill1 = 0;
  std::uint32_t FLine = 0;
  std::uint32_t FSet = 0;
};

} // namespace

ShapeGeometry BuildGeometry(const Shape& Shape)
{
  ShapeGeometry out;
  Builder(Shape, out).Run();
  return out;
}

const ShapeGeometry& ShapeCache::Geometry(const Shape& Shape)
{
  Entry& e = FGeometry[Shape.Handle];
  if (!e.Geometry)
    e.Geometry = std::make_unique<ShapeGeometry>(BuildGeometry(Shape));
  e.Used = FTrims;
  return *e.Geometry;
}

const Shape& ShapeCache::Morph(const MorphShape& Morph, std::uint16_t Ratio)
{
  auto& slot = FMorphs[{Morph.Handle, Ratio}];
  if (!slot)
    slot = std::make_unique<Shape>(Morph.At(Ratio));
  return *slot;
}

const Shape& ShapeCache::Sliced(const Shape& S, const Matrix& Place, const NineSlice& Slice)
{
  SliceKey key{S.Handle, {Place.A, Place.B, Place.C, Place.D, Place.Tx, Place.Ty}};
  const auto grid = Slice.Key();
  std::copy(grid.begin(), grid.end(), key.second.begin() + 6);
  auto& slot = FSliced[key];
  if (!slot)
    slot = std::make_unique<Shape>(Slice.Slice(S, Place));
  return *slot;
}

void ShapeCache::Trim()
{
  ++FTrims;
  if (FMorphs.size() > MaxMorphShapes) {
    for (const auto& [key, shape] : FMorphs)
      FGeometry.erase(shape->Handle);
    FMorphs.clear();
  }
  if (FSliced.size() > MaxMorphShapes) {
    for (const auto& [key, shape] : FSliced)
      FGeometry.erase(shape->Handle);
    FSliced.clear();
  }
  std::erase_if(FGeometry, [this](const auto& E) { return FTrims - E.second.Used > KeepFrames; });
}

} // namespace quenloft::swf::render
