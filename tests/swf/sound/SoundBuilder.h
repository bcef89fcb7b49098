// Sound tags for test movies, and ffmpeg as the oracle and the encoder:
// it makes the coded data (MP3, ADPCM, Nellymoser) and decodes the movies
// the tests write, through its own SWF demuxer, for comparison.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/support/TempDir.h"
#include "tests/swf/MovieBuilder.h"

namespace quenloft::swf::test {

// The format byte: coding, rate index (0 5.5k .. 3 44.1k), 16-bit, stereo.
inline std::uint8_t FormatByte(int Coding, int RateIndex, bool Bits16, bool Stereo)
{
  return static_cast<std::uint8_t>(Coding << 4 | RateIndex << 2 | (Bits16 ? 2 : 0) | (Stereo ? 1 : 0));
}

inline TBytes DefineSound(std::uint16_t Id, std::uint8_t Format, std::uint32_t Samples, const TBytes& Data,
                          int SeekSamples = -1)
{
  TBitWriter w;
  w.U16(Id).U8(Format).U32(Samples);
  if (SeekSamples >= 0)
    w.U16(static_cast<std::uint16_t>(SeekSamples));
  return Tag(14, w.Raw(Data).Out, true);
}

// A SOUNDINFO record; Envelope holds (position, left, right) triples.
struct TInfo {
  bool Stop = false;
  bool NoMultiple = false;
  int In = -1;
  int Out = -1;
  int Loops = -1;
  std::vector<std::array<std::uint32_t, 3>> Envelope;
  TBytes Bytes() const
  {
    TBitWriter w;
    w.U8(static_cast<std::uint8_t>((Stop ? 0x20 : 0) | (NoMultiple ? 0x10 : 0) | (!Envelope.empty() ? 0x08 : 0) |
                                   (Loops >= 0 ? 0x04 : 0) | (Out >= 0 ? 0x02 : 0) | (In >= 0 ? 0x01 : 0)));
    if (In >= 0)
      w.U32(static_cast<std::uint32_t>(In));
    if (Out >= 0)
      w.U32(static_cast<std::uint32_t>(Out));
    if (Loops >= 0)
      w.U16(static_cast<std::uint16_t>(Loops));
    if (!Envelope.empty()) {
      w.U8(static_cast<std::uint8_t>(Envelope.size()));
      for (const auto& p : Envelope)
        w.U32(p[0]).U16(static_cast<std::uint16_t>(p[1])).U16(static_cast<std::uint16_t>(p[2]));
    }
    return w.Out;
  }
};

inline TBytes StartSoundTag(std::uint16_t Id, const TInfo& Info = {})
{
  return Tag(15, TBitWriter().U16(Id).Raw(Info.Bytes()).Out);
}

inline TBytes StreamHead(std::uint8_t Format, std::uint16_t SamplesPerFrame, int Latency = -1)
{
  TBitWriter w;
  w.U8(Format).U8(Format).U16(SamplesPerFrame);
  if (Latency >= 0)
    w.U16(static_cast<std::uint16_t>(Latency));
  return Tag(45, w.Out);
}

inline TBytes StreamBlock(const TBytes& Data, int Mp3Samples = -1, int Seek = 0)
{
  TBitWriter w;
  if (Mp3Samples >= 0)
    w.U16(static_cast<std::uint16_t>(Mp3Samples)).U16(static_cast<std::uint16_t>(Seek));
  return Tag(19, w.Raw(Data).Out, true);
}

// A movie file with its frame rate (8.8) set.
inline TBytes SoundMovie(const TBytes& Tags, double Fps, std::uint16_t Frames)
{
  TBytes file = MovieFile(Tags, 'F', Frames);
  const auto rate = static_cast<std::uint16_t>(Fps * 256);
  // The rectangle MovieFile writes is 5 + 4 * 24 bits = 13 bytes after the 8-byte prefix.
  file[8 + 13] = static_cast<std::uint8_t>(rate & 0xFF);
  file[8 + 14] = static_cast<std::uint8_t>(rate >> 8);
  return file;
}

inline bool HaveFfmpeg()
{
  return std::system("ffmpeg -version >/dev/null 2>&1") == 0;
}

// Standard output of a shell command.
inline TBytes Run(const std::string& Command)
{
  TBytes out;
  if (std::FILE* p = ::popen(Command.c_str(), "r")) {
    std::uint8_t buf[65536];
    std::size_t n = 0;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0)
      out.insert(out.end(), buf, buf + n);
    ::pclose(p);
  }
  return out;
}

// ffmpeg's own decoding of the first audio stream of a movie file, as
// 16-bit samples at the sound's own rate and channels.
inline std::vector<std::int16_t> OracleDecode(const std::string& File)
{
  const TBytes raw = Run("ffmpeg -v error -i '" + File + "' -map 0:a:0 -f s16le - 2>/dev/null");
  std::vector<std::int16_t> s(raw.size() / 2);
  for (std::size_t i = 0; i < s.size(); ++i)
    s[i] = static_cast<std::int16_t>(raw[2 * i] | raw[2 * i + 1] << 8);
  return s;
}

// The audio payloads of the tags of an FLV file (the codec byte dropped).
inline std::vector<TBytes> FlvAudioPackets(const TBytes& Flv)
{
  std::vector<TBytes> packets;
  std::size_t p = 13; // header and the first back pointer
  while (p + 11 <= Flv.size()) {
    const std::size_t size = static_cast<std::size_t>(Flv[p + 1] << 16 | Flv[p + 2] << 8 | Flv[p + 3]);
    if (p + 11 + size > Flv.size())
      break;
    if (Flv[p] == 8 && size > 1)
      packets.emplace_back(Flv.begin() + static_cast<std::ptrdiff_t>(p + 12),
                           Flv.begin() + static_cast<std::ptrdiff_t>(p + 11 + size));
    p += 11 + size + 4;
  }
  return packets;
}

// Encodes a test tone (Channels 1 or 2, Seconds long) with ffmpeg's Codec
// into Container ("flv" or "mp3"), as bytes.
inline TBytes EncodeTone(const std::string& Codec, int Rate, int Channels, double Seconds, const std::string& Container)
{
  const std::string source = Channels == 1 ? "aevalsrc=0.5*sin(440*2*PI*t)+0.2*sin(1250*2*PI*t)"
                                           : "aevalsrc=0.5*sin(440*2*PI*t)|0.4*sin(660*2*PI*t+1)";
  return Run("ffmpeg -v error -f lavfi -i '" + source + ":s=" + std::to_string(Rate) +
             ":d=" + std::to_string(Seconds) + "' -c:a " + Codec + " -ar " + std::to_string(Rate) +
             " -ac " + std::to_string(Channels) + (Container == "mp3" ? " -write_xing 0 -id3v2_version 0" : "") +
             " -map_metadata -1 -f " + Container + " - 2>/dev/null");
}

} // namespace quenloft::swf::test
