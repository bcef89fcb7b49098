#include "swf/render/FrameChanges.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cmath>

#include "swf/render/Paint.h"
#include "swf/render/ShapePaths.h"

namespace quenloft::swf::render {
namespace {

// Shapes whose bounds are kept at most; past it they are worked out anew.
constexpr std::size_t MaxExtents = 50000;
// Pixels of room around a command's bounds: anti-aliasing reaches the
// pixels an edge touches.
constexpr double Room = 2;

std::uint64_t Mix(std::uint64_t H, std::uint64_t V)
{
  // One round of splitmix64 over the sum.
  std::uint64_t z = H * 0x9e3779b97f4a7c15ull + V + 0x632be59bd9b4e019ull;
  z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
  z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
  return z ^ (z >> 31);
}

std::uint64_t Mix(std::uint64_t H, double V)
{
  return Mix(H, std::bit_cast<std::uint64_t>(V));
}

std::uint64_t Mix(std::uint64_t H, const Matrix& M)
{
  for (double v : {M.A, M.B, M.C, M.D, M.Tx, M.Ty})
    H = Mix(H, v);
  return H;
}

std::uint64_t Mix(std::uint64_t H, const ColorTransform& C)
{
  for (double v : {C.RMul, C.GMul, C.BMul, C.AMul, C.RAdd, C.GAdd, C.BAdd, C.AAdd})
    H = Mix(H, v);
  return H;
}

enum Kind : std::uint64_t { ShapeKind = 1, TextKind, VideoKind, MaskKind, CutKind, LayerKind, FilterKind };

} // namespace

FrameChanges::FrameChanges(ShapeCache& Shapes, Extents& Known, QSize Size, const QTransform& StageToDevice,
                           double PixelsPerTwip)
    : FShapes(Shapes), FKnown(Known), FSize(Size), FStageToDevice(StageToDevice), FPixelsPerTwip(PixelsPerTwip)
{
  static std::atomic<std::uint64_t> serial{0};
  FSerial = ++serial;
}

void FrameChanges::Add(std::uint64_t Print, const QRect& Pixels)
{
  FItems.push_back({Print, FFiltered > 0 ? QRect(QPoint(0, 0), FSize) : Pixels});
}

void FrameChanges::Open(std::uint64_t Kind, std::uint64_t Detail)
{
  FContext.push_back(Mix(Mix(Mix(Context(), Kind), Detail), FOpened++));
}

void FrameChanges::Close()
{
  if (!FContext.empty())
    FContext.pop_back();
}

QRect FrameChanges::DevicePixels(const QRectF& Local, const QTransform& T, double Margin) const
{
  if (Local.isNull())
    return {}; // nothing drawn
  const QRectF device = T.mapRect(Local).adjusted(-Margin, -Margin, Margin, Margin);
  const QRectF frame(QPointF(0, 0), QSizeF(FSize));
  if (!std::isfinite(device.left()) || !std::isfinite(device.right()) || !std::isfinite(device.top()) ||
      !std::isfinite(device.bottom()))
    return frame.toRect();
  return device.intersected(frame).toAlignedRect();
}

const FrameChanges::Extent& FrameChanges::ExtentOf(const Shape& S)
{
  const auto known = FKnown.find(S.Handle);
  if (known != FKnown.end())
    return known->second;
  if (FKnown.size() >= MaxExtents)
    FKnown.clear();
  Extent e;
  for (const ShapePart& part : FShapes.Geometry(S).Parts) {
    e.Local |= part.Path.controlPointRect();
    if (part.Type != ShapePart::Kind::Stroke)
      continue;
    const bool seen = std::any_of(e.Lines.begin(), e.Lines.end(), [&part](const LineStyle& L) {
      return L.Width == part.Line.Width && L.ScaleHorizontal == part.Line.ScaleHorizontal &&
             L.ScaleVertical == part.Line.ScaleVertical && L.MiterLimit == part.Line.MiterLimit;
    });
    if (!seen)
      e.Lines.push_back(part.Line);
  }
  return FKnown.emplace(S.Handle, std::move(e)).first->second;
}

void FrameChanges::DrawShape(const ShapeDraw& Draw)
{
  if (!Draw.Shape)
    return;
  const QTransform t = ToQTransform(Draw.Transform) * FStageToDevice;
  const Extent& e = ExtentOf(*Draw.Shape);
  // A line reaches half its width past its centre line, a mitred corner up
  // to its miter limit times that.
  double margin = Room;
  for (const LineStyle& line : e.Lines)
    margin = std::max(margin, Room + LineWidthPixels(line, t, FPixelsPerTwip) * std::max(1.5, line.MiterLimit));
  std::uint64_t print = Mix(Mix(Mix(Context(), ShapeKind), Draw.Shape->Handle), Draw.Transform);
  Add(Mix(print, Draw.Color), DevicePixels(e.Local, t, margin));
}

void FrameChanges::DrawDeviceText(const DeviceTextDraw& Draw)
{
  if (!Draw.Text)
    return;
  const Rect& b = Draw.Text->Bounds;
  const QRectF box(b.XMin, b.YMin, static_cast<double>(b.XMax) - b.XMin, static_cast<double>(b.YMax) - b.YMin);
  // Never the same as before: every list of commands has its own serial.
  Add(Mix(Mix(Mix(Context(), TextKind), FSerial), static_cast<std::uint64_t>(FItems.size())),
      DevicePixels(box, ToQTransform(Draw.Transform) * FStageToDevice, Room));
}

void FrameChanges::DrawVideo(const VideoDraw& Draw)
{
  if (!Draw.Stream)
    return;
  const QRectF box(0, 0, Draw.Stream->Width * 20.0, Draw.Stream->Height * 20.0);
  std::uint64_t print = Mix(Mix(Mix(Context(), VideoKind), reinterpret_cast<std::uintptr_t>(Draw.Stream)),
                            static_cast<std::uint64_t>(Draw.Frame));
  Add(Mix(Mix(print, Draw.Transform), Draw.Color), DevicePixels(box, ToQTransform(Draw.Transform) * FStageToDevice, Room));
}

void FrameChanges::PushMask()
{
  Open(MaskKind, 0);
}

void FrameChanges::ActivateMask()
{
  // What the mask cuts is told apart from the mask's own shapes.
  if (!FContext.empty())
    FContext.back() = Mix(FContext.back(), CutKind);
}

void FrameChanges::DeactivateMask() {}

void FrameChanges::PopMask()
{
  Close();
}

void FrameChanges::BeginLayer(BlendMode Mode)
{
  // Every mode leaves what is under the layer as it is where the layer is
  // empty: the layer's own items say where it changes anything.
  Open(LayerKind, static_cast<std::uint64_t>(Mode));
}

void FrameChanges::EndLayer()
{
  Close();
}

void FrameChanges::BeginFilters(const FilterList& Filters, const ColorTransform& Color, Point Corner)
{
  Open(FilterKind, Mix(Mix(Mix(reinterpret_cast<std::uintptr_t>(&Filters), Color), Corner.X), Corner.Y));
  ++FFiltered;
  Add(Context(), {});
}

void FrameChanges::EndFilters()
{
  Close();
  FFiltered = std::max(0, FFiltered - 1);
}

QRegion FrameChanges::Since(const FrameChanges& Before) const
{
  const QRect all(QPoint(0, 0), FSize);
  if (Before.FSize != FSize || Before.FStageToDevice != FStageToDevice || Before.FPixelsPerTwip != FPixelsPerTwip)
    return all;
  const std::vector<Item>& a = Before.FItems;
  const std::vector<Item>& b = FItems;
  std::size_t head = 0;
  while (head < a.size() && head < b.size() && a[head] == b[head])
    ++head;
  std::size_t tail = 0;
  while (tail < a.size() - head && tail < b.size() - head && a[a.size() - 1 - tail] == b[b.size() - 1 - tail])
    ++tail;
  QRect bounds;
  std::vector<QRect> rects;
  for (const auto* items : {&a, &b}) {
    for (std::size_t i = head; i + tail < items->size(); ++i) {
      const QRect& r = (*items)[i].Pixels;
      if (r.isEmpty())
        continue;
      rects.push_back(r);
      bounds |= r;
    }
  }
  // Many scattered changes are drawn as one rectangle.
  if (rects.size() > 16)
    return bounds;
  QRegion changed;
  for (const QRect& r : rects)
    changed += r;
  return changed;
}

} // namespace quenloft::swf::render
