// Embedded video: the reader's streams, and decoded pictures checked
// against the ffmpeg program's decoding of the same packets.
#include <gtest/gtest.h>

#include <algorithm>
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
    // The codec's own planes; for H.263 with the inverse transform the
    // decoder picks.
    const std::string command = "ffmpeg -loglevel error -y" + std::string(s->Codec == 2 ? " -idct faani" : "") +
                                " -i " + flv + " -f rawvideo -pix_fmt yuv420p " + raw;
    ASSERT_EQ(std::system(command.c_str()), 0);
    std::ifstream in(raw, std::ios::binary);
    const std::vector<char> expected((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());

    VideoDecoder decoder(*s);
    const VideoPicture* p = decoder.Picture(s->Packets.back().Frame);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->Width, s->Width);
    EXPECT_EQ(p->Height, s->Height);
    const VideoPlanes* planes = decoder.CodecPlanes();
    ASSERT_NE(planes, nullptr);
    std::vector<char> ours;
    for (const auto* plane : {&planes->Y, &planes->U, &planes->V})
      ours.insert(ours.end(), plane->begin(), plane->end());
    // ffmpeg wrote every frame; the last one is the picture.
    ASSERT_GE(expected.size(), ours.size());
    EXPECT_TRUE(std::equal(ours.begin(), ours.end(), expected.end() - static_cast<std::ptrdiff_t>(ours.size())));
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
      {"a VP6 picture is cut to its stream", 4, 320, 240, {{0, key}}, 0, true},
      {"a VP6 picture far larger than its stream", 4, 160, 120, {{0, key}}, 0, false},
      {"an empty VP6 packet repeats the picture", 4, 640, 480, {{0, key}, {1, {}}}, 1, true},
      {"an empty VP6 packet first", 4, 640, 480, {{0, {}}}, 0, false},
      {"an unknown codec", 9, 640, 480, {{0, key}}, 0, false},
      {"damaged data", 2, 640, 480, {{0, TBytes(64, 0xFF)}}, 0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    const auto m = VideoMovie(c.Codec, c.Width, c.Height, c.Packets);
    VideoDecoder decoder(*StreamOf(*m, 7));
    const VideoPicture* p = decoder.Picture(c.Frame);
    ASSERT_EQ(p != nullptr, c.Shown);
    if (p) {
      EXPECT_EQ(p->Width, c.Width);
      EXPECT_EQ(p->Height, c.Height);
    }
  }
}

TEST(VideoDecoder, SorensonPicturesAreDeblockedWhenStreamOrPacketAsks)
{
  const auto dir = Fixtures() / "ruffle-features" / "visual__video__deblocking";
  if (!std::filesystem::is_directory(dir))
    GTEST_SKIP() << "fixtures absent";
  // Stream 4: a 248 x 248 picture of quantizer 31 whose header asks for
  // deblocking (bit 3 of its seventh byte).
  const auto source = ReadMovieFile((dir / "test.swf").string());
  const TBytes packet = StreamOf(*source, 4)->Packets.at(0).Data;
  const auto header = SorensonPicture(packet);
  ASSERT_TRUE(header);
  EXPECT_TRUE(header->Deblocking);
  EXPECT_EQ(header->Quantizer, 31);
  TBytes unflagged = packet;
  unflagged[6] &= static_cast<std::uint8_t>(~0x10);
  ASSERT_FALSE(SorensonPicture(unflagged)->Deblocking);
  EXPECT_FALSE(SorensonPicture(TBytes{0, 0, 0x84}));
  const auto pixels = [](const TBytes& Data, int Deblocking) {
    const TBytes define =
        TBitWriter().U16(7).U16(1).U16(248).U16(248).U8(static_cast<std::uint8_t>(Deblocking << 1)).U8(2).Out;
    const auto m = ReadMovie(
        MovieFile(Join({Tag(60, define), Tag(61, TBitWriter().U16(7).U16(0).Raw(Data).Out, true), ShowFrame(), End()})));
    VideoDecoder decoder(*StreamOf(*m, 7));
    const VideoPicture* p = decoder.Picture(0);
    return p ? p->Pixels : std::vector<std::uint32_t>{};
  };
  const auto plain = pixels(packet, 1); // off
  ASSERT_FALSE(plain.empty());
  struct Case {
    const char* Name;
    bool Flagged;
    int Deblocking;
    bool Smoothed;
  };
  const Case cases[] = {
      {"the packet asks", true, 0, true},
      {"the packet does not ask", false, 0, false},
      {"the stream turns it off", true, 1, false},
      {"the stream asks", false, 2, true},
      {"an On2 level", true, 4, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    const auto p = pixels(c.Flagged ? packet : unflagged, c.Deblocking);
    ASSERT_EQ(p.size(), plain.size());
    EXPECT_EQ(p != plain, c.Smoothed);
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
