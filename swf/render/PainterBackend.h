// Carries out draw commands with QPainter on a QImage.
//
// Masks: without anti-aliasing a mask is a clip region in device space (the
// union of the mask's shapes, intersected with the masks already in force);
// with it, the mask's shapes are drawn into a coverage image and what the
// mask cuts is drawn on a layer of its own, multiplied by that coverage and
// laid onto what is under it, so a pixel half covered by the mask shows half
// of what it cuts (a clip path would lose that). A blend mode other than
// Normal draws its items on a transparent layer of the target's size, which
// is then composited onto what is under it: QPainter's composition modes
// for Layer, Multiply, Screen, Lighten, Darken, Difference, Add, Overlay
// and HardLight; per-pixel code here for Subtract, Invert, Alpha and Erase.
// Alpha and Erase work on the layer they are drawn into; with no layer
// above them (drawn straight onto the stage) they draw as Normal, as the
// player does.
//
// Threads: the thread that owns the target image.
#pragma once

#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QRegion>
#include <QTransform>

#include <functional>
#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>

#include "swf/render/AliasedSpans.h"
#include "swf/render/DrawCommands.h"

namespace quenloft::swf::render {

class ShapeCache;

// The device-space outlines of the shapes drawn lately, by shape and
// transform, so a shape that stays where it is costs no path work in the
// next frame. Entries not used in a frame are dropped after it.
class DeviceCache {
public:
  struct Area {
    QPainterPath Path;       // what the part covers, curves flattened
    std::vector<Span> Spans; // the same as pixel spans, without anti-aliasing
    Coverage Cover;          // the same as coverage, with anti-aliasing
  };

  // The areas of Shape's parts under T, or null when not cached. Size and
  // Grid (anti-aliasing cells per pixel side, 0 without) describe the
  // target; a change of either empties the cache.
  std::vector<Area>* Find(const Shape& S, const QTransform& T, QSize Size, int Grid);
  // Keeps Areas unless the cache is full; returns what to draw from.
  const std::vector<Area>& Keep(const Shape& S, const QTransform& T, std::vector<Area> Areas);

  // A complex shape drawn once, kept as pixels for the frames that draw it
  // again under the same transform and colour transform.
  struct Raster {
    QImage Image; // premultiplied, transparent around the shape
    QPoint At;    // where its top left goes on the target
    ColorTransform Color;
  };
  Raster* FindRaster(const Shape& S, const QTransform& T);
  void KeepRaster(const Shape& S, const QTransform& T, Raster R);
  // Called before each frame.
  void NextFrame();
  void Clear()
  {
    FEntries.clear();
    FRasterPixels = 0;
  }

private:
  struct Key {
    const Shape* S;
    double M[6];
    friend bool operator==(const Key&, const Key&) = default;
  };
  struct Hash {
    std::size_t operator()(const Key& K) const;
  };
  struct Entry {
    std::vector<Area> Areas;
    std::optional<Raster> Pixels;
    std::uint64_t Frame = 0;
  };
  static Key KeyOf(const Shape& S, const QTransform& T);

  std::unordered_map<Key, Entry, Hash> FEntries;
  std::uint64_t FFrame = 0;
  std::int64_t FRasterPixels = 0;
  QSize FSize;
  int FGrid = 0;
  std::vector<Area> FUncached;
};

// Decoded bitmaps by character id: premultiplied ARGB32, or nullptr for an
// id that is no bitmap or does not decode.
using BitmapSource = std::function<const QImage*(CharacterId)>;
// The picture a video shows at a frame, premultiplied ARGB32, or nullptr
// when it shows nothing there.
using VideoSource = std::function<const QImage*(const VideoStream&, std::uint16_t Frame)>;

struct PaintOptions {
  QTransform StageToDevice; // stage twips to target pixels
  double PixelsPerTwip = 0.05;
  bool Antialias = true;
  int Grid = 4;              // anti-aliasing cells per pixel side
  bool SmoothBitmaps = true; // for bitmap fills that ask to be smoothed
};

class PainterBackend : public DrawCommands {
public:
  // Target: ARGB32_Premultiplied, not painted on by anyone else meanwhile.
  PainterBackend(QImage& Target, const PaintOptions& Options, ShapeCache& Shapes, DeviceCache& Devices,
                 BitmapSource Bitmaps);
  ~PainterBackend() override;
  PainterBackend(const PainterBackend&) = delete;
  PainterBackend& operator=(const PainterBackend&) = delete;

  void DrawShape(const ShapeDraw& Draw) override;
  // Drawn only while a QGuiApplication runs: the system's fonts come from
  // its font database.
  void DrawDeviceText(const DeviceTextDraw& Draw) override;
  // Drawn only with a source of pictures (SetVideos).
  void DrawVideo(const VideoDraw& Draw) override;
  void SetVideos(VideoSource Videos) { FVideos = std::move(Videos); }
  void PushMask() override;
  void ActivateMask() override;
  void DeactivateMask() override;
  void PopMask() override;
  void BeginLayer(BlendMode Mode) override;
  void EndLayer() override;

private:
  struct Layer {
    std::unique_ptr<QImage> Image; // null for the target itself
    std::unique_ptr<QPainter> Painter;
    BlendMode Mode = BlendMode::Normal;
    bool Ignored = false;                 // opened inside a mask's own shapes
    std::vector<QRegion> Regions;         // the masks in force on this layer, without anti-aliasing
    std::optional<std::size_t> MaskIndex; // the mask this layer's items are cut by
  };
  struct Mask {
    bool Ignored = false; // nested in another mask's own shapes
    std::size_t LayerIndex = 0;
    QRegion AreaRegion;               // without anti-aliasing: device pixels, while collected
    std::unique_ptr<QImage> Coverage; // with anti-aliasing: the mask's alpha
    QRect Bounds;                     // the pixels Coverage touches
  };

  Layer& Top() { return FLayers.back(); }
  QPainter& Painter() { return *FLayers.back().Painter; }
  void SetUp(QPainter& P);
  void ApplyClip(Layer& L);
  void Paint(const ShapeDraw& Draw);
  void PaintParts(QPainter& P, const ShapeDraw& Draw, const QTransform& T,
                  const std::vector<DeviceCache::Area>& Areas);
  // The device areas of the shape's parts under T (cached).
  const std::vector<DeviceCache::Area>& Areas(const Shape& S, const QTransform& T);
  // Fills an area with Brush on P (whose device is the target, or a raster
  // placed by FBase); without anti-aliasing by its spans.
  void FillArea(QPainter& P, const DeviceCache::Area& Area, const QBrush& Brush);
  // Draws what Draw paints (in target pixels) onto P as far as Area covers.
  void PaintCovered(QPainter& P, const DeviceCache::Area& Area, const std::function<void(QPainter&)>& Draw);
  void SetClip(QPainter& P, const Layer& L);
  void Collect(const ShapeDraw& Draw);
  // The brush of a solid or gradient fill over Area, drawn under T.
  QBrush Brush(const FillStyle& Fill, const ColorTransform& Ct, const QTransform& T,
               const DeviceCache::Area& Area) const;
  void FillBitmap(QPainter& P, const FillStyle& Fill, const DeviceCache::Area& Area,
                  const QTransform& ToDevice, const ColorTransform& Ct);
  const QImage* Bitmap(CharacterId Id, const ColorTransform& Ct);
  void Composite(Layer& Child, Layer& Parent);
  void EndMaskLayer();

  QImage& FTarget;
  QTransform FBase; // target pixels to the painter's device
  PaintOptions FOptions;
  ShapeCache& FShapes;
  DeviceCache& FDevices;
  BitmapSource FBitmaps;
  VideoSource FVideos;
  std::vector<Layer> FLayers;
  std::vector<Mask> FMasks;
  std::optional<std::size_t> FCollecting; // the mask whose shapes come now
  // Colour-transformed copies of bitmaps, for this frame.
  std::vector<std::pair<std::pair<CharacterId, ColorTransform>, QImage>> FTinted;
};

// Blends Layer onto Under pixel by pixel for the modes QPainter lacks
// (Subtract, Invert, Alpha, Erase); both premultiplied ARGB32 of one size.
void BlendPixels(QImage& Under, const QImage& Layer, BlendMode Mode);

} // namespace quenloft::swf::render
