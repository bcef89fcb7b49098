// Turns a sound's coded bytes into 16-bit samples: the movie's containers
// (MP3 frames split across stream blocks, ADPCM's 4096-sample blocks,
// Nellymoser's 64-byte blocks, uncompressed chunks) are cut into the packets
// libavcodec decodes, and libswresample brings them to the rate asked for.
//
// Input comes as units: a DefineSound's whole data, or one stream block
// after the other. Output is pulled: Read gives what the units fed so far
// decode to. Nothing trusts the sample counts the file claims; every
// packet handed to the codec is bounded, so a hostile sound costs time in
// proportion to its bytes and memory in proportion to one packet.
//
// Threads: one thread at a time per decoder; the fed bytes must outlive it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <span>
#include <vector>

#include "platform/Classes.h"
#include "swf/Sound.h"

namespace quenloft::swf {

class ESoundError : public Exception {
public:
  using Exception::Exception;
};

class TSoundDecoder {
public:
  // OutRate 0 keeps the rate the codec gives; Stereo doubles a mono sound
  // into two equal channels (without it the sound keeps its own channels).
  // Raises ESoundError when this build has no decoder for the coding.
  TSoundDecoder(const SoundFormat& Format, std::uint32_t OutRate, bool Stereo);
  ~TSoundDecoder();
  TSoundDecoder(const TSoundDecoder&) = delete;
  TSoundDecoder& operator=(const TSoundDecoder&) = delete;

  // Queues one unit of coded bytes, kept by reference.
  void Feed(std::span<const std::uint8_t> Unit);
  // No further units come: what the codec and the resampler hold back comes out.
  void Finish();
  // Drops the next Count samples of the sound, counted at its own rate
  // (the encoder delay of MP3, the seek samples of a stream block).
  void SkipSourceSamples(std::uint32_t Count);
  // Up to MaxFrames frames of interleaved samples into Out; fewer only when
  // the units fed so far are used up.
  std::size_t Read(std::int16_t* Out, std::size_t MaxFrames);
  // True when Finish was called and everything has been read.
  bool Ended() const;
  // Forgets the units, the codec's state and what was decoded.
  void Reset();

  // Channels of Read's frames (known once the first packet decoded; before
  // that the format's own count).
  int Channels() const { return FOutChannels; }
  // Packets the codec refused (garbage in the data).
  std::uint64_t Errors() const { return FErrors; }

  struct TState;

private:
  bool NextPacket(std::vector<std::uint8_t>& Packet, std::size_t& SampleCap);
  bool Pump();
  void Decode(const std::vector<std::uint8_t>* Packet, std::size_t SampleCap);
  void Convert(const std::uint8_t** Data, int Samples);

  SoundFormat FFormat;
  std::uint32_t FOutRate;
  int FOutChannels;
  std::unique_ptr<TState> FState;
  std::deque<std::span<const std::uint8_t>> FUnits;
  std::size_t FOffset = 0;    // bytes used of the front unit
  std::size_t FBitOffset = 0; // ADPCM: bits used of the front unit
  int FAdpcmBits = 0;         // ADPCM: the front unit's code size, 0 before its header
  bool FFinished = false;
  bool FDrained = false;
  std::uint64_t FSkipSource = 0;
  std::uint64_t FSkipOut = 0;
  std::uint64_t FErrors = 0;
  std::vector<std::int16_t> FOut;
  std::size_t FOutPos = 0; // samples (not frames) of FOut already read
  std::vector<std::uint8_t> FPacket;
  std::vector<std::uint8_t> FParseBuffer;
};

} // namespace quenloft::swf
