// The sound tags in the movie model: what is read, and what is refused.
#include <gtest/gtest.h>

#include "swf/MovieReader.h"
#include "tests/swf/sound/SoundBuilder.h"

namespace quenloft::swf::test {
namespace {

TEST(SoundReader, ReadsSoundsStartsStreamsAndButtonSounds)
{
  TInfo info;
  info.NoMultiple = true;
  info.In = 10;
  info.Out = 500;
  info.Loops = 0;
  info.Envelope = {{0, 32768, 0}, {441, 0, 32768}};
  TBitWriter button;
  button.U16(9).U16(0).U16(3).Raw(TInfo{}.Bytes()).U16(0).U16(0);
  const auto m = ReadMovie(MovieFile(Join({
      DefineSound(3, FormatByte(2, 1, true, true), 99999, {0xFF, 0xFB}, 576),
      StreamHead(FormatByte(2, 2, true, false), 1837, 1105),
      StartSoundTag(3, info),
      StreamBlock({1, 2, 3}, 1152, 40),
      ShowFrame(),
      Tag(17, button.Out),
      End(),
  })));
  ASSERT_EQ(m->ReadError, "");
  const Sound& s = m->Sounds.at(3);
  EXPECT_EQ(s.Format, (SoundFormat{SoundCoding::Mp3, 11025, true, true}));
  EXPECT_EQ(s.SampleCount, 99999u); // kept as claimed, trusted for nothing
  EXPECT_EQ(s.SeekSamples, 576);
  EXPECT_EQ(s.Data, (TBytes{0xFF, 0xFB}));
  ASSERT_TRUE(m->Root.StreamHead);
  EXPECT_EQ(m->Root.StreamHead->SamplesPerFrame, 1837);
  EXPECT_EQ(m->Root.StreamHead->LatencySeek, 1105);
  const Frame& f = m->Root.Frames.at(0);
  ASSERT_EQ(f.Sounds.size(), 1u);
  SoundInfo expected;
  expected.NoMultiple = true;
  expected.InPoint = 10;
  expected.OutPoint = 500;
  expected.Loops = 1;
  expected.Envelope = {{0, 32768, 0}, {441, 0, 32768}};
  EXPECT_EQ(f.Sounds[0].Info, expected);
  ASSERT_TRUE(f.StreamBlock);
  EXPECT_EQ(f.StreamBlock->SampleCount, 1152);
  EXPECT_EQ(f.StreamBlock->SeekSamples, 40);
  EXPECT_EQ(f.StreamBlock->Data, (TBytes{1, 2, 3}));
  const ButtonSounds& b = m->ButtonSounds.at(9);
  EXPECT_FALSE(b.Transitions[0]);
  ASSERT_TRUE(b.Transitions[1]);
  EXPECT_EQ(b.Transitions[1]->Id, 3);
}

TEST(SoundReader, RefusesBrokenSoundTagsAndKeepsReading)
{
  TBytes envelope = TBitWriter().U16(1).U8(0x08).U8(200).U32(0).U16(1).U16(1).Out; // 200 points claimed, 1 there
  const struct {
    const char* Name;
    TBytes Tag;
    const char* Says;
  } cases[] = {
      {"unknown coding", DefineSound(1, 0x70, 10, {}), "unknown sound coding 7"},
      {"envelope too short", Tag(15, envelope), "envelope claims 200 points"},
      {"block without head", StreamBlock({1, 2}), "before its stream head"},
      {"sound cut short", Tag(14, {1, 0, 0x3E}), "ends inside"},
      {"mp3 block cut short", Join({StreamHead(0x22, 1), StreamBlock({}), Tag(19, {1})}), "ends inside"},
  };
  for (const auto& c : cases) {
    const auto m = ReadMovie(MovieFile(Join({c.Tag, DefineSound(2, 0x3E, 1, {0, 0}), ShowFrame(), End()})));
    EXPECT_NE(m->ReadError.find(c.Says), std::string::npos) << c.Name << ": " << m->ReadError;
    EXPECT_EQ(m->Sounds.count(2), 1u) << c.Name << ": what follows is still read";
  }
}

} // namespace
} // namespace quenloft::swf::test
