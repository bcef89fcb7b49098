// flash.display.BitmapData: a buffer of 32-bit ARGB pixels script can
// make, read and paint. Pixels are kept unpremultiplied; a bitmap made
// opaque keeps every alpha at 0xFF.
#include "swf/avm1/Machine.h"
#include "swf/avm1/globals/Globals.h"
#include "swf/avm1/globals/Services.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <iterator>
#include <string>
#include <vector>

namespace quenloft::swf::avm1 {

namespace {

class BitmapDataObject final : public Object {
public:
  using Object::Object;
  Object* CreateInstance(Machine& M, Object* Proto) override { return M.Heap().Make<BitmapDataObject>(Proto); }

  int Width = 0, Height = 0;
  bool Transparent = true;
  bool Live = false; // made by the constructor and not disposed
  std::vector<std::uint32_t> Pixels;

  bool Inside(int X, int Y) const { return X >= 0 && Y >= 0 && X < Width && Y < Height; }
  std::uint32_t& At(int X, int Y) { return Pixels[static_cast<std::size_t>(Y) * Width + X]; }
  std::uint32_t Stored(std::uint32_t Argb) const { return Transparent ? Argb : (Argb | 0xFF000000u); }
};

// The prototype makes bitmaps for `new` without being one.
class BitmapDataPrototype final : public Object {
public:
  using Object::Object;
  Object* CreateInstance(Machine& M, Object* Proto) override { return M.Heap().Make<BitmapDataObject>(Proto); }
};

Object* MakeProto(Machine& M, Object* Base)
{
  return M.Heap().Make<BitmapDataPrototype>(Base);
}

BitmapDataObject* Live(Object* O)
{
  auto* b = dynamic_cast<BitmapDataObject*>(O);
  return b && b->Live ? b : nullptr;
}

// The sizes the reference player accepts: up to 2880 a side before SWF 10;
// from SWF 10 up to 8191 a side and fewer than 2^24 pixels.
bool SizeAllowed(int Version, double W, double H)
{
  if (!(W >= 1 && H >= 1))
    return false;
  if (Version < 10)
    return W <= 2880 && H <= 2880;
  return W <= 8191 && H <= 8191 && W * H < 16777216.0;
}

Value Construct(Machine& M, Object* This, std::span<const Value> Args)
{
  auto* self = dynamic_cast<BitmapDataObject*>(This);
  const double w = static_cast<double>(Arg(Args, 0).ToInt32(M));
  const double h = static_cast<double>(Arg(Args, 1).ToInt32(M));
  if (!self || !SizeAllowed(M.Version(), w, h))
    return Value::Null(); // `new` gives undefined
  self->Width = static_cast<int>(w);
  self->Height = static_cast<int>(h);
  self->Transparent = Args.size() > 2 ? Args[2].ToBoolean(M.Version()) : true;
  const std::uint32_t fill = Args.size() > 3 ? Args[3].ToUInt32(M) : 0xFFFFFFFFu;
  self->Pixels.assign(static_cast<std::size_t>(w * h), self->Stored(fill));
  self->Live = true;
  return Value(This);
}

Value GetWidth(Machine&, Object* This, std::span<const Value>)
{
  BitmapDataObject* b = Live(This);
  return Value(b ? b->Width : -1);
}
Value GetHeight(Machine&, Object* This, std::span<const Value>)
{
  BitmapDataObject* b = Live(This);
  return Value(b ? b->Height : -1);
}
Value GetTransparent(Machine&, Object* This, std::span<const Value>)
{
  BitmapDataObject* b = Live(This);
  return b ? Value(b->Transparent) : Value(-1);
}
Value GetRectangle(Machine& M, Object* This, std::span<const Value>)
{
  BitmapDataObject* b = Live(This);
  if (!b)
    return Value(-1);
  const Value args[] = {Value(0), Value(0), Value(b->Width), Value(b->Height)};
  return M.Construct(Value(static_cast<Object*>(M.Constructor("Rectangle"))), args);
}

Value GetPixel(Machine& M, Object* This, std::span<const Value> Args)
{
  BitmapDataObject* b = Live(This);
  if (!b)
    return Value(-1);
  const int x = Arg(Args, 0).ToInt32(M), y = Arg(Args, 1).ToInt32(M);
  return Value(b->Inside(x, y) ? static_cast<double>(b->At(x, y) & 0xFFFFFFu) : 0.0);
}
Value GetPixel32(Machine& M, Object* This, std::span<const Value> Args)
{
  BitmapDataObject* b = Live(This);
  if (!b)
    return Value(-1);
  const int x = Arg(Args, 0).ToInt32(M), y = Arg(Args, 1).ToInt32(M);
  return Value(b->Inside(x, y) ? static_cast<double>(static_cast<std::int32_t>(b->At(x, y))) : 0.0);
}
Value SetPixel(Machine& M, Object* This, std::span<const Value> Args)
{
  BitmapDataObject* b = Live(This);
  if (!b)
    return Value();
  const int x = Arg(Args, 0).ToInt32(M), y = Arg(Args, 1).ToInt32(M);
  if (b->Inside(x, y))
    b->At(x, y) = (b->At(x, y) & 0xFF000000u) | (Arg(Args, 2).ToUInt32(M) & 0xFFFFFFu);
  return Value();
}
Value SetPixel32(Machine& M, Object* This, std::span<const Value> Args)
{
  BitmapDataObject* b = Live(This);
  if (!b)
    return Value();
  const int x = Arg(Args, 0).ToInt32(M), y = Arg(Args, 1).ToInt32(M);
  if (b->Inside(x, y))
    b->At(x, y) = b->Stored(Arg(Args, 2).ToUInt32(M));
  return Value();
}

// A rectangle object's x, y, width and height clipped to the bitmap, as
// [X0, X1) x [Y0, Y1); false when it is not an object.
struct Span {
  int X0 = 0, Y0 = 0, X1 = 0, Y1 = 0;
};
bool ClipRect(Machine& M, const BitmapDataObject& B, Value Rect, Span& Out)
{
  Object* r = Rect.ObjectOrNull();
  if (!r)
    return false;
  const auto num = [&](const char* Name) { return r->Get(M, M.Intern(Name)).ToNumber(M); };
  const double x = num("x"), y = num("y"), w = num("width"), h = num("height");
  const auto clampTo = [](double V, int Max) {
    return std::isnan(V) ? 0 : static_cast<int>(std::clamp(std::floor(V), 0.0, static_cast<double>(Max)));
  };
  Out.X0 = clampTo(x, B.Width);
  Out.Y0 = clampTo(y, B.Height);
  Out.X1 = clampTo(x + w, B.Width);
  Out.Y1 = clampTo(y + h, B.Height);
  return true;
}

Value FillRect(Machine& M, Object* This, std::span<const Value> Args)
{
  BitmapDataObject* b = Live(This);
  Span s;
  if (!b || !ClipRect(M, *b, Arg(Args, 0), s))
    return Value();
  const std::uint32_t color = b->Stored(Arg(Args, 1).ToUInt32(M));
  for (int y = s.Y0; y < s.Y1; ++y)
    for (int x = s.X0; x < s.X1; ++x)
      b->At(x, y) = color;
  return Value();
}

// Source over destination, both unpremultiplied ARGB.
std::uint32_t Over(std::uint32_t Src, std::uint32_t Dst)
{
  const std::uint32_t sa = Src >> 24;
  if (sa == 0xFF)
    return Src;
  if (sa == 0)
    return Dst;
  const double a = sa / 255.0, da = (Dst >> 24) / 255.0;
  const double outA = a + da * (1 - a);
  std::uint32_t out = static_cast<std::uint32_t>(std::lround(outA * 255)) << 24;
  for (int shift : {16, 8, 0}) {
    const double s = (Src >> shift) & 0xFF, d = (Dst >> shift) & 0xFF;
    const double c = outA > 0 ? (s * a + d * da * (1 - a)) / outA : 0;
    out |= static_cast<std::uint32_t>(std::clamp(std::lround(c), 0L, 255L)) << shift;
  }
  return out;
}

// draw(source, matrix, colorTransform, blendMode, clipRect, smoothing) for
// a BitmapData source: each destination pixel inside the clip takes the
// source pixel the inverse matrix maps its centre to, composited over it.
// Clips and other display objects are not drawn into bitmaps yet.
Value Draw(Machine& M, Object* This, std::span<const Value> Args)
{
  BitmapDataObject* dst = Live(This);
  BitmapDataObject* src = Live(Arg(Args, 0).ObjectOrNull());
  if (!dst)
    return Value();
  if (!src) {
    M.GetHost().Log("BitmapData.draw of a display object is not carried out");
    return Value();
  }
  double a = 1, b = 0, c = 0, d = 1, tx = 0, ty = 0;
  if (Object* m = Arg(Args, 1).ObjectOrNull()) {
    const auto num = [&](const char* Name) { return m->Get(M, M.Intern(Name)).ToNumber(M); };
    a = num("a"), b = num("b"), c = num("c"), d = num("d"), tx = num("tx"), ty = num("ty");
  }
  const double det = a * d - b * c;
  if (!std::isfinite(det) || det == 0 || !std::isfinite(tx) || !std::isfinite(ty))
    return Value();
  Span clip{0, 0, dst->Width, dst->Height};
  if (!Arg(Args, 4).IsNullish() && !ClipRect(M, *dst, Arg(Args, 4), clip))
    clip = {};
  for (int y = clip.Y0; y < clip.Y1; ++y)
    for (int x = clip.X0; x < clip.X1; ++x) {
      const double px = x + 0.5 - tx, py = y + 0.5 - ty;
      const double sx = (d * px - c * py) / det, sy = (a * py - b * px) / det;
      const double fx = std::floor(sx), fy = std::floor(sy);
      if (fx < 0 || fy < 0 || fx >= src->Width || fy >= src->Height)
        continue;
      std::uint32_t& out = dst->At(x, y);
      out = dst->Stored(Over(src->At(static_cast<int>(fx), static_cast<int>(fy)), out));
    }
  return Value();
}

// threshold(source, sourceRect, destPoint, operation, threshold, color,
// mask, copySource): each source pixel whose masked value passes the test
// against the masked threshold paints Color at its place in this bitmap;
// the others are copied when copySource says so. Answers how many passed.
Value Threshold(Machine& M, Object* This, std::span<const Value> Args)
{
  BitmapDataObject* dst = Live(This);
  BitmapDataObject* src = Live(Arg(Args, 0).ObjectOrNull());
  if (!dst || !src)
    return Value(0);
  Span from;
  if (!ClipRect(M, *src, Arg(Args, 1), from))
    return Value(0);
  int dx = 0, dy = 0;
  if (Object* p = Arg(Args, 2).ObjectOrNull()) {
    dx = p->Get(M, M.Intern("x")).ToInt32(M);
    dy = p->Get(M, M.Intern("y")).ToInt32(M);
  }
  const std::string op = Arg(Args, 3).ToText(M);
  const std::uint32_t threshold = Arg(Args, 4).ToUInt32(M);
  const std::uint32_t color = Args.size() > 5 ? Args[5].ToUInt32(M) : 0;
  const std::uint32_t mask = Args.size() > 6 ? Args[6].ToUInt32(M) : 0xFFFFFFFFu;
  const bool copy = Args.size() > 7 && Args[7].ToBoolean(M.Version());
  const auto pass = [&](std::uint32_t V) {
    const std::uint32_t a = V & mask, b = threshold & mask;
    if (op == "<") return a < b;
    if (op == "<=") return a <= b;
    if (op == ">") return a > b;
    if (op == ">=") return a >= b;
    if (op == "==") return a == b;
    return a != b; // "!=" (other words are refused below)
  };
  static constexpr std::string_view Ops[] = {"<", "<=", ">", ">=", "==", "!="};
  if (std::find(std::begin(Ops), std::end(Ops), op) == std::end(Ops))
    return Value(0);
  // The source as it was, in case it is this very bitmap.
  const std::vector<std::uint32_t> before = src->Pixels;
  const int srcWidth = src->Width;
  int count = 0;
  for (int y = from.Y0; y < from.Y1; ++y)
    for (int x = from.X0; x < from.X1; ++x) {
      const int tx = x - from.X0 + dx, ty = y - from.Y0 + dy;
      if (!dst->Inside(tx, ty))
        continue;
      const std::uint32_t v = before[static_cast<std::size_t>(y) * srcWidth + x];
      if (pass(v)) {
        dst->At(tx, ty) = dst->Stored(color);
        ++count;
      } else if (copy) {
        dst->At(tx, ty) = dst->Stored(v);
      }
    }
  return Value(count);
}

Value Clone(Machine& M, Object* This, std::span<const Value>)
{
  BitmapDataObject* b = Live(This);
  if (!b)
    return Value();
  auto* copy = M.Heap().Make<BitmapDataObject>(b->Proto());
  copy->Width = b->Width;
  copy->Height = b->Height;
  copy->Transparent = b->Transparent;
  copy->Pixels = b->Pixels;
  copy->Live = true;
  M.CheckHeap();
  return Value(static_cast<Object*>(copy));
}

Value Dispose(Machine&, Object* This, std::span<const Value>)
{
  if (BitmapDataObject* b = Live(This)) {
    b->Live = false;
    b->Width = b->Height = 0;
    b->Pixels = {};
  }
  return Value();
}

const Member Methods[] = {
    Accessor("width", GetWidth),
    Accessor("height", GetHeight),
    Accessor("transparent", GetTransparent),
    Accessor("rectangle", GetRectangle),
    Method("getPixel", GetPixel),
    Method("getPixel32", GetPixel32),
    Method("setPixel", SetPixel),
    Method("setPixel32", SetPixel32),
    Method("fillRect", FillRect),
    Method("draw", Draw),
    Method("threshold", Threshold),
    Method("clone", Clone),
    Method("dispose", Dispose),
};

} // namespace

extern const ClassSpec BitmapDataClass = {
    .Name = "BitmapData", .Construct = Construct, .Prototype = Methods, .MakePrototype = MakeProto};

} // namespace quenloft::swf::avm1
