// Which pixels of a frame can differ from the frame drawn before it.
//
// FrameChanges takes a frame's draw commands (it is a DrawCommands that
// draws nothing) and keeps, per command, a fingerprint (what it draws, its
// transforms, and the masks, layers and filters it is drawn inside) and the
// pixels it can touch. Two frames are compared by their command lists: the
// commands they share at the start and at the end are matched, and the
// pixels of every command left over, in either frame, are what changed. A
// pixel outside those shows the same commands in the same order, so it
// keeps its colour. What filters draw spreads beyond the object, so every
// command inside filters counts as the whole frame. Device text counts as
// changed in every frame (its field's text can change under the same
// placement).
//
// Extents keeps each shape's outline bounds between frames; the renderer
// owns one and hands it to every FrameChanges it makes.
//
// Threads: the thread of the renderer that owns it.
#pragma once

#include <QRect>
#include <QRegion>
#include <QSize>
#include <QTransform>

#include <cstdint>
#include <unordered_map>
#include <vector>

#include "swf/render/DrawCommands.h"

namespace quenloft::swf::render {

class ShapeCache;

class FrameChanges : public DrawCommands {
public:
  // A shape's bounds in its own space (twips) and its lines, by handle.
  struct Extent {
    QRectF Local;
    std::vector<LineStyle> Lines; // one of each width and scaling
  };
  using Extents = std::unordered_map<CharacterHandle, Extent>;

  // StageToDevice: stage twips to the frame's pixels, a frame of Size;
  // PixelsPerTwip as the painter draws lines with it.
  FrameChanges(ShapeCache& Shapes, Extents& Known, QSize Size, const QTransform& StageToDevice,
               double PixelsPerTwip);

  void DrawShape(const ShapeDraw& Draw) override;
  void DrawDeviceText(const DeviceTextDraw& Draw) override;
  void DrawVideo(const VideoDraw& Draw) override;
  void PushMask() override;
  void ActivateMask() override;
  void DeactivateMask() override;
  void PopMask() override;
  void BeginLayer(BlendMode Mode) override;
  void EndLayer() override;
  void BeginFilters(const FilterList& Filters, const ColorTransform& Color, Point Corner) override;
  void EndFilters() override;

  // The pixels that may differ from the frame Before recorded; the whole
  // frame when the two were drawn at other sizes or scales.
  QRegion Since(const FrameChanges& Before) const;
  std::size_t Count() const { return FItems.size(); }

private:
  struct Item {
    std::uint64_t Print = 0;
    QRect Pixels;
    friend bool operator==(const Item&, const Item&) = default;
  };
  std::uint64_t Context() const { return FContext.empty() ? 0 : FContext.back(); }
  void Add(std::uint64_t Print, const QRect& Pixels);
  void Open(std::uint64_t Kind, std::uint64_t Detail);
  void Close();
  QRect DevicePixels(const QRectF& Local, const QTransform& T, double Margin) const;
  const Extent& ExtentOf(const Shape& S);

  ShapeCache& FShapes;
  Extents& FKnown;
  QSize FSize;
  QTransform FStageToDevice;
  double FPixelsPerTwip;
  std::vector<Item> FItems;
  std::vector<std::uint64_t> FContext;
  std::uint64_t FOpened = 0; // masks, layers and filters opened so far
  int FFiltered = 0;         // filters open now
  std::uint64_t FSerial = 0; // this list's own number
};

} // namespace quenloft::swf::render
