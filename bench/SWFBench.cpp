// The header reader must cost the same for a 1 KiB movie and a 1 GiB one:
// only the first 8 bytes and the start of the zlib stream are ever read.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <random>
#include <string>

#include <fcntl.h>
#include <unistd.h>

#include "swf/SWFStreams.h"
#include "tests/support/TempDir.h"

namespace quenloft {
namespace {

// A compressed movie of TotalSize bytes: a valid header, a zlib stream of
// the header rest and some tag bytes, then junk up to the size (written for
// the first MiB, a hole in the file after that).
std::string MakeMovie(const testing::TempDir& Dir, const std::string& Name, std::int64_t TotalSize)
{
  // Nbits 15, 0..11000 x 0..8000 twips, 24.0 frames per second, 1 frame.
  std::string body("\x78\x00\x05\x5F\x00\x00\x0F\xA0\x00\x00\x18\x01\x00", 13);
  body += std::string(200, '\x3F');
  uLongf size = compressBound(static_cast<uLong>(body.size()));
  std::string packed(size, '\0');
  compress(reinterpret_cast<Bytef*>(packed.data()), &size, reinterpret_cast<const Bytef*>(body.data()),
           static_cast<uLong>(body.size()));
  packed.resize(size);
  std::string movie = std::string("CWS\x0A", 4) + std::string("\xFF\xFF\xFF\x7F", 4) + packed;
  std::mt19937 random(1);
  const auto junk = static_cast<std::size_t>(std::min<std::int64_t>(TotalSize, 1 << 20)) - movie.size();
  for (std::size_t i = 0; i < junk; ++i)
    movie += static_cast<char>(random());
  const std::string file = Dir.WriteFile(Name, movie);
  const int fd = ::open(file.c_str(), O_WRONLY);
  if (fd >= 0) {
    if (::ftruncate(fd, TotalSize) != 0)
      std::abort();
    ::close(fd);
  }
  return file;
}

const testing::TempDir& Folder()
{
  static const auto dir = std::make_unique<testing::TempDir>();
  return *dir;
}

void ReadInfo(benchmark::State& State, const std::string& File)
{
  for (auto _ : State) {
    int w = 0, h = 0, n = 0;
    GetSWFInfo(File, w, h, n);
    benchmark::DoNotOptimize(w + h + n);
    if (w != 550 || h != 400 || n != 1)
      State.SkipWithError("wrong header");
  }
}

void BM_GetSWFInfo_1KiB(benchmark::State& State)
{
  static const std::string file = MakeMovie(Folder(), "small.swf", 1024);
  ReadInfo(State, file);
}
BENCHMARK(BM_GetSWFInfo_1KiB);

void BM_GetSWFInfo_1GiB(benchmark::State& State)
{
  static const std::string file = MakeMovie(Folder(), "large.swf", std::int64_t{1} << 30);
  ReadInfo(State, file);
}
BENCHMARK(BM_GetSWFInfo_1GiB);

} // namespace
} // namespace quenloft
