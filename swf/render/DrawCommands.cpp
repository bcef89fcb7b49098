#include "swf/render/DrawCommands.h"

#include <algorithm>
#include <cmath>
#include <variant>

#include "swf/render/NineSlice.h"
#include "swf/render/ShapePaths.h"

namespace quenloft::swf::render {
namespace {

// Glyph outlines are drawn in a 1024-unit em square; DefineFont3 glyphs
// are stored 20 times finer.
constexpr double EmSquare = 1024.0;
constexpr double EmSquareFont3 = 1024.0 * 20.0;

// Objects a walk makes of buttons and unplayed sprites, at most.
constexpr std::size_t MaxExpanded = 20000;

// An edit field's glyphs are white under a multiplier of the field's
// colour in 8.8 fixed point: a channel below full comes out a step darker
// (#99 as #98), a full or empty one as it is.
std::uint8_t FieldChannel(std::uint8_t C)
{
  const int multiplier = C * 256 / 255;
  return static_cast<std::uint8_t>(255 * multiplier / 256);
}

Rgba FieldGlyphColor(Rgba C)
{
  return {FieldChannel(C.R), FieldChannel(C.G), FieldChannel(C.B), FieldChannel(C.A)};
}

} // namespace

Matrix PlaceInParent(const Matrix& Parent, const Matrix& Child)
{
  // The player keeps an object's offset in whole twips: the child's offset
  // mapped through the parent's scale and rotation is rounded (halves to
  // even) before the parent's own offset is added. Edges of nested objects
  // scaled down land on whole twips, one pixel from where exact products
  // would put them when a pixel centre falls in between.
  Matrix m = Parent * Child;
  const double x = Parent.A * Child.Tx + Parent.C * Child.Ty;
  const double y = Parent.B * Child.Tx + Parent.D * Child.Ty;
  if (std::isfinite(x) && std::isfinite(y) && std::abs(x) < 1e15 && std::abs(y) < 1e15) {
    m.Tx = std::nearbyint(x) + Parent.Tx;
    m.Ty = std::nearbyint(y) + Parent.Ty;
  }
  return m;
}

namespace {

class Walker {
public:
  Walker(const Movie& M, ShapeCache& Shapes, DrawCommands& Out) : FMovie(M), FShapes(Shapes), FOut(Out) {}

  // Slice: the 9-slice grid of the object that holds L, if it has one.
  void List(const DisplayList& L, const Matrix& M, const ColorTransform& C, int Level,
            const NineSlice* Slice = nullptr)
  {
    if (Level > MaxNesting)
      return;
    // Masks in force, by the last depth each one cuts.
    std::vector<std::uint16_t> masks;
    for (const DisplayObject& o : L) {
      while (!masks.empty() && o.Depth > masks.back()) {
        EndMask();
        masks.pop_back();
      }
      if (o.ClipDepth != 0) {
        FOut.PushMask();
        Object(o, M, C, Level, true, Slice);
        FOut.ActivateMask();
        masks.push_back(o.ClipDepth);
        continue;
      }
      if (o.Visible)
        Object(o, M, C, Level, false, Slice);
    }
    while (!masks.empty()) {
      EndMask();
      masks.pop_back();
    }
  }

private:
  void EndMask()
  {
    FOut.DeactivateMask();
    FOut.PopMask();
  }

  void Object(const DisplayObject& O, const Matrix& Parent, const ColorTransform& ParentColor, int Level,
              bool AsMask, const NineSlice* Slice)
  {
    const Matrix m = PlaceInParent(Parent, O.Transform);
    const ColorTransform c = ParentColor * O.Color;
    // A mask is only an area: its blend mode does not apply.
    const bool layer = !AsMask && O.Blend != BlendMode::Normal;
    // Nor do its filters: they work on pixels, a mask is an area. An object
    // cached as a bitmap is drawn as one with no filters.
    const bool hasFilters = O.Filters && !O.Filters->empty();
    const bool filtered = !AsMask && (hasFilters || O.CacheAsBitmap);
    if (layer)
      FOut.BeginLayer(O.Blend);
    if (filtered) {
      // The filters see the object's own colours; its colour transform
      // (and its parents') applies to what they make.
      static const FilterList none;
      FOut.BeginFilters(hasFilters ? *O.Filters : none, c, Corner(O, m, Level));
      Content(O, m, {}, Level, AsMask, Slice);
      FOut.EndFilters();
    } else {
      Content(O, m, c, Level, AsMask, Slice);
    }
    if (layer)
      FOut.EndLayer();
  }

  // The top left of O's bounds under M (stage twips); the origin when it
  // has none.
  Point Corner(const DisplayObject& O, const Matrix& M, int Level)
  {
    Box b;
    Reach(O, M, Level, b);
    if (!std::isfinite(b.Left) || !std::isfinite(b.Top))
      return M.Apply({0, 0});
    return {b.Left, b.Top};
  }

  // Bounds under a transform, grown one rectangle at a time.
  struct Box {
    double Left = INFINITY, Top = INFINITY, Right = -INFINITY, Bottom = -INFINITY;
    void Add(const Rect& R, const Matrix& T)
    {
      for (const Point& p : {Point{double(R.XMin), double(R.YMin)}, Point{double(R.XMax), double(R.YMin)},
                             Point{double(R.XMin), double(R.YMax)}, Point{double(R.XMax), double(R.YMax)}}) {
        const Point q = T.Apply(p);
        Left = std::min(Left, q.X);
        Top = std::min(Top, q.Y);
        Right = std::max(Right, q.X);
        Bottom = std::max(Bottom, q.Y);
      }
    }
    bool Finite() const
    {
      return std::isfinite(Left) && std::isfinite(Top) && std::isfinite(Right) && std::isfinite(Bottom);
    }
  };

  void Reach(const DisplayObject& O, const Matrix& M, int Level, Box& B)
  {
    const auto box = [&](const Rect& R, const Matrix& T) { B.Add(R, T); };
    const auto reachAll = [&](const DisplayList& L) {
      if (Level < MaxNesting)
        for (const DisplayObject& child : L)
          Reach(child, M * child.Transform, Level + 1, B);
    };
    if (O.Sprite) {
      if (O.Sprite->Drawing)
        box(O.Sprite->Drawing->Bounds, M);
      reachAll(O.Sprite->List);
    } else if (O.Shown) {
      box(O.Shown->Bounds, M * O.Shown->Transform);
    } else if (const Character* ch = FMovie.Find(O.Character)) {
      if (const auto* button = std::get_if<Button>(ch))
        reachAll(Expanded(UpState(*button)));
      else if (const auto* sprite = std::get_if<Sprite>(ch))
        reachAll(Expanded(FirstFrame(*sprite)));
      else if (const auto* shape = std::get_if<Shape>(ch))
        box(shape->Bounds, M);
      else if (const auto* morph = std::get_if<MorphShape>(ch))
        box(FShapes.Morph(*morph, O.Ratio).Bounds, M);
      else if (const auto* text = std::get_if<Text>(ch))
        box(text->Bounds, M * text->Transform);
    }
  }

  // Slice: the grid of the object O sits in (only its shapes are sliced).
  void Content(const DisplayObject& O, const Matrix& M, const ColorTransform& C, int Level, bool AsMask,
               const NineSlice* Slice)
  {
    if (O.Sprite) {
      const std::optional<NineSlice> own =
          O.Sprite->ScalingGrid ? Sliced(*O.Sprite->ScalingGrid, O.Sprite->List, O.Sprite->Drawing.get(), M, Level)
                                : std::nullopt;
      // What script drew lies under the clip's children.
      if (O.Sprite->Drawing)
        DrawShape(O.Character, *O.Sprite->Drawing, Matrix{}, M, C, own ? &*own : nullptr);
      List(O.Sprite->List, M, C, Level + 1, own ? &*own : nullptr);
    } else if (O.Shown) {
      DrawText(O.Character, *O.Shown, M, C, AsMask);
    } else if (const Character* ch = FMovie.Find(O.Character)) {
      const auto grid = FMovie.ScalingGrids.find(O.Character);
      const auto children = [&](DisplayList L) {
        const std::optional<NineSlice> own =
            grid != FMovie.ScalingGrids.end() ? Sliced(grid->second, L, nullptr, M, Level) : std::nullopt;
        List(L, M, C, Level + 1, own ? &*own : nullptr);
      };
      if (const auto* button = std::get_if<Button>(ch))
        children(Expanded(UpState(*button)));
      else if (const auto* sprite = std::get_if<Sprite>(ch))
        children(Expanded(FirstFrame(*sprite))); // inside a button: not played
      else if (const auto* shape = std::get_if<Shape>(ch))
        DrawShape(O.Character, *shape, O.Transform, M, C, Slice);
      else if (const auto* morph = std::get_if<MorphShape>(ch))
        DrawShape(O.Character, FShapes.Morph(*morph, O.Ratio), O.Transform, M, C, Slice);
      else if (const auto* text = std::get_if<Text>(ch))
        DrawText(O.Character, *text, M, C, AsMask);
      else if (const auto* video = std::get_if<VideoStream>(ch); video && !AsMask)
        FOut.DrawVideo({O.Character, video, O.Ratio, M, C});
    }
  }

  // Draws S at M, or, in a 9-slice object, sliced (Place: S in the
  // object's space).
  void DrawShape(CharacterId Id, const Shape& S, const Matrix& Place, const Matrix& M, const ColorTransform& C,
                 const NineSlice* Slice)
  {
    const bool placeable = Slice && std::isfinite(Place.A) && std::isfinite(Place.B) && std::isfinite(Place.C) &&
                           std::isfinite(Place.D) && std::isfinite(Place.Tx) && std::isfinite(Place.Ty);
    if (placeable)
      FOut.DrawShape({Id, &FShapes.Sliced(S, Place, *Slice), Slice->DrawMatrix(), C});
    else
      FOut.DrawShape({Id, &S, M, C});
  }

  // The slicing of an object with Grid that holds L (and Drawing) drawn at
  // M; none when its content has no bounds or M rotates or skews it.
  std::optional<NineSlice> Sliced(const Rect& Grid, const DisplayList& L, const Shape* Drawing, const Matrix& M,
                                  int Level)
  {
    Box box;
    if (Drawing)
      box.Add(Drawing->Bounds, {});
    if (Level < MaxNesting)
      for (const DisplayObject& child : L)
        Reach(child, child.Transform, Level + 1, box);
    if (!box.Finite())
      return std::nullopt;
    // Twips far beyond any stage are clamped before they become whole.
    const auto twips = [](double V) { return static_cast<std::int32_t>(std::clamp(V, -1e9, 1e9)); };
    const Rect bounds{twips(std::floor(box.Left)), twips(std::ceil(box.Right)), twips(std::floor(box.Top)),
                      twips(std::ceil(box.Bottom))};
    return NineSlice::Make(Grid, bounds, M);
  }

  // L, unless the walk has already made more objects of buttons and
  // unplayed sprites than MaxExpanded: one that places itself several
  // times would otherwise multiply them at every level.
  DisplayList Expanded(DisplayList L)
  {
    FExpanded += L.size();
    return FExpanded > MaxExpanded ? DisplayList{} : std::move(L);
  }

  // What a button shows while the mouse is away: its up-state records by
  // depth.
  static DisplayList UpState(const Button& Definition)
  {
    DisplayList list;
    for (const ButtonRecord& r : Definition.Records) {
      if (!(r.States & ButtonRecord::Up))
        continue;
      DisplayObject o;
      o.Depth = r.Depth;
      o.Character = r.Character;
      o.Transform = r.Transform;
      o.Color = r.Color;
      o.Blend = r.Blend;
      o.Filters = r.Filters;
      list.push_back(std::move(o));
    }
    std::stable_sort(list.begin(), list.end(),
                     [](const DisplayObject& A, const DisplayObject& B) { return A.Depth < B.Depth; });
    return list;
  }

  // A sprite no timeline plays (one a button shows): what its first frame
  // places.
  static DisplayList FirstFrame(const Sprite& S)
  {
    DisplayList list;
    if (S.Frames.empty())
      return list;
    for (const auto& change : S.Frames.front().Changes) {
      const auto* place = std::get_if<PlaceObject>(&change);
      if (!place || !place->Character || place->Kind == PlaceObject::Action::Modify)
        continue;
      DisplayObject o;
      o.Depth = place->Depth;
      o.Character = *place->Character;
      o.Transform = place->Transform.value_or(Matrix{});
      o.Color = place->Color.value_or(ColorTransform{});
      o.Ratio = place->Ratio.value_or(0);
      o.ClipDepth = place->ClipDepth.value_or(0);
      o.Blend = place->Blend.value_or(BlendMode::Normal);
      o.Visible = place->Visible.value_or(true);
      o.Filters = place->Filters;
      const auto at = std::lower_bound(list.begin(), list.end(), o.Depth,
                                       [](const DisplayObject& A, Depth D) { return A.Depth < D; });
      if (at != list.end() && at->Depth == o.Depth)
        *at = std::move(o);
      else
        list.insert(at, std::move(o));
    }
    return list;
  }

  void DrawText(CharacterId Id, const Text& T, const Matrix& M, const ColorTransform& C, bool AsMask)
  {
    const Matrix base = M * T.Transform;
    if (T.Frame)
      FOut.DrawShape({Id, &*T.Frame, base, C});
    if (T.Device && !AsMask)
      FOut.DrawDeviceText({Id, &T, base, C});
    for (const TextRecord& r : T.Records) {
      const Character* ch = FMovie.Find(r.FontId);
      const auto* font = ch ? std::get_if<Font>(ch) : nullptr;
      if (!font)
        continue;
      // The record's colour replaces the glyph's own fill.
      ColorTransform colour;
      colour.RMul = colour.GMul = colour.BMul = colour.AMul = 0;
      const Rgba c = T.Edit ? FieldGlyphColor(r.Color) : r.Color;
      colour.RAdd = c.R;
      colour.GAdd = c.G;
      colour.BAdd = c.B;
      colour.AAdd = c.A;
      const ColorTransform glyphColour = C * colour;
      const double scale = r.Height / (font->Version >= 3 ? EmSquareFont3 : EmSquare);
      double x = r.X;
      for (const GlyphEntry& g : r.Glyphs) {
        if (g.Index < font->Glyphs.size()) {
          Matrix place;
          place.A = place.D = scale;
          place.Tx = x;
          place.Ty = r.Y;
          // The player places each glyph at a whole twip of the stage.
          Matrix glyph = base * place;
          glyph.Tx = std::round(glyph.Tx);
          glyph.Ty = std::round(glyph.Ty);
          FOut.DrawShape({Id, &font->Glyphs[g.Index], glyph, glyphColour});
        }
        x += g.Advance;
      }
    }
  }

  const Movie& FMovie;
  ShapeCache& FShapes;
  DrawCommands& FOut;
  std::size_t FExpanded = 0;
};

} // namespace

void EmitDisplayList(const Movie& Movie, const DisplayList& List, ShapeCache& Shapes, DrawCommands& Out,
                     const Matrix& Stage, const ColorTransform& Color)
{
  Walker(Movie, Shapes, Out).List(List, Stage, Color, 0);
}

void CommandRecorder::DrawShape(const ShapeDraw& Draw)
{
  Command c;
  c.Type = Command::Kind::Shape;
  c.Draw = Draw;
  FCommands.push_back(c);
}

void CommandRecorder::DrawDeviceText(const DeviceTextDraw& Draw)
{
  Command c;
  c.Type = Command::Kind::DeviceText;
  c.Text = Draw;
  FCommands.push_back(c);
}

void CommandRecorder::DrawVideo(const VideoDraw& Draw)
{
  Command c;
  c.Type = Command::Kind::Video;
  c.Video = Draw;
  FCommands.push_back(c);
}

void CommandRecorder::PushMask()
{
  Command c;
  c.Type = Command::Kind::PushMask;
  FCommands.push_back(c);
}

void CommandRecorder::ActivateMask()
{
  Command c;
  c.Type = Command::Kind::ActivateMask;
  FCommands.push_back(c);
}

void CommandRecorder::DeactivateMask()
{
  Command c;
  c.Type = Command::Kind::DeactivateMask;
  FCommands.push_back(c);
}

void CommandRecorder::PopMask()
{
  Command c;
  c.Type = Command::Kind::PopMask;
  FCommands.push_back(c);
}

void CommandRecorder::BeginLayer(BlendMode Mode)
{
  Command c;
  c.Type = Command::Kind::BeginLayer;
  c.Mode = Mode;
  FCommands.push_back(c);
}

void CommandRecorder::EndLayer()
{
  Command c;
  c.Type = Command::Kind::EndLayer;
  FCommands.push_back(c);
}

void CommandRecorder::BeginFilters(const FilterList& Filters, const ColorTransform& Color, Point Corner)
{
  Command c;
  c.Type = Command::Kind::BeginFilters;
  c.Filters = &Filters;
  c.Corner = Corner;
  c.Draw.Color = Color;
  FCommands.push_back(c);
}

void CommandRecorder::EndFilters()
{
  Command c;
  c.Type = Command::Kind::EndFilters;
  FCommands.push_back(c);
}

std::vector<std::string> CommandRecorder::Words() const
{
  std::vector<std::string> words;
  for (const Command& c : FCommands) {
    switch (c.Type) {
    case Command::Kind::Shape: words.push_back("shape " + std::to_string(c.Draw.Character)); break;
    case Command::Kind::DeviceText: words.push_back("text " + std::to_string(c.Text.Character)); break;
    case Command::Kind::Video:
      words.push_back("video " + std::to_string(c.Video.Character) + "@" + std::to_string(c.Video.Frame));
      break;
    case Command::Kind::PushMask: words.emplace_back("push"); break;
    case Command::Kind::ActivateMask: words.emplace_back("activate"); break;
    case Command::Kind::DeactivateMask: words.emplace_back("deactivate"); break;
    case Command::Kind::PopMask: words.emplace_back("pop"); break;
    case Command::Kind::BeginLayer:
      words.push_back("layer " + std::to_string(static_cast<int>(c.Mode)));
      break;
    case Command::Kind::EndLayer: words.emplace_back("end"); break;
    case Command::Kind::BeginFilters:
      words.push_back("filters " + std::to_string(c.Filters ? c.Filters->size() : 0));
      break;
    case Command::Kind::EndFilters: words.emplace_back("end filters"); break;
    }
  }
  return words;
}

} // namespace quenloft::swf::render
