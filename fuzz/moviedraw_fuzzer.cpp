// Fuzzes the renderer behind the movie reader and the timeline: whatever a
// file claims (stages of any size, styles indexed out of range, nested or
// self-placing sprites, masks and blend layers without end, bitmaps that
// lie, filters of the largest blur, quality and convolution, colour
// matrices of NaNs, video packets that are damaged, larger than their
// stream, of an unknown codec, inter frames before any key frame, VP6
// pictures cut to their stream, empty VP6 packets and VP6 alpha), drawing a
// few frames at a small size must finish in bounded time and memory without
// crashing. Runs over the movie reader's corpus.
#include <cstddef>
#include <cstdint>
#include <span>

#include "swf/MovieReader.h"
#include "swf/Timeline.h"
#include "swf/render/Renderer.h"

namespace {

// Fuzz inputs are small; a body this large is already a bomb.
constexpr std::size_t MaxBody = 64u << 20;
constexpr int Frames = 3;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size)
{
  using namespace quenloft::swf;
  std::shared_ptr<Movie> movie;
  try {
    movie = ReadMovie(std::span(Data, Size), MaxBody);
  } catch (const EMovieError&) {
    return 0;
  }
  Timeline timeline(movie);
  render::Renderer renderer(movie);
  // Small frames keep each run short; the stage's own size is only
  // checked, never allocated.
  const QSize stage = renderer.StageSize();
  if (stage.width() <= 0 || stage.height() <= 0)
    __builtin_trap();
  for (int i = 0; i < Frames; ++i) {
    const QImage frame = renderer.RenderFrame(timeline.List(), QSize(48, 36),
                                              i % 2 ? render::Quality::High : render::Quality::Low);
    if (frame.size() != QSize(48, 36))
      __builtin_trap();
    timeline.Advance();
  }
  return 0;
}
