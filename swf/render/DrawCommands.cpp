#include "swf/render/DrawCommands.h"

#include <cmath>
#include <variant>

#include "swf/render/ShapePaths.h"

namespace quenloft::swf::render {
namespace {

// Glyph outlines are drawn in a 1024-unit em square; DefineFont3 glyphs
// are stored 20 times finer.
constexpr double EmSquare = 1024.0;
constexpr double EmSquareFont3 = 1024.0 * 20.0;

class Walker {
public:
  Walker(const Movie& M, ShapeCache& Shapes, DrawCommands& Out) : FMovie(M), FShapes(Shapes), FOut(Out) {}

  void List(const DisplayList& L, const Matrix& M, const ColorTransform& C, int Level)
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
        Object(o, M, C, Level, true);
        FOut.ActivateMask();
        masks.push_back(o.ClipDepth);
        continue;
      }
      if (o.Visible)
        Object(o, M, C, Level, false);
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
              bool AsMask)
  {
    const Matrix m = Parent * O.Transform;
    const ColorTransform c = ParentColor * O.Color;
    // A mask is only an area: its blend mode does not apply.
    const bool layer = !AsMask && O.Blend != BlendMode::Normal;
    if (layer)
      FOut.BeginLayer(O.Blend);
    if (O.Sprite) {
      List(O.Sprite->List, m, c, Level + 1);
    } else if (const Character* ch = FMovie.Find(O.Character)) {
      if (const auto* shape = std::get_if<Shape>(ch))
        FOut.DrawShape({O.Character, shape, m, c});
      else if (const auto* morph = std::get_if<MorphShape>(ch))
        FOut.DrawShape({O.Character, &FShapes.Morph(*morph, O.Ratio), m, c});
      else if (const auto* text = std::get_if<Text>(ch))
        DrawText(O.Character, *text, m, c, AsMask);
      else if (const auto* video = std::get_if<VideoStream>(ch); video && !AsMask)
        FOut.DrawVideo({O.Character, video, O.Ratio, m, c});
    }
    if (layer)
      FOut.EndLayer();
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
      colour.RAdd = r.Color.R;
      colour.GAdd = r.Color.G;
      colour.BAdd = r.Color.B;
      colour.AAdd = r.Color.A;
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
};

} // namespace

void EmitDisplayList(const Movie& Movie, const DisplayList& List, ShapeCache& Shapes, DrawCommands& Out,
                     const Matrix& Stage, const ColorTransform& Color)
{
  Walker(Movie, Shapes, Out).List(List, Stage, Color, 0);
}

void CommandRecorder::DrawShape(const ShapeDraw& Draw)
{
  FCommands.push_back({Command::Kind::Shape, Draw, BlendMode::Normal, {}, {}});
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
  FCommands.push_back({Command::Kind::PushMask, {}, BlendMode::Normal, {}, {}});
}

void CommandRecorder::ActivateMask()
{
  FCommands.push_back({Command::Kind::ActivateMask, {}, BlendMode::Normal, {}, {}});
}

void CommandRecorder::DeactivateMask()
{
  FCommands.push_back({Command::Kind::DeactivateMask, {}, BlendMode::Normal, {}, {}});
}

void CommandRecorder::PopMask()
{
  FCommands.push_back({Command::Kind::PopMask, {}, BlendMode::Normal, {}, {}});
}

void CommandRecorder::BeginLayer(BlendMode Mode)
{
  FCommands.push_back({Command::Kind::BeginLayer, {}, Mode, {}, {}});
}

void CommandRecorder::EndLayer()
{
  FCommands.push_back({Command::Kind::EndLayer, {}, BlendMode::Normal, {}, {}});
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
    }
  }
  return words;
}

} // namespace quenloft::swf::render
