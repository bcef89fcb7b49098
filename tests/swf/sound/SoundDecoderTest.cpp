// Every coding through our containers and libavcodec equals ffmpeg's own
// decoding of the same movie, sample for sample.
#include <gtest/gtest.h>

#include <functional>

#include "swf/MovieReader.h"
#include "swf/sound/SoundDecoder.h"
#include "tests/swf/sound/SoundBuilder.h"

namespace quenloft::swf::test {
namespace {

TBytes Pcm16(std::size_t Frames, int Channels)
{
  TBitWriter w;
  for (std::size_t i = 0; i < Frames * static_cast<std::size_t>(Channels); ++i)
    w.U16(static_cast<std::uint16_t>(static_cast<std::int16_t>((i * 7919) % 60000 - 30000)));
  return w.Out;
}

TBytes Pcm8(std::size_t Frames)
{
  TBytes b;
  for (std::size_t i = 0; i < Frames; ++i)
    b.push_back(static_cast<std::uint8_t>(i * 37));
  return b;
}

// The ADPCM blocks of several encoder packets as one sound: one code-size
// header, then each packet's blocks without theirs.
TBytes JoinAdpcm(const std::vector<TBytes>& Packets, std::size_t BlockBits)
{
  TBitWriter w;
  w.Bits(Packets.at(0)[0] >> 6, 2);
  for (const TBytes& p : Packets)
    for (std::size_t bit = 2; bit < 2 + BlockBits && bit < p.size() * 8; ++bit)
      w.Bits((p[bit / 8] >> (7 - bit % 8)) & 1u, 1);
  return w.Align().Out;
}

// Blocks cut at Cuts bytes of Data, one a frame.
TBytes Mp3Stream(const TBytes& Data, std::size_t Cut)
{
  TBytes tags = StreamHead(FormatByte(2, 2, true, false), 576, 0);
  for (std::size_t p = 0; p < Data.size(); p += Cut)
    tags = Join({tags, StreamBlock(TBytes(Data.begin() + static_cast<std::ptrdiff_t>(p),
                                          Data.begin() + static_cast<std::ptrdiff_t>(std::min(p + Cut, Data.size()))),
                                   576, 0),
                 ShowFrame()});
  return tags;
}

struct TCase {
  const char* Name;
  std::function<TBytes()> Tags; // empty when the data could not be made
};

std::vector<std::int16_t> OurDecode(const Movie& M)
{
  std::vector<std::int16_t> out;
  std::unique_ptr<TSoundDecoder> d;
  if (!M.Sounds.empty()) {
    const Sound& s = M.Sounds.begin()->second;
    d = std::make_unique<TSoundDecoder>(s.Format, 0, false);
    d->Feed(s.Data);
    if (s.SeekSamples > 0)
      d->SkipSourceSamples(static_cast<std::uint32_t>(s.SeekSamples));
  } else {
    d = std::make_unique<TSoundDecoder>(M.Root.StreamHead->Stream, 0, false);
    for (const Frame& f : M.Root.Frames)
      if (f.StreamBlock)
        d->Feed(f.StreamBlock->Data);
  }
  d->Finish();
  std::vector<std::int16_t> block(4096);
  while (const std::size_t n = d->Read(block.data(), block.size() / 2))
    out.insert(out.end(), block.begin(), block.begin() + static_cast<std::ptrdiff_t>(n * static_cast<std::size_t>(d->Channels())));
  return out;
}

class SoundDecoderTest : public ::testing::TestWithParam<TCase> {};

TEST_P(SoundDecoderTest, EqualsFfmpegSampleForSample)
{
  if (!HaveFfmpeg())
    GTEST_SKIP() << "ffmpeg is not installed (scripts/install-deps.sh installs it)";
  const TBytes tags = GetParam().Tags();
  ASSERT_FALSE(tags.empty()) << "ffmpeg made no coded data";
  const TBytes file = SoundMovie(Join({tags, ShowFrame(), End()}), 12, 1);
  const quenloft::testing::TempDir dir;
  const std::string path = dir.WriteFile("sound.swf", std::string(file.begin(), file.end()));
  const auto movie = ReadMovie(file);
  ASSERT_EQ(movie->ReadError, "");
  const auto ours = OurDecode(*movie);
  const auto oracle = OracleDecode(path);
  ASSERT_FALSE(oracle.empty());
  ASSERT_EQ(ours.size(), oracle.size());
  EXPECT_TRUE(ours == oracle);
}

const TCase kCases[] = {
    {"pcm16_stereo_44k", [] { return DefineSound(1, FormatByte(3, 3, true, true), 3000, Pcm16(3000, 2)); }},
    {"pcm16_native_mono_22k", [] { return DefineSound(1, FormatByte(0, 2, true, false), 2001, Pcm16(2001, 1)); }},
    {"pcm8_mono_11k", [] { return DefineSound(1, FormatByte(3, 1, false, false), 5000, Pcm8(5000)); }},
    {"adpcm_stream_mono",
     [] {
       const auto packets = FlvAudioPackets(EncodeTone("adpcm_swf", 22050, 1, 0.8, "flv"));
       TBytes tags = StreamHead(FormatByte(1, 2, true, false), 4096);
       for (const TBytes& p : packets)
         tags = Join({tags, StreamBlock(p), ShowFrame()});
       return packets.empty() ? TBytes{} : tags;
     }},
    {"adpcm_sound_stereo_blocks_joined",
     [] {
       const auto packets = FlvAudioPackets(EncodeTone("adpcm_swf", 11025, 2, 1.3, "flv"));
       if (packets.empty())
         return TBytes{};
       const int bits = (packets[0][0] >> 6) + 2;
       const std::size_t block = 2 * 22 + static_cast<std::size_t>(bits) * 2 * 4095;
       return DefineSound(1, FormatByte(1, 1, true, true), 0, JoinAdpcm(packets, block));
     }},
    {"mp3_stream_frames_cut_across_blocks",
     [] {
       const TBytes mp3 = EncodeTone("libmp3lame -b:a 32k", 22050, 1, 1.0, "mp3");
       return mp3.empty() ? TBytes{} : Mp3Stream(mp3, 101);
     }},
    {"mp3_sound_with_seek_samples",
     [] {
       const TBytes mp3 = EncodeTone("libmp3lame -b:a 64k", 44100, 2, 0.7, "mp3");
       return mp3.empty() ? TBytes{} : DefineSound(1, FormatByte(2, 3, true, true), 30870, mp3, 1105);
     }},
    {"nellymoser_22k",
     [] {
       TBytes data;
       for (const TBytes& p : FlvAudioPackets(EncodeTone("nellymoser", 22050, 1, 0.6, "flv")))
         data.insert(data.end(), p.begin(), p.end());
       return data.empty() ? TBytes{} : DefineSound(1, FormatByte(6, 2, true, false), 0, data);
     }},
};

INSTANTIATE_TEST_SUITE_P(Codings, SoundDecoderTest, ::testing::ValuesIn(kCases),
                         [](const auto& Info) { return std::string(Info.param.Name); });

TEST(SoundDecoder, SpeexHasADecoderInThisBuild)
{
  SoundFormat f;
  f.Coding = SoundCoding::Speex;
  EXPECT_NO_THROW(TSoundDecoder(f, 44100, true));
}

TEST(SoundDecoder, SpeexEqualsFfmpegsDecodingOfTheSamePackets)
{
  // ffmpeg reads no Speex from a movie: its oracle is the FLV the packets
  // came from, one packet a stream block here.
  if (!HaveFfmpeg())
    GTEST_SKIP() << "ffmpeg is not installed (scripts/install-deps.sh installs it)";
  const TBytes flv = EncodeTone("libspeex", 16000, 1, 0.6, "flv");
  const auto packets = FlvAudioPackets(flv);
  ASSERT_FALSE(packets.empty()) << "ffmpeg made no Speex";
  TBytes tags = StreamHead(FormatByte(11, 0, true, false), 320);
  for (const TBytes& p : packets)
    tags = Join({tags, StreamBlock(p), ShowFrame()});
  const auto movie = ReadMovie(SoundMovie(Join({tags, End()}), 50, static_cast<std::uint16_t>(packets.size())));
  ASSERT_EQ(movie->ReadError, "");
  const quenloft::testing::TempDir dir;
  const auto oracle = OracleDecode(dir.WriteFile("speex.flv", std::string(flv.begin(), flv.end())));
  ASSERT_FALSE(oracle.empty());
  const auto ours = OurDecode(*movie);
  ASSERT_EQ(ours.size(), oracle.size());
  EXPECT_TRUE(ours == oracle);
}

} // namespace
} // namespace quenloft::swf::test
