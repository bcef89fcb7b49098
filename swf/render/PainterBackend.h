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
// player does. A filtered object is drawn on a layer of its own too; its
// pixels then go through the filters (FilterPixels.h) with the blur sizes
// scaled by the stage's scale alone.
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
#include <vector>

#include "swf/render/AliasedSpans.h"
#include "swf/render/DeviceCache.h"
#include "swf/render/DrawCommands.h"
#include "swf/render/TintCache.h"

namespace quenloft::swf::render {

class ShapeCache;

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
  // Videos: never smoothed at low quality; from version 8 on as the
  // stream's flag says; before it by quality (medium: never, high: a
  // stream of one picture, best: always).
  enum class VideoSmoothing : std::uint8_t { Never, ByFlag, SinglePicture, Always };
  VideoSmoothing SmoothVideos = VideoSmoothing::ByFlag;
  // When not empty, only these pixels of the target need be right: shapes
  // wholly outside are skipped and the rest is drawn clipped to them, so
  // the other pixels may hold anything afterwards.
  QRegion Only;
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
  // Where colour-transformed bitmaps are kept between frames; without it
  // they are kept for this frame only.
  void SetTints(TintCache& Tints) { FTints = &Tints; }
  void PushMask() override;
  void ActivateMask() override;
  void DeactivateMask() override;
  void PopMask() override;
  void BeginLayer(BlendMode Mode) override;
  void EndLayer() override;
  // The object is drawn moved so that Corner falls on a whole pixel, as
  // the player draws its bitmap.
  void BeginFilters(const FilterList& Filters, const ColorTransform& Color, Point Corner) override;
  void EndFilters() override;

private:
  struct Layer {
    std::unique_ptr<QImage> Image; // null for the target itself
    std::unique_ptr<QPainter> Painter;
    BlendMode Mode = BlendMode::Normal;
    bool Ignored = false;                 // opened inside a mask's own shapes
    std::vector<QRegion> Regions;         // the masks in force on this layer, without anti-aliasing
    std::optional<std::size_t> MaskIndex; // the mask this layer's items are cut by
    const FilterList* Filters = nullptr;  // what the layer's pixels go through
    ColorTransform Color;                 // applied after the filters
    QTransform Shift;                     // the layer's snap, undone when it ends
    QRect Used;                           // the pixels drawn on so far (layers only)
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
  // Draw's paint, onto a transparent tile of Box (target pixels) with
  // colours added up, then laid over P.
  void PaintAdded(QPainter& P, const QRect& Box, const std::function<void(QPainter&)>& Draw);
  // The pixels the coverage of Areas[First, Last) touches.
  static QRect CoveredBox(const std::vector<DeviceCache::Area>& Areas, std::size_t First, std::size_t Last);
  void SetClip(QPainter& P, const Layer& L);
  // False for a shape whose areas fall wholly outside the pixels drawn now.
  bool Needed(const std::vector<DeviceCache::Area>& Areas) const;
  // The pixels the areas can touch.
  static QRect Bounds(const std::vector<DeviceCache::Area>& Areas);
  // Notes that the top layer has been drawn on within R.
  void Touch(const QRect& R);
  void Collect(const ShapeDraw& Draw);
  // The brush of a solid or gradient fill over Area, drawn under T.
  QBrush Brush(const FillStyle& Fill, const ColorTransform& Ct, const QTransform& T,
               const DeviceCache::Area& Area) const;
  void FillBitmap(QPainter& P, const FillStyle& Fill, const DeviceCache::Area& Area,
                  const QTransform& ToDevice, const ColorTransform& Ct);
  // A smoothed bitmap fill, sampled pixel by pixel over the area.
  void FillSmoothBitmap(QPainter& P, const FillStyle& Fill, const DeviceCache::Area& Area,
                        const QTransform& BitmapToDevice, const ColorTransform& Ct);
  const QImage* Bitmap(CharacterId Id, const ColorTransform& Ct);
  void Composite(Layer& Child, Layer& Parent);
  // Child's pixels through its filters and colour transform onto Parent.
  void CompositeFiltered(Layer& Child, Layer& Parent);
  // Lays a filtered object's finished pixels onto Parent.
  void LayDown(const DeviceCache::Filtered& Pixels, Layer& Parent);
  // The outermost filtered object's commands are all in: its pixels come
  // from the cache, or its commands are carried out and the result kept.
  void FinishRecording();
  std::uint64_t DeviceKey(const std::vector<CommandRecorder::Command>& Commands);
  void EndMaskLayer();

  QImage& FTarget;
  QTransform FBase; // target pixels to the painter's device
  QTransform FSnap; // moves the filtered objects drawn now to whole pixels
  PaintOptions FOptions;
  ShapeCache& FShapes;
  DeviceCache& FDevices;
  BitmapSource FBitmaps;
  VideoSource FVideos;
  std::vector<Layer> FLayers;
  std::vector<Mask> FMasks;
  std::optional<std::size_t> FCollecting; // the mask whose shapes come now
  // A filtered object's commands are kept until its end (FinishRecording),
  // nested filters counted in FRecordDepth.
  std::unique_ptr<CommandRecorder> FRecording;
  int FRecordDepth = 0;
  bool FReplaying = false;
  std::optional<std::size_t> FCaptureLayer; // the layer whose result goes to the cache
  bool FCapturing = false;                  // the next CompositeFiltered is that layer's
  std::optional<DeviceCache::Filtered> FCaptured;
  // The tile PaintAdded adds colours on, and the target pixel of its top
  // left: plain colours are added onto it directly.
  QImage* FAdding = nullptr;
  QPoint FAddingAt;
  TintCache FFrameTints;
  TintCache* FTints = &FFrameTints;
};

} // namespace quenloft::swf::render
