// Filters over a whole 550 x 400 stage (goal for a blur of quality 3:
// under 4 ms) and the filters a shadow or glow adds to it.
#include <benchmark/benchmark.h>

#include <QImage>

#include "swf/render/FilterPixels.h"

namespace quenloft::swf::render {
namespace {

// The stage filled with a pattern of opaque and see-through stripes, so
// every pass has edges to blur.
QImage Stage()
{
  QImage image(550, 400, QImage::Format_ARGB32_Premultiplied);
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      image.setPixel(x, y, (x / 7 + y / 11) % 2 ? qRgb(x % 256, y % 256, 90) : 0);
  return image;
}

void StageFilter(benchmark::State& State, Filter::Kind Kind)
{
  const QImage stage = Stage();
  Filter f;
  f.Type = Kind;
  f.BlurX = f.BlurY = 8;
  f.Passes = 3;
  f.Distance = 4;
  for (auto _ : State) {
    QImage image = stage;
    ApplyFilter(image, f);
    benchmark::DoNotOptimize(image.constBits());
  }
}

BENCHMARK_CAPTURE(StageFilter, blur_quality3_550x400, Filter::Kind::Blur)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(StageFilter, dropshadow_quality3_550x400, Filter::Kind::DropShadow)
    ->Unit(benchmark::kMillisecond);

} // namespace
} // namespace quenloft::swf::render
