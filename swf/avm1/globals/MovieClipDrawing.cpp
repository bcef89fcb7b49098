// MovieClip: the drawing methods. Solid fills and lines are drawn; the
// gradient and bitmap fills are noted in the log and draw nothing.
#include "swf/avm1/ClipObject.h"
#include "swf/avm1/Machine.h"
#include "swf/avm1/globals/Globals.h"

#include <algorithm>
#include <cmath>

namespace quenloft::swf::avm1 {

namespace {

ClipObject* Live(Object* This)
{
  auto* c = dynamic_cast<ClipObject*>(This);
  return c && c->Instance() ? c : nullptr;
}

// A colour and an alpha percentage (100 when not given).
Rgba ColourOf(Machine& M, std::span<const Value> Args, std::size_t At)
{
  const auto rgb = static_cast<std::uint32_t>(Arg(Args, At).ToInt32(M));
  double alpha = 100;
  if (Args.size() > At + 1 && !Args[At + 1].IsUndefined())
    alpha = Args[At + 1].ToNumber(M);
  if (std::isnan(alpha))
    alpha = 0;
  alpha = std::clamp(alpha, 0.0, 100.0);
  return Rgba{static_cast<std::uint8_t>(rgb >> 16), static_cast<std::uint8_t>(rgb >> 8),
              static_cast<std::uint8_t>(rgb), static_cast<std::uint8_t>(std::lround(alpha * 2.55))};
}

// A point in pixels as twips; none when a coordinate is not a number.
bool PointArgs(Machine& M, std::span<const Value> Args, std::size_t At, Point& Out)
{
  if (Args.size() < At + 2)
    return false;
  const double x = Args[At].ToNumber(M), y = Args[At + 1].ToNumber(M);
  if (!std::isfinite(x) || !std::isfinite(y))
    return false;
  Out = Point{x * 20, y * 20};
  return true;
}

Value LineStyleMethod(Machine& M, Object* This, std::span<const Value> Args)
{
  ClipObject* c = Live(This);
  if (!c)
    return Value();
  const double width = Arg(Args, 0).ToNumber(M);
  if (Args.empty() || Args[0].IsUndefined() || std::isnan(width)) {
    c->Drawing().SetLine(std::nullopt);
    return Value();
  }
  LineStyle style;
  style.Width = static_cast<std::uint16_t>(std::clamp(width, 0.0, 255.0) * 20);
  style.Color = ColourOf(M, Args, 1);
  style.PixelHinting = Arg(Args, 3).ToBoolean(M.Version());
  const std::string scale = Arg(Args, 4).IsUndefined() ? std::string("normal") : Arg(Args, 4).ToText(M);
  style.ScaleHorizontal = scale == "normal" || scale == "horizontal";
  style.ScaleVertical = scale == "normal" || scale == "vertical";
  const std::string caps = Arg(Args, 5).ToText(M), joint = Arg(Args, 6).ToText(M);
  style.StartCap = style.EndCap = caps == "none" ? CapStyle::None : caps == "square" ? CapStyle::Square : CapStyle::Round;
  style.Join = joint == "miter" ? JoinStyle::Miter : joint == "bevel" ? JoinStyle::Bevel : JoinStyle::Round;
  if (Args.size() > 7)
    style.MiterLimit = std::clamp(Args[7].ToNumber(M), 1.0, 255.0);
  c->Drawing().SetLine(style);
  return Value();
}

Value BeginFill(Machine& M, Object* This, std::span<const Value> Args)
{
  ClipObject* c = Live(This);
  if (!c)
    return Value();
  if (Args.empty() || Args[0].IsUndefined()) {
    c->Drawing().EndFill();
  } else {
    FillStyle fill;
    fill.Color = ColourOf(M, Args, 0);
    c->Drawing().BeginFill(fill);
  }
  c->Drew();
  return Value();
}

Value UnsupportedFill(Machine& M, Object* This, std::span<const Value>)
{
  ClipObject* c = Live(This);
  if (!c)
    return Value();
  M.GetHost().Log("A gradient or bitmap fill of the drawing methods is not drawn");
  c->Drawing().EndFill();
  c->Drew();
  return Value();
}

Value EndFill(Machine&, Object* This, std::span<const Value>)
{
  if (ClipObject* c = Live(This)) {
    c->Drawing().EndFill();
    c->Drew();
  }
  return Value();
}

Value MoveTo(Machine& M, Object* This, std::span<const Value> Args)
{
  ClipObject* c = Live(This);
  Point p;
  if (c && PointArgs(M, Args, 0, p)) {
    c->Drawing().MoveTo(p);
    c->Drew();
  }
  return Value();
}

Value LineTo(Machine& M, Object* This, std::span<const Value> Args)
{
  ClipObject* c = Live(This);
  Point p;
  if (c && PointArgs(M, Args, 0, p)) {
    c->Drawing().LineTo(p);
    c->Drew();
  }
  return Value();
}

Value CurveTo(Machine& M, Object* This, std::span<const Value> Args)
{
  ClipObject* c = Live(This);
  Point control, anchor;
  if (c && PointArgs(M, Args, 0, control) && PointArgs(M, Args, 2, anchor)) {
    c->Drawing().CurveTo(control, anchor);
    c->Drew();
  }
  return Value();
}

Value Clear(Machine&, Object* This, std::span<const Value>)
{
  if (ClipObject* c = Live(This)) {
    c->Drawing().Clear();
    c->Drew();
  }
  return Value();
}

} // namespace

extern const Member MovieClipDrawingMethods[] = {
    Method("lineStyle", LineStyleMethod, DontEnum | OnlySwf6),
    Method("lineGradientStyle", UnsupportedFill, DontEnum | OnlySwf8),
    Method("beginFill", BeginFill, DontEnum | OnlySwf6),
    Method("beginGradientFill", UnsupportedFill, DontEnum | OnlySwf6),
    Method("beginBitmapFill", UnsupportedFill, DontEnum | OnlySwf8),
    Method("moveTo", MoveTo, DontEnum | OnlySwf6),
    Method("lineTo", LineTo, DontEnum | OnlySwf6),
    Method("curveTo", CurveTo, DontEnum | OnlySwf6),
    Method("endFill", EndFill, DontEnum | OnlySwf6),
    Method("clear", Clear, DontEnum | OnlySwf6),
};
extern const std::size_t MovieClipDrawingMethodCount = std::size(MovieClipDrawingMethods);

} // namespace quenloft::swf::avm1
