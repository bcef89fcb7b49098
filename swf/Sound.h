// Sound in the movie model: the sounds a movie defines, the starts and
// stops its frames and buttons ask for, and the stream sound that runs
// along a timeline. Plain data as the file stores it; swf/sound/ decodes
// and mixes it.
//
// Units: envelope positions and in and out points count samples at
// 44,100 per second whatever the sound's own rate; levels run 0..32768.
//
// Threads: immutable once read, like the Movie that holds it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quenloft::swf {

enum class SoundCoding : std::uint8_t {
  PcmNative = 0, // uncompressed in the authoring machine's byte order (little-endian in practice)
  Adpcm = 1,
  Mp3 = 2,
  PcmLittle = 3,
  Nellymoser16k = 4,
  Nellymoser8k = 5,
  Nellymoser = 6,
  Speex = 11,
};

// The four fields every sound and stream head share.
struct SoundFormat {
  SoundCoding Coding = SoundCoding::PcmLittle;
  std::uint32_t Rate = 5512; // samples per second: 5512, 11025, 22050 or 44100
  bool Is16Bit = true;       // 8-bit applies to uncompressed sound only
  bool Stereo = false;
  friend bool operator==(const SoundFormat&, const SoundFormat&) = default;
};

// A short name of the coding ("pcm", "adpcm", "mp3", "nellymoser", "speex").
const char* CodingName(SoundCoding Coding);
// The sample rate the decoder actually produces: the Nellymoser 8 and 16 kHz
// codings and Speex name their own rate whatever the rate field says.
std::uint32_t DecodedRate(const SoundFormat& Format);

// DefineSound: an event sound.
struct Sound {
  std::uint16_t Id = 0;
  SoundFormat Format;
  std::uint32_t SampleCount = 0; // as the file claims, per channel
  std::int16_t SeekSamples = 0;  // MP3: samples of encoder delay to skip at the start
  std::vector<std::uint8_t> Data; // MP3: the frames after the seek field
};

struct SoundEnvelopePoint {
  std::uint32_t Position = 0; // in 44.1 kHz samples from the start of the sound
  std::uint16_t Left = 32768;
  std::uint16_t Right = 32768;
  friend bool operator==(const SoundEnvelopePoint&, const SoundEnvelopePoint&) = default;
};

// How a sound starts (or stops): the file's SOUNDINFO record.
struct SoundInfo {
  bool Stop = false;       // stop every playing instance instead of starting
  bool NoMultiple = false; // start only when no instance plays already
  std::optional<std::uint32_t> InPoint;
  std::optional<std::uint32_t> OutPoint;
  std::uint16_t Loops = 1; // the file's 0 plays once too
  std::vector<SoundEnvelopePoint> Envelope;
  friend bool operator==(const SoundInfo&, const SoundInfo&) = default;
};

// StartSound (by id) or StartSound2 (by class name, which this player does
// not resolve).
struct StartSound {
  std::uint16_t Id = 0;
  std::string ClassName;
  SoundInfo Info;
};

// SoundStreamHead or SoundStreamHead2: the format of a timeline's stream.
struct SoundStreamHead {
  SoundFormat Playback; // what the author asked the player to play at
  SoundFormat Stream;   // how the blocks are coded
  std::uint16_t SamplesPerFrame = 0;
  std::int16_t LatencySeek = 0; // MP3: samples of encoder delay at the start of the stream
};

// SoundStreamBlock: the stream's data for one frame.
struct SoundStreamBlock {
  std::uint16_t SampleCount = 0; // MP3 only: samples the block's frames hold
  std::int16_t SeekSamples = 0;  // MP3 only: samples to skip when the stream starts at this block
  std::vector<std::uint8_t> Data; // MP3: the frames after the two fields
};

// DefineButtonSound: the sounds of a button's four state changes.
struct ButtonSounds {
  std::uint16_t ButtonId = 0;
  // Over-up to idle, idle to over-up, over-up to over-down, over-down to over-up.
  std::optional<StartSound> Transitions[4];
};

} // namespace quenloft::swf
