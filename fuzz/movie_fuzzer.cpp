// Fuzzes the movie reader and the timeline with arbitrary file contents:
// every input must end in a movie or in EMovieError, and a movie must play
// through its frames, seek back and forth, decode its bitmaps and morph
// shapes and mix its sounds without crashing, in bounded time and memory.
#include <cstddef>
#include <cstdint>
#include <span>

#include "swf/BitmapDecoder.h"
#include "swf/MovieReader.h"
#include "swf/Timeline.h"
#include "swf/sound/Soundtrack.h"

namespace {

// Fuzz inputs are small; a body this large is already a bomb.
constexpr std::size_t MaxBody = 64u << 20;
constexpr std::uint32_t MaxTicks = 64;
// Sound is mixed for this long at most: decoding costs time, not memory.
constexpr double MaxSoundSeconds = 0.25;

void Listen(const std::shared_ptr<quenloft::swf::Movie>& M)
{
  using namespace quenloft::swf;
  if (!TMovieSound::HasSound(*M))
    return;
  TSoundtrack track(M, SoundtrackLimit{std::nullopt, MaxSoundSeconds});
  for (const auto& [id, s] : M->Sounds) {
    SoundInfo info;
    info.Loops = 3;
    info.InPoint = 10;
    track.Sound().Mixer().Start(id, info);
  }
  std::vector<std::int16_t> block(2 * 4096);
  std::size_t total = 0;
  while (const std::size_t n = track.Next(block.data(), 4096)) {
    total += n;
    if (total > MaxSoundSeconds * TSoundMixer::Rate + 1)
      __builtin_trap();
  }
}

void Walk(const std::shared_ptr<quenloft::swf::Movie>& M)
{
  using namespace quenloft::swf;
  Timeline t(M);
  const std::uint32_t ticks = std::min(t.TotalFrames() + 2, MaxTicks);
  for (std::uint32_t i = 0; i < ticks; ++i) {
    t.Advance();
    // The renderer draws t.List() here once it joins the fuzz target.
  }
  t.GotoFrame(t.TotalFrames());
  t.GotoFrame(0);
  t.GotoFrame(t.TotalFrames() / 2);
  for (const auto& [id, c] : M->Dictionary) {
    if (const auto* b = std::get_if<Bitmap>(&c)) {
      try {
        const DecodedBitmap d = DecodeBitmap(*M, *b);
        if (!d.Pixels.empty() && d.Pixels.size() != static_cast<std::size_t>(d.Width) * d.Height)
          __builtin_trap();
      } catch (const EBitmapError&) {
      }
    } else if (const auto* m = std::get_if<MorphShape>(&c)) {
      for (const std::uint16_t ratio : {0, 32768, 65535})
        if (m->At(ratio).Records.size() != m->StartRecords.size())
          __builtin_trap();
    }
  }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size)
{
  std::shared_ptr<quenloft::swf::Movie> movie;
  try {
    movie = quenloft::swf::ReadMovie(std::span(Data, Size), MaxBody);
  } catch (const quenloft::swf::EMovieError&) {
    return 0;
  }
  Walk(movie);
  Listen(movie);
  return 0;
}
