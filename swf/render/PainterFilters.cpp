// PainterBackend's filtered objects: drawn on a layer, then through their
// filters onto what is under them (see PainterBackend.h). The outermost
// filtered object's commands are kept until its end; when the device cache
// holds the pixels of the same commands under the same device state they
// are laid down again, else the commands are carried out and their result
// kept there.
#include "swf/render/PainterBackend.h"

#include "swf/render/FilterPixels.h"
#include "swf/render/FilteredKey.h"

#include <cmath>
#include <cstdint>

namespace quenloft::swf::render {
namespace {

// The player applies no filter whose image would be larger than its
// biggest bitmap: this many pixels per side, and in all.
constexpr int MaxFilteredSide = 8191;
constexpr std::int64_t MaxFilteredPixels = 16'777'215;

// The smallest rectangle holding every pixel of Image that is not
// transparent.
QRect DrawnBounds(const QImage& Image)
{
  int left = Image.width();
  int right = -1;
  int top = -1;
  int bottom = -1;
  for (int y = 0; y < Image.height(); ++y) {
    const auto* row = reinterpret_cast<const QRgb*>(Image.constScanLine(y));
    int first = -1;
    int last = -1;
    for (int x = 0; x < Image.width(); ++x) {
      if (qAlpha(row[x]) != 0) {
        if (first < 0)
          first = x;
        last = x;
      }
    }
    if (first < 0)
      continue;
    if (top < 0)
      top = y;
    bottom = y;
    left = std::min(left, first);
    right = std::max(right, last);
  }
  if (top < 0)
    return {};
  return QRect(QPoint(left, top), QPoint(right, bottom));
}

} // namespace

void PainterBackend::BeginFilters(const FilterList& Filters, const ColorTransform& Color, Point Corner)
{
  if (FRecording) {
    ++FRecordDepth;
    FRecording->BeginFilters(Filters, Color, Corner);
    return;
  }
  if (!FReplaying && !FCollecting && !Top().Ignored) {
    // Kept until its end says whether the cache holds its pixels.
    FRecording = std::make_unique<CommandRecorder>();
    FRecordDepth = 1;
    FRecording->BeginFilters(Filters, Color, Corner);
    return;
  }
  BeginLayer(BlendMode::Normal);
  Layer& l = Top();
  l.Filters = &Filters;
  l.Color = Color;
  l.Shift = FSnap;
  const QPointF corner = (FOptions.StageToDevice * FSnap).map(QPointF(Corner.X, Corner.Y));
  if (std::isfinite(corner.x()) && std::isfinite(corner.y()))
    FSnap *= QTransform::fromTranslate(std::floor(corner.x() + 0.5) - corner.x(),
                                       std::floor(corner.y() + 0.5) - corner.y());
}

void PainterBackend::EndFilters()
{
  if (FRecording) {
    FRecording->EndFilters();
    if (--FRecordDepth == 0)
      FinishRecording();
    return;
  }
  if (FLayers.size() > 1 && Top().Filters) {
    FSnap = Top().Shift;
    FCapturing = FCaptureLayer == FLayers.size() - 1;
  }
  EndLayer();
  FCapturing = false;
}

void PainterBackend::CompositeFiltered(Layer& Child, Layer& Parent)
{
  QRect area = DrawnBounds(*Child.Image);
  if (area.isEmpty())
    return;
  // Blurs and distances follow the stage's scale (twips to pixels at 1:20).
  const double sx = FOptions.StageToDevice.m11() * 20;
  const double sy = FOptions.StageToDevice.m22() * 20;
  std::vector<Filter> filters;
  for (const Filter& f : *Child.Filters) {
    Filter scaled = ScaledFilter(f, sx, sy);
    if (!Potent(scaled))
      continue;
    area = area.marginsAdded(FilterGrowth(scaled));
    filters.push_back(std::move(scaled));
  }
  if (area.width() > MaxFilteredSide || area.height() > MaxFilteredSide ||
      std::int64_t{area.width()} * area.height() > MaxFilteredPixels)
    filters.clear(); // drawn as it is
  // What lies beyond the target is neither drawn nor shown.
  area = area.intersected(Child.Image->rect());
  if (area.isEmpty()) {
    if (FCapturing)
      FCaptured = DeviceCache::Filtered{};
    return;
  }
  QImage pixels = Child.Image->copy(area);
  for (const Filter& f : filters)
    ApplyFilter(pixels, f);
  TransformColors(pixels, Child.Color);
  DeviceCache::Filtered out{std::move(pixels), area.topLeft()};
  LayDown(out, Parent);
  if (FCapturing)
    FCaptured = std::move(out);
}

void PainterBackend::LayDown(const DeviceCache::Filtered& Pixels, Layer& Parent)
{
  if (Pixels.Image.isNull() || !Parent.Painter)
    return;
  QPainter& p = *Parent.Painter;
  p.save();
  p.resetTransform();
  p.drawImage(Pixels.At, Pixels.Image);
  p.restore();
}

std::uint64_t PainterBackend::DeviceKey(const std::vector<CommandRecorder::Command>& Commands)
{
  KeyMixer k;
  const auto mixTransform = [&k](const QTransform& T) {
    for (const double v : {T.m11(), T.m12(), T.m13(), T.m21(), T.m22(), T.m23(), T.m31(), T.m32(), T.m33()})
      k.Number(v);
  };
  mixTransform(FOptions.StageToDevice);
  mixTransform(FSnap);
  mixTransform(FBase);
  k.Number(FOptions.PixelsPerTwip);
  k.Integer((FOptions.Antialias ? 1u : 0u) | (FOptions.SmoothBitmaps ? 2u : 0u) |
            (static_cast<unsigned>(FOptions.SmoothVideos) << 2));
  k.Integer(static_cast<std::uint64_t>(FOptions.Grid));
  k.Integer((static_cast<std::uint64_t>(FTarget.width()) << 32) | static_cast<std::uint32_t>(FTarget.height()));
  // The bitmaps the shapes fill with, as they are now.
  for (const CommandRecorder::Command& c : Commands) {
    if (c.Type != CommandRecorder::Command::Kind::Shape || !c.Draw.Shape || !FBitmaps)
      continue;
    const auto mixFills = [&](const ShapeStyles& Styles) {
      for (const FillStyle& f : Styles.Fills) {
        if (f.Kind != FillKind::Bitmap)
          continue;
        const QImage* image = FBitmaps(f.BitmapId);
        k.Integer(image ? static_cast<std::uint64_t>(image->cacheKey()) : 0);
      }
    };
    mixFills(c.Draw.Shape->Styles);
    for (const ShapeStyles& styles : c.Draw.Shape->NewStyles)
      mixFills(styles);
  }
  return FilteredKey(Commands, k);
}

void PainterBackend::FinishRecording()
{
  const std::unique_ptr<CommandRecorder> recording = std::move(FRecording);
  const std::uint64_t key = DeviceKey(recording->Commands());
  if (const DeviceCache::Filtered* kept = FDevices.FindFiltered(key)) {
    LayDown(*kept, Top());
    return;
  }
  // Drawn now, its result kept for the frames that draw it the same.
  FReplaying = true;
  FCaptureLayer = FLayers.size();
  FCaptured.reset();
  using Kind = CommandRecorder::Command::Kind;
  for (const CommandRecorder::Command& c : recording->Commands()) {
    switch (c.Type) {
    case Kind::Shape: DrawShape(c.Draw); break;
    case Kind::DeviceText: DrawDeviceText(c.Text); break;
    case Kind::Video: DrawVideo(c.Video); break;
    case Kind::PushMask: PushMask(); break;
    case Kind::ActivateMask: ActivateMask(); break;
    case Kind::DeactivateMask: DeactivateMask(); break;
    case Kind::PopMask: PopMask(); break;
    case Kind::BeginLayer: BeginLayer(c.Mode); break;
    case Kind::EndLayer: EndLayer(); break;
    case Kind::BeginFilters: BeginFilters(*c.Filters, c.Draw.Color, c.Corner); break;
    case Kind::EndFilters: EndFilters(); break;
    }
  }
  FReplaying = false;
  FCaptureLayer.reset();
  if (FCaptured)
    FDevices.KeepFiltered(key, std::move(*FCaptured));
  FCaptured.reset();
}

} // namespace quenloft::swf::render
