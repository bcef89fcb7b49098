#include "swf/avm1/HitTest.h"

#include <cmath>

namespace quenloft::swf::avm1 {

namespace {

// Nesting the walk follows at most: sprites placed in sprites and buttons.
constexpr int MaxDepth = 64;

bool InRect(const Rect& R, Point P)
{
  return P.X >= R.XMin && P.X <= R.XMax && P.Y >= R.YMin && P.Y <= R.YMax;
}

bool InLocal(const Matrix& Placement, const Rect& Bounds, Point Global)
{
  const std::optional<Matrix> inverse = Inverse(Placement);
  return inverse && InRect(Bounds, inverse->Apply(Global));
}

Rect Between(const Rect& A, const Rect& B, double T)
{
  const auto mix = [T](std::int32_t X, std::int32_t Y) {
    return static_cast<std::int32_t>(std::lround(X + (Y - X) * T));
  };
  return {mix(A.XMin, B.XMin), mix(A.XMax, B.XMax), mix(A.YMin, B.YMin), mix(A.YMax, B.YMax)};
}

bool HitsCharacter(const Movie& Movie, CharacterId Id, const SpriteInstance* Instance, std::uint16_t Ratio,
                   const Matrix& Placement, Point Global, int Depth);

bool HitsList(const Movie& Movie, const DisplayList& List, const Matrix& Parent, Point Global, int Depth)
{
  for (const DisplayObject& o : List)
    if (o.Visible && o.ClipDepth == 0 &&
        HitsCharacter(Movie, o.Character, o.Sprite.get(), o.Ratio, Parent * o.Transform, Global, Depth + 1))
      return true;
  return false;
}

bool HitsRecords(const Movie& Movie, const Button& B, std::uint8_t Mask, const Matrix& Placement,
                 Point Global, int Depth)
{
  for (const ButtonRecord& r : B.Records)
    if ((r.States & Mask) &&
        HitsCharacter(Movie, r.Character, nullptr, 0, Placement * r.Transform, Global, Depth + 1))
      return true;
  return false;
}

bool HitsCharacter(const Movie& Movie, CharacterId Id, const SpriteInstance* Instance, std::uint16_t Ratio,
                   const Matrix& Placement, Point Global, int Depth)
{
  if (Depth > MaxDepth)
    return false;
  if (Instance)
    return HitsList(Movie, Instance->List, Placement, Global, Depth);
  const Character* c = Movie.Find(Id);
  if (!c)
    return false;
  if (const auto* shape = std::get_if<Shape>(c))
    return InLocal(Placement, shape->Bounds, Global);
  if (const auto* morph = std::get_if<MorphShape>(c))
    return InLocal(Placement, Between(morph->StartBounds, morph->EndBounds, Ratio / 65535.0), Global);
  if (const auto* text = std::get_if<Text>(c))
    return InLocal(Placement, text->Bounds, Global);
  if (const auto* button = std::get_if<Button>(c))
    return HitsRecords(Movie, *button, ButtonRecord::HitTest, Placement, Global, Depth);
  if (const auto* sprite = std::get_if<Sprite>(c)) {
    // A sprite no timeline plays (a button's record): its first frame.
    if (sprite->Frames.empty())
      return false;
    for (const auto& change : sprite->Frames.front().Changes) {
      const auto* place = std::get_if<PlaceObject>(&change);
      if (place && place->Character && !place->ClipDepth &&
          HitsCharacter(Movie, *place->Character, nullptr, place->Ratio.value_or(0),
                        Placement * place->Transform.value_or(Matrix{}), Global, Depth + 1))
        return true;
    }
    return false;
  }
  return false;
}

} // namespace

std::optional<Matrix> Inverse(const Matrix& M)
{
  const double det = M.A * M.D - M.B * M.C;
  if (!std::isfinite(det) || std::abs(det) < 1e-12)
    return std::nullopt;
  Matrix r;
  r.A = M.D / det;
  r.B = -M.B / det;
  r.C = -M.C / det;
  r.D = M.A / det;
  r.Tx = -(r.A * M.Tx + r.C * M.Ty);
  r.Ty = -(r.B * M.Tx + r.D * M.Ty);
  return r;
}

Matrix GlobalMatrix(const SpriteInstance& S)
{
  Matrix m;
  int depth = 0;
  for (const SpriteInstance* s = &S; s->Parent && depth < MaxDepth; s = s->Parent, ++depth)
    for (const DisplayObject& o : s->Parent->List)
      if (o.Sprite.get() == s) {
        m = o.Transform * m;
        break;
      }
  return m;
}

bool HitsObject(const Movie& Movie, const DisplayObject& O, const Matrix& Parent, Point Global)
{
  return O.Visible &&
         HitsCharacter(Movie, O.Character, O.Sprite.get(), O.Ratio, Parent * O.Transform, Global, 0);
}

bool HitsButton(const Movie& Movie, const Button& B, std::uint8_t Mask, const Matrix& Placement, Point Global)
{
  return HitsRecords(Movie, B, Mask, Placement, Global, 0);
}

} // namespace quenloft::swf::avm1
