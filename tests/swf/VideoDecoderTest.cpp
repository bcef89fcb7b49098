// Embedded video: the reader's streams, and decoded pictures checked
// against the ffmpeg program's decoding of the same packets.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <variant>

#include "swf/MovieReader.h"
#include "swf/VideoDecoder.h"
#include "tests/swf/MovieBuilder.h"

namespace quenloft::swf {
namespace {

using namespace test;

std::filesystem::path Fixtures()
{
  const char* env = std::getenv("QUENLOFT_FIXTURES");
  return std::filesystem::path(env && *env ? env : QUENLOFT_SOURCE_DIR "/../shared/fixtures");
}

const VideoStream* StreamOf(const Movie& M, CharacterId Id)
{
  const Character* ch = M.Find(Id);
  return ch ? std::get_if<VideoStream>(ch) : nullptr;
}

// The stream's packets in an FLV file, the container the ffmpeg program
// reads these codecs from: VP6 packets there carry one more byte, the
// picture's crop.
std::string WriteFlv(const VideoStream& S, const std::filesystem::path& To)
{
  std::ofstream out(To, std::ios::binary);
  out.write("FLV\x01\x01\x00\x00\x00\x09\x00\x00\x00\x00", 13);
  std::uint32_t time = 0;
  for (const VideoStream::Packet& p : S.Packets) {
    TBytes data{static_cast<std::uint8_t>(0x10 | S.Codec)};
    if (S.Codec == 4 || S.Codec == 5)
      data.push_back(0);
    data.insert(data.end(), p.Data.begin(), p.Data.end());
    const std::size_t n = data.size();
    const std::uint8_t head[11] = {9, std::uint8_t(n >> 16), std::uint8_t(n >> 8), std::uint8_t(n),
                                   std::uint8_t(time >> 16), std::uint8_t(time >> 8), std::uint8_t(time),
                                   0, 0, 0, 0};
    out.write(reinterpret_cast<const char*>(head), 11);
    out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(n));
    const std::uint32_t size = static_cast<std::uint32_t>(n + 11);
    const char tail[4] = {char(size >> 24), char(size >> 16), char(size >> 8), char(size)};
    out.write(tail, 4);
    time += 40;
  }
  return To.string();
}

TEST(VideoDecoder, PicturesEqualTheFfmpegProgramsDecoding)
{
  struct Case {
    const char* Folder;
    CharacterId Stream;
  };
  const Case cases[] = {
      {"visual__video__colorconversion__h263", 0}, // Sorenson H.263, 640 x 480
      {"visual__video__colorconversion__vp6", 0},  // VP6
      {"visual__video__deblocking", 1},            // H.263 at a custom size
      {"visual__video__deblocking", 9},
  };
  if (std::system("ffmpeg -version > /dev/null 2>&1") != 0)
    GTEST_SKIP() << "no ffmpeg program";
  const auto dir = Fixtures() / "ruffle-features";
  if (!std::filesystem::is_directory(dir))
    GTEST_SKIP() << "fixtures absent";
  const auto temp = std::filesystem::temp_directory_path() / ("quenloft-video-" + std::to_string(::getpid()));
  std::filesystem::create_directories(temp);
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.Folder) + " stream " + std::to_string(c.Stream));
    const auto movie = ReadMovieFile((dir / c.Folder / "test.swf").string());
    const VideoStream* s = StreamOf(*movie, c.Stream);
    ASSERT_TRUE(s && !s->Packets.empty());
    const std::string flv = WriteFlv(*s, temp / "in.flv");
    const std::string raw = (temp / "out.raw").string();
    // The decoder's own colour conversion, asked of the program by name.
    const std::string command = "ffmpeg -loglevel error -y -i " + flv +
                                " -sws_flags bilinear+accurate_rnd+full_chroma_int+full_chroma_inp+bitexact"
                                " -f rawvideo -pix_fmt bgra " +
                                raw;
    ASSERT_EQ(std::system(command.c_str()), 0);
    std::ifstream in(raw, std::ios::binary);
    const std::vector<char> expected((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());

    VideoDecoder decoder(*s);
    const VideoPicture* p = decoder.Picture(s->Packets.back().Frame);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->Width, s->Width);
    EXPECT_EQ(p->Height, s->Height);
    // ffmpeg wrote every frame; the last one is the picture.
    const std::size_t bytes = p->Pixels.size() * 4;
    ASSERT_GE(expected.size(), bytes);
    EXPECT_EQ(std::memcmp(p->Pixels.data(), expected.data() + expected.size() - bytes, bytes), 0);
  }
  std::filesystem::remove_all(temp);
}

// A movie of one stream of the given codec and size with these packets.
std::shared_ptr<Movie> VideoMovie(std::uint8_t Codec, std::uint16_t W, std::uint16_t H,
                                  const std::vector<std::pair<std::uint16_t, TBytes>>& Packets)
{
  TBytes tags = Tag(60, TBitWriter().U16(7).U16(10).U16(W).U16(H).U8(0x03).U8(Codec).Out);
  for (const auto& [frame, data] : Packets)
    tags = Join({tags, Tag(61, TBitWriter().U16(7).U16(frame).Raw(data).Out, true)});
  return ReadMovie(MovieFile(Join({tags, ShowFrame(), End()})));
}

TEST(VideoDecoder, ReaderKeepsTheStreamAndItsPacketsByFrame)
{
  const auto m = VideoMovie(4, 320, 240, {{2, {0xBB}}, {0, {0xAA}}, {2, {0xCC}}});
  const VideoStream* s = StreamOf(*m, 7);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->FrameCount, 10);
  EXPECT_EQ(s->Width, 320);
  EXPECT_EQ(s->Height, 240);
  EXPECT_EQ(s->Deblocking, 1);
  EXPECT_TRUE(s->Smoothing);
  ASSERT_EQ(s->Packets.size(), 2u); // sorted; the second packet for frame 2 is dropped
  EXPECT_EQ(s->Packets[0].Data, TBytes{0xAA});
  EXPECT_EQ(s->Packets[1].Data, TBytes{0xBB});
}

TEST(VideoDecoder, ShowsNothingForWhatCannotBeShown)
{
  const auto dir = Fixtures() / "ruffle-features" / "visual__video__colorconversion__vp6";
  if (!std::filesystem::is_directory(dir))
    GTEST_SKIP() << "fixtures absent";
  const auto source = ReadMovieFile((dir / "test.swf").string());
  const TBytes key = StreamOf(*source, 0)->Packets.at(0).Data;
  TBytes inter = key;
  inter[0] |= 0x80; // the same data marked as an inter frame
  struct Case {
    const char* Name;
    std::uint8_t Codec;
    std::uint16_t Width, Height;
    std::vector<std::pair<std::uint16_t, TBytes>> Packets;
    std::uint32_t Frame;
    bool Shown;
  };
  const Case cases[] = {
      {"the key frame", 4, 640, 480, {{0, key}}, 0, true},
      {"a later frame shows the last packet", 4, 640, 480, {{0, key}}, 5, true},
      {"before the first packet", 4, 640, 480, {{3, key}}, 2, false},
      {"no key frame before it", 4, 640, 480, {{0, inter}, {1, key}}, 0, false},
      {"a picture larger than its stream", 4, 320, 240, {{0, key}}, 0, false},
      {"an unknown codec", 9, 640, 480, {{0, key}}, 0, false},
      {"damaged data", 2, 640, 480, {{0, TBytes(64, 0xFF)}}, 0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    const auto m = VideoMovie(c.Codec, c.Width, c.Height, c.Packets);
    VideoDecoder decoder(*StreamOf(*m, 7));
    EXPECT_EQ(decoder.Picture(c.Frame) != nullptr, c.Shown);
  }
}

TEST(VideoDecoder, SeekingBackDecodesFromTheKeyFrameAgain)
{
  const auto dir = Fixtures() / "ruffle-features" / "visual__video__colorconversion__h263";
  if (!std::filesystem::is_directory(dir))
    GTEST_SKIP() << "fixtures absent";
  const auto source = ReadMovieFile((dir / "test.swf").string());
  const TBytes key = StreamOf(*source, 0)->Packets.at(0).Data;
  const auto m = VideoMovie(2, 640, 480, {{0, key}, {4, key}});
  VideoDecoder decoder(*StreamOf(*m, 7));
  const VideoPicture* first = decoder.Picture(4);
  ASSERT_NE(first, nullptr);
  const std::vector<std::uint32_t> pixels = first->Pixels;
  ASSERT_NE(decoder.Picture(0), nullptr);
  const VideoPicture* again = decoder.Picture(6);
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(again->Pixels, pixels);
}

} // namespace
} // namespace quenloft::swf
