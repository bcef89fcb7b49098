#include "swf/SWFStreams.h"

#include <cstring>

#include <zlib.h>

#include "swf/TagReader.h"

namespace quenloft {

namespace {

// The rectangle, rate and count take 20 bytes at most, except with a 31-bit
// rectangle, whose frame count ends in byte 21.
constexpr std::size_t kHeaderRestMin = 20;
constexpr std::size_t kHeaderRestMax = 21;

} // namespace

void ReadSWFHeaderPart(TStream& Stream, TSWFFileHeader& Header, TSWFHeaderPart Part)
{
  if (Part == hpPrefix || Part == hpAll) {
    std::uint8_t prefix[8];
    Stream.ReadBuffer(prefix, sizeof prefix);
    std::memcpy(Header.Signature, prefix, 3);
    Header.Version = prefix[3];
    Header.FileLength = static_cast<std::uint32_t>(prefix[4]) | static_cast<std::uint32_t>(prefix[5]) << 8 |
                        static_cast<std::uint32_t>(prefix[6]) << 16 |
                        static_cast<std::uint32_t>(prefix[7]) << 24;
    if (Part == hpPrefix)
      return;
  }
  // The rectangle's first five bits give the width of its four fields, and
  // so how many bytes it takes; the rate and the count follow it. Exactly
  // those bytes are read from the stream.
  std::uint8_t bytes[kHeaderRestMax];
  Stream.ReadBuffer(bytes, 1);
  const std::size_t fieldBits = bytes[0] >> 3;
  const std::size_t size = (5 + 4 * fieldBits + 7) / 8 + 4;
  Stream.ReadBuffer(bytes + 1, size - 1);
  swf::TTagReader reader(std::span<const std::uint8_t>(bytes, size));
  const swf::Rect rect = reader.ReadRect();
  Header.Rect = TSWFRect{rect.XMin, rect.YMin, rect.XMax, rect.YMax};
  Header.FrameRate = reader.U16();
  Header.FrameCount = reader.U16();
}

namespace {
// Compressed input is fed to the inflater in reads of this size, so that a
// large movie costs no more than a small one.
constexpr std::size_t kInflateChunk = 256;

class TInflater {
public:
  TInflater()
  {
    if (inflateInit(&FZ) != Z_OK)
      throw EZDecompressionError();
  }
  ~TInflater() { inflateEnd(&FZ); }
  TInflater(const TInflater&) = delete;
  TInflater& operator=(const TInflater&) = delete;
  z_stream& Z() { return FZ; }

private:
  z_stream FZ{};
};

// Inflates the zlib stream at the stream's position until it has given 21
// bytes, or has ended, or the input has ended: whichever comes first. Fewer
// than 20 bytes is a read error; data the inflater rejects before 20 bytes
// exist is its "Error". The input after the zlib stream (or after what the
// header needs) is never read.
std::string InflateHeaderRest(TStream& Stream)
{
  TInflater inflater;
  z_stream& z = inflater.Z();
  unsigned char in[kInflateChunk];
  unsigned char out[kHeaderRestMax];
  z.next_out = out;
  z.avail_out = sizeof out;
  for (;;) {
    if (z.avail_in == 0) {
      const std::size_t got = Stream.Read(in, sizeof in);
      if (got == 0)
        break; // the file ends inside the zlib stream
      z.next_in = in;
      z.avail_in = static_cast<uInt>(got);
    }
    const int rc = inflate(&z, Z_NO_FLUSH);
    const std::size_t have = sizeof out - z.avail_out;
    if (rc == Z_STREAM_END || have == sizeof out)
      break;
    if (rc == Z_OK || (rc == Z_BUF_ERROR && z.avail_in == 0))
      continue;
    // Z_DATA_ERROR, Z_NEED_DICT (we have no dictionary), Z_MEM_ERROR. Damage
    // behind byte 20 does not matter: the header is complete without it.
    if (have >= kHeaderRestMin)
      break;
    throw EZDecompressionError();
  }
  const std::size_t have = sizeof out - z.avail_out;
  if (have < kHeaderRestMin)
    throw EReadError();
  return std::string(reinterpret_cast<const char*>(out), have);
}

} // namespace

void ReadSWFHeader(TStream& Stream, TSWFFileHeader& Header)
{
  Header = TSWFFileHeader{};
  if (Stream.Size() <= 3)
    return;
  Stream.SetPosition(0);
  char signature[3];
  Stream.ReadBuffer(signature, sizeof signature);
  const bool plain = std::memcmp(signature, "FWS", 3) == 0;
  const bool compressed = std::memcmp(signature, "CWS", 3) == 0;
  if (!plain && !compressed)
    return;
  Stream.SetPosition(0);

  if (plain) {
    // A plain file that ends inside its header gives zeros for every field
    // it could not read completely: a file cut inside the first 8 bytes is
    // all zero (not a movie), one cut inside the rectangle, rate or count
    // keeps its signature, version and length and has a zero stage and
    // frame count. Never a half-read value.
    TSWFFileHeader h;
    try {
      ReadSWFHeaderPart(Stream, h, hpPrefix);
    } catch (const EReadError&) {
      return;
    }
    Header = h;
    try {
      ReadSWFHeaderPart(Stream, h, hpRest);
    } catch (const EReadError&) {
      return;
    }
    Header = h;
    return;
  }

  // A compressed file cut inside its first 8 bytes has no body at all:
  // that is the read error of a body too short to inflate.
  ReadSWFHeaderPart(Stream, Header, hpPrefix);
  std::string rest = InflateHeaderRest(Stream);
  // With a 31-bit rectangle the frame count's upper byte is byte 21. When
  // the inflated body has only 20 bytes that byte counts as 0.
  rest.resize(kHeaderRestMax, '\0');
  TMemoryStream buffer(std::move(rest));
  ReadSWFHeaderPart(buffer, Header, hpRest);
}

TSWFFileHeader ReadSWFFileHeader(const std::string& FileName)
{
  // Readers share the file; a stream of ours that holds it exclusively (a
  // download still writing it) keeps them out. Two readers never fail
  // because of each other.
  TFileStream file(FileName, fmOpenRead | fmShareDenyWrite);
  TSWFFileHeader header;
  ReadSWFHeader(file, header);
  return header;
}

int TwipsToPixels(std::int32_t Min, std::int32_t Max)
{
  // 64-bit difference: two 32-bit coordinates may lie 2^32 apart.
  return static_cast<int>((static_cast<std::int64_t>(Max) - Min) / 20);
}

void GetSWFInfo(const std::string& FileName, int& Width, int& Height, int& FrameCount)
{
  const TSWFFileHeader h = ReadSWFFileHeader(FileName);
  Width = TwipsToPixels(h.Rect.Xmin, h.Rect.Xmax);
  Height = TwipsToPixels(h.Rect.Ymin, h.Rect.Ymax);
  FrameCount = h.FrameCount;
}

bool TryGetSWFInfo(const std::string& FileName, int& Width, int& Height, int& FrameCount)
{
  try {
    GetSWFInfo(FileName, Width, Height, FrameCount);
  } catch (const Exception&) {
    Width = Height = FrameCount = 0;
  }
  return Width > 0 && Height > 0;
}

} // namespace quenloft
