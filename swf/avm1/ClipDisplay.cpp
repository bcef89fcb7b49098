// The display properties of a clip as script reads and writes them: place,
// scale, rotation, size, alpha, visibility and the player's odd ones
// (_droptarget, _focusrect, _lockroot, _soundbuftime).
#include "swf/avm1/ClipGeometry.h"
#include "swf/avm1/ClipObject.h"
#include "swf/avm1/Machine.h"
#include "swf/avm1/PlayerImpl.h"

#include <cmath>
#include <limits>
#include <numbers>
#include <optional>

namespace quenloft::swf::avm1 {

namespace {

constexpr double Radians = std::numbers::pi / 180;

// The number a display property takes: none for undefined, null and NaN
// (the write is ignored).
std::optional<double> PropertyNumber(Machine& M, Value V)
{
  if (V.IsUndefined() || V.IsNull())
    return std::nullopt;
  const double d = V.ToNumber(M);
  if (std::isnan(d))
    return std::nullopt;
  return d;
}

// Pixels to twips as the player stores them: truncated, saturated.
double Twips(double Pixels)
{
  const double t = std::trunc(Pixels * 20);
  if (!(t >= std::numeric_limits<std::int32_t>::min()))
    return std::numeric_limits<std::int32_t>::min();
  return std::min(t, static_cast<double>(std::numeric_limits<std::int32_t>::max()));
}

// The player keeps its matrices in single precision.
double Single(double V)
{
  return static_cast<double>(static_cast<float>(V));
}

} // namespace

ClipObject::ScaleRotation ClipObject::Cached()
{
  const DisplayObject* o = Placement();
  const Matrix m = o ? o->Transform : Matrix{};
  if (FHasCache && m == FCachedFor)
    return FCache;
  ScaleRotation r;
  r.ScaleX = std::hypot(m.A, m.B);
  r.ScaleY = std::hypot(m.C, m.D);
  r.Rotation = std::atan2(m.B, m.A);
  r.Skew = std::atan2(-m.C, m.D) - r.Rotation;
  r.Rotation /= Radians;
  return r;
}

void ClipObject::Store(const ScaleRotation& R)
{
  DisplayObject* o = Placement();
  if (!o)
    return;
  // NaN reads back as NaN but counts as 0 in the matrix.
  const double sx = std::isnan(R.ScaleX) ? 0 : R.ScaleX;
  const double sy = std::isnan(R.ScaleY) ? 0 : R.ScaleY;
  const double rot = std::isnan(R.Rotation) ? 0 : R.Rotation * Radians;
  Matrix& m = o->Transform;
  m.A = Single(sx * std::cos(rot));
  m.B = Single(sx * std::sin(rot));
  m.C = Single(-sy * std::sin(rot + R.Skew));
  m.D = Single(sy * std::cos(rot + R.Skew));
  FCache = R;
  FCachedFor = m;
  FHasCache = true;
}

void ClipObject::SetSize(double Pixels, bool Width)
{
  // The box of the content (untransformed) and the scales that stretch its
  // transformed box to the size asked for, as the player works them out.
  if (!FInstance)
    return;
  const Box b = ContentBounds(FPlayer.Timeline().Movie(), *FInstance);
  const double w = b.Empty ? 0 : (b.XMax - b.XMin) / 20, h = b.Empty ? 0 : (b.YMax - b.YMin) / 20;
  ScaleRotation r = Cached();
  const double c = std::abs(std::cos(r.Rotation * Radians)), s = std::abs(std::sin(r.Rotation * Radians));
  double sx = 0, sy = 0;
  if (Width) {
    const double aspect = h / w;
    const double tx = w != 0 ? Pixels / w : 0, ty = w != 0 ? Pixels / h : 0;
    sx = aspect * (c * tx + s * ty) / ((c + aspect * s) * (aspect * c + s));
    sy = (s * r.ScaleX + aspect * c * r.ScaleY) / (aspect * c + s);
  } else {
    const double aspect = w / h;
    const double tx = h != 0 ? Pixels / w : 0, ty = h != 0 ? Pixels / h : 0;
    sx = (aspect * c * r.ScaleX + s * r.ScaleY) / (aspect * c + s);
    sy = aspect * (s * tx + c * ty) / ((c + aspect * s) * (aspect * c + s));
  }
  r.ScaleX = std::isfinite(sx) ? sx : 0;
  r.ScaleY = std::isfinite(sy) ? sy : 0;
  Store(r);
}

bool ClipObject::GetDisplay(Machine& M, std::string_view Lower, Value& Out)
{
  const DisplayObject* o = Placement();
  const Matrix m = o ? o->Transform : Matrix{};
  if (Lower == "_x" || Lower == "_y") {
    Out = Value((Lower == "_x" ? m.Tx : m.Ty) / 20);
    return true;
  }
  if (Lower == "_xscale" || Lower == "_yscale" || Lower == "_rotation") {
    const ScaleRotation r = Cached();
    Out = Value(Lower == "_rotation" ? r.Rotation : (Lower == "_xscale" ? r.ScaleX : r.ScaleY) * 100);
    return true;
  }
  if (Lower == "_width" || Lower == "_height") {
    Box b;
    if (FInstance)
      b = ContentBounds(FPlayer.Timeline().Movie(), *FInstance).Transformed(m);
    const double size = b.Empty ? 0 : Lower == "_width" ? b.XMax - b.XMin : b.YMax - b.YMin;
    Out = Value(size / 20);
    return true;
  }
  if (Lower == "_alpha") {
    Out = Value(o ? o->Color.AMul * 100 : 100.0);
    return true;
  }
  if (Lower == "_visible") {
    Out = Value(o ? o->Visible : true);
    return true;
  }
  if (Lower == "_highquality") {
    Out = Value(1.0);
    return true;
  }
  if (Lower == "_quality") {
    Out = Value(M.NewString("HIGH"));
    return true;
  }
  if (Lower == "_xmouse" || Lower == "_ymouse") {
    const Point p = FInstance ? FPlayer.Input().PointerIn(*FInstance) : Point{};
    Out = Value(Lower == "_xmouse" ? p.X : p.Y);
    return true;
  }
  if (Lower == "_droptarget") {
    Out = M.Version() < 6 ? Value() : Value(M.NewString(FPlayer.Input().DropTarget(this)));
    return true;
  }
  if (Lower == "_focusrect") {
    // The root (and every clip before SWF 6) answers for the stage.
    if (M.Version() <= 5)
      Out = Value(1.0);
    else if (!FInstance || !FInstance->Parent)
      Out = Value(FFocusRect != 0); // the stage's, on by default
    else
      Out = FFocusRect < 0 ? Value::Null() : Value(FFocusRect != 0);
    return true;
  }
  if (Lower == "_lockroot") {
    Out = Value(FLockRoot);
    return true;
  }
  if (Lower == "_soundbuftime") {
    Out = Value(5.0);
    return true;
  }
  return false;
}

bool ClipObject::SetDisplay(Machine& M, std::string_view Lower, Value V)
{
  DisplayObject* o = Placement();
  if (Lower == "_visible") {
    if (const auto d = PropertyNumber(M, V); d && o)
      o->Visible = *d != 0;
    // Hiding what has the focus takes the focus away.
    if (o && !o->Visible && FPlayer.Input().Focus() == this)
      FPlayer.Input().SetFocus(nullptr);
    return true;
  }
  if (Lower == "_lockroot") {
    FLockRoot = V.ToBoolean(M.Version());
    return true;
  }
  if (Lower == "_focusrect") {
    if (FInstance && !FInstance->Parent)
      FFocusRect = V.ToBoolean(M.Version());
    else if (FInstance && M.Version() > 5)
      FFocusRect = V.IsUndefined() || V.IsNull() ? -1 : V.ToBoolean(M.Version());
    return true;
  }
  if (Lower == "_droptarget" || Lower == "_soundbuftime" || Lower == "_highquality" || Lower == "_quality" ||
      Lower == "_xmouse" || Lower == "_ymouse")
    return true;
  const bool known = Lower == "_x" || Lower == "_y" || Lower == "_xscale" || Lower == "_yscale" ||
                     Lower == "_rotation" || Lower == "_alpha" || Lower == "_width" || Lower == "_height";
  if (!known)
    return false;
  const auto d = PropertyNumber(M, V);
  if (!o || !d)
    return true;
  o->ScriptMoved = true;
  if (Lower == "_x" || Lower == "_y") {
    const double t = Twips(std::isinf(*d) ? -std::numeric_limits<double>::infinity() : *d);
    (Lower == "_x" ? o->Transform.Tx : o->Transform.Ty) = t;
    if (FHasCache)
      FCachedFor = o->Transform;
  } else if (Lower == "_xscale" || Lower == "_yscale") {
    ScaleRotation r = Cached();
    (Lower == "_xscale" ? r.ScaleX : r.ScaleY) = *d / 100;
    Store(r);
  } else if (Lower == "_rotation") {
    double r = std::fmod(*d, 360);
    if (r < -180)
      r += 360;
    else if (r > 180)
      r -= 360;
    ScaleRotation sr = Cached();
    sr.Rotation = r;
    Store(sr);
  } else if (Lower == "_width" || Lower == "_height") {
    SetSize(*d, Lower == "_width");
  } else if (Lower == "_alpha") {
    o->Color.AMul = *d / 100;
  }
  return true;
}

} // namespace quenloft::swf::avm1
