#include "convert/GIFEncoder.h"

#include "convert/GIFFile.h"

#include <libimagequant.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <optional>

namespace quenloft::convert {
namespace {

using Clock = std::chrono::steady_clock;

double Since(Clock::time_point Start)
{
  return std::chrono::duration<double>(Clock::now() - Start).count();
}

// 255 colours at most: the last slot of every table is the transparent
// "unchanged" index.
constexpr int MaxColours = 255;

// libimagequant's mean square error below which a mapping counts as
// excellent, whatever the survey managed.
constexpr double ExcellentError = 4.0;

TGIFColours ColoursOf(liq_result* Result)
{
  const liq_palette* p = liq_get_palette(Result);
  TGIFColours colours;
  for (unsigned i = 0; i < p->count; ++i)
    colours.push_back(std::uint32_t{p->entries[i].r} << 16 | std::uint32_t{p->entries[i].g} << 8 | p->entries[i].b);
  return colours;
}

} // namespace

struct TGIFEncoder::State {
  std::string Path;
  TPlan Plan;
  float Dither = 0;
  liq_attr* Attr = nullptr;
  liq_histogram* Histogram = nullptr;
  liq_result* Global = nullptr;
  TGIFColours GlobalColours; // as written in the header, without the transparent slot
  double GoodEnough = ExcellentError;
  std::optional<TGIFFile> File;
  std::vector<std::uint8_t> Indices, LocalIndices, Out;
  std::vector<std::uint32_t> Canvas; // what a viewer shows now, 0xRRGGBB
  QImage Previous;                   // the previous picture, RGBA
  std::uint64_t Count = 0;

  ~State()
  {
    if (Global)
      liq_result_destroy(Global);
    if (Histogram)
      liq_histogram_destroy(Histogram);
    if (Attr)
      liq_attr_destroy(Attr);
  }
};

TGIFEncoder::TGIFEncoder(const std::string& Path, const TPlan& Plan, Quality Level) : F(std::make_unique<State>())
{
  F->Path = Path;
  F->Plan = Plan;
  F->Attr = liq_attr_create();
  F->Histogram = liq_histogram_create(F->Attr);
  if (!F->Attr || !F->Histogram)
    throw EConvertError("out of memory");
  liq_set_max_colors(F->Attr, MaxColours);
  static constexpr int speeds[] = {10, 8, 6, 3};
  liq_set_speed(F->Attr, speeds[static_cast<int>(Level)]);
  // Flat vector art keeps its clean edges (and compresses far better)
  // without dithering; the best level dithers its gradients.
  F->Dither = Level == Quality::Best ? 1.0f : 0.0f;
  const std::size_t pixels = static_cast<std::size_t>(Plan.Width) * Plan.Height;
  F->Indices.resize(pixels);
  F->LocalIndices.resize(pixels);
  F->Out.resize(pixels);
  F->Canvas.assign(pixels, 0xFFFFFFFF); // no colour: the first picture differs everywhere
}

TGIFEncoder::~TGIFEncoder() = default;

void TGIFEncoder::Sample(const QImage& Frame)
{
  const auto start = Clock::now();
  const QImage rgba = Frame.convertToFormat(QImage::Format_RGBA8888);
  liq_image* image = liq_image_create_rgba(F->Attr, rgba.constBits(), rgba.width(), rgba.height(), 0);
  if (!image)
    throw EConvertError("out of memory");
  const liq_error added = liq_histogram_add_image(F->Histogram, F->Attr, image);
  liq_image_destroy(image);
  if (added != LIQ_OK)
    throw EConvertError("the palette survey failed");
  Spent.Colour += Since(start);
}

void TGIFEncoder::Start(bool Loops)
{
  const auto start = Clock::now();
  if (liq_histogram_quantize(F->Histogram, F->Attr, &F->Global) != LIQ_OK)
    throw EConvertError("no palette could be made for the movie");
  liq_set_dithering_level(F->Global, F->Dither);
  F->GlobalColours = ColoursOf(F->Global);
  const double surveyed = liq_get_quantization_error(F->Global);
  F->GoodEnough = std::max(ExcellentError, surveyed * 1.5);
  Spent.Colour += Since(start);
  TGIFColours header = F->GlobalColours;
  header.push_back(0); // the transparent slot
  F->File.emplace(F->Path, F->Plan.Width, F->Plan.Height, header, Loops);
}

void TGIFEncoder::Picture(const QImage& Frame)
{
  auto start = Clock::now();
  const int w = F->Plan.Width, h = F->Plan.Height;
  QImage rgba = Frame.convertToFormat(QImage::Format_RGBA8888);
  // The rectangle of the picture that changed since the previous one: only
  // it is mapped to a palette (a pixel maps to the same index every time).
  int x0 = w, y0 = h, x1 = -1, y1 = -1;
  if (F->Previous.isNull()) {
    x0 = y0 = 0;
    x1 = w - 1;
    y1 = h - 1;
  } else {
    for (int y = 0; y < h; ++y) {
      const auto* now = reinterpret_cast<const std::uint32_t*>(rgba.constScanLine(y));
      const auto* was = reinterpret_cast<const std::uint32_t*>(F->Previous.constScanLine(y));
      if (std::equal(now, now + w, was))
        continue;
      y0 = std::min(y0, y);
      y1 = y;
      int left = 0, right = w - 1;
      while (now[left] == was[left])
        ++left;
      while (now[right] == was[right])
        --right;
      x0 = std::min(x0, left);
      x1 = std::max(x1, right);
    }
  }
  TGIFColours colours = F->GlobalColours;
  bool local = false;
  int rw = 1, rh = 1;
  if (x1 < 0) {
    // Nothing changed: one transparent pixel carries the delay.
    x0 = y0 = 0;
  } else {
    rw = x1 - x0 + 1;
    rh = y1 - y0 + 1;
    std::vector<void*> rows(static_cast<std::size_t>(rh));
    for (int y = 0; y < rh; ++y)
      rows[static_cast<std::size_t>(y)] = rgba.scanLine(y0 + y) + 4 * x0;
    liq_image* image = liq_image_create_rgba_rows(F->Attr, rows.data(), rw, rh, 0);
    if (!image)
      throw EConvertError("out of memory");
    const std::size_t pixels = static_cast<std::size_t>(rw) * rh;
    liq_write_remapped_image(F->Global, image, F->Indices.data(), pixels);
    const double globalError = liq_get_remapping_error(F->Global);
    colours = ColoursOf(F->Global);
    local = colours != F->GlobalColours; // the mapping retuned the table
    if (globalError > F->GoodEnough) {
      liq_result* own = nullptr;
      if (liq_image_quantize(image, F->Attr, &own) == LIQ_OK) {
        liq_set_dithering_level(own, F->Dither);
        liq_write_remapped_image(own, image, F->LocalIndices.data(), pixels);
        // Its own palette must look clearly better to pay for its bytes.
        if (liq_get_remapping_error(own) * 1.5 < globalError) {
          colours = ColoursOf(own);
          F->Indices.swap(F->LocalIndices);
          local = true;
        }
        liq_result_destroy(own);
      }
    }
    liq_image_destroy(image);
  }
  F->Previous = std::move(rgba);
  Spent.Colour += Since(start);

  start = Clock::now();
  // Inside the rectangle, what the viewer already shows stays transparent.
  const int transparent = static_cast<int>(colours.size());
  for (int y = 0; y < rh; ++y) {
    std::uint32_t* shown = F->Canvas.data() + static_cast<std::size_t>(y0 + y) * w + x0;
    const std::uint8_t* idx = F->Indices.data() + static_cast<std::size_t>(y) * rw;
    std::uint8_t* out = F->Out.data() + static_cast<std::size_t>(y) * rw;
    for (int x = 0; x < rw; ++x) {
      const std::uint32_t c = x1 < 0 ? shown[x] : colours[idx[x]];
      if (shown[x] == c) {
        out[x] = static_cast<std::uint8_t>(transparent);
      } else {
        out[x] = idx[x];
        shown[x] = c;
      }
    }
  }
  colours.push_back(0);
  // Delays from the frame's place in time, so 24 frames a second alternate
  // 4 and 5 hundredths instead of running fast.
  const double fps = F->Plan.Fps;
  const auto at = [fps](std::uint64_t I) { return std::llround(static_cast<double>(I) * 100.0 / fps); };
  TGIFFile::TImage img;
  img.X = x0;
  img.Y = y0;
  img.Width = rw;
  img.Height = rh;
  img.Pixels = F->Out.data();
  img.Stride = static_cast<std::size_t>(rw);
  img.Local = local ? &colours : nullptr;
  img.Transparent = transparent;
  img.DelayCs = static_cast<int>(at(F->Count + 1) - at(F->Count));
  F->File->Add(img);
  ++F->Count;
  FLocalCount += local;
  Spent.Encode += Since(start);
}

void TGIFEncoder::Finish()
{
  const auto start = Clock::now();
  F->File->Close();
  Spent.Encode += Since(start);
}

} // namespace quenloft::convert
