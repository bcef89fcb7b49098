// The SWF file header reader: a bit reader over a byte stream (TBitsEngine)
// and the functions that read a movie's header (signature, version, length,
// stage rectangle, frame rate and frame count) from a stream or a file.
//
// Only the header is ever read. For a compressed ("CWS") movie the zlib
// stream after the first 8 bytes is inflated just far enough to hold the
// header, never further.
//
// Threads: stateless free functions, any thread; a TBitsEngine is used by
// one thread at a time, like the stream it reads.
#pragma once

#include <cstdint>
#include <string>

#include "platform/Classes.h"

namespace quenloft {

// The inflater's failure for a compressed body that is not valid zlib data.
// Its text is always "Error".
class EZDecompressionError : public Exception {
public:
  EZDecompressionError() : Exception("Error") {}
};

// A stage rectangle in twips (1/20 pixel): left, top, right, bottom.
struct TSWFRect {
  std::int32_t Xmin = 0;
  std::int32_t Ymin = 0;
  std::int32_t Xmax = 0;
  std::int32_t Ymax = 0;
};

struct TSWFFileHeader {
  char Signature[3] = {0, 0, 0};
  std::uint8_t Version = 0;
  std::uint32_t FileLength = 0; // the uncompressed length, as stored
  TSWFRect Rect;
  std::uint16_t FrameRate = 0; // 8.8 fixed point: 0x1800 is 24.0
  std::uint16_t FrameCount = 0;
};

// Reads bits, most significant first, from a stream it does not own. It
// starts at the stream's current position and leaves the stream where its
// last byte read ended. Reading past the end raises EReadError.
class TBitsEngine {
public:
  explicit TBitsEngine(TStream& Stream) : FStream(Stream) {}

  // The next byte of the stream; pending bits are ignored (not dropped).
  std::uint8_t ReadUInt8();
  // The next two bytes, little-endian; pending bits are ignored.
  std::uint16_t ReadUInt16();
  // The next Count bits as an unsigned value. Count <= 0 reads nothing and
  // gives 0. A Count above 32 keeps the last 32 of the bits read.
  std::uint32_t ReadUnsignedBits(int Count);
  // The same bits as a two's-complement value of Count bits.
  std::int32_t ReadSignedBits(int Count);
  // Nbits (5 bits), then Xmin, Xmax, Ymin, Ymax of Nbits each; then aligns.
  void ReadRectangle(TSWFRect& Rect);
  // Drops the unread bits of the current byte.
  void AlignToByte();

private:
  TStream& FStream;
  std::uint8_t FPendingByte = 0;  // unread bits in the low FPendingCount bits
  std::uint8_t FPendingCount = 0; // 0..8
};

enum TSWFHeaderPart {
  hpPrefix, // the first 8 bytes: signature, version, file length
  hpRest,   // rectangle, frame rate and frame count
  hpAll,
};

// Fills the selected part of Header from the stream's current position.
// Raises EReadError when the stream ends inside the part.
void ReadSWFHeaderPart(TStream& Stream, TSWFFileHeader& Header, TSWFHeaderPart Part);

// The header of an uncompressed ("FWS") or compressed ("CWS") movie; any
// other signature, or a stream of 3 bytes or fewer, gives an all-zero
// header. Raises EZDecompressionError for a compressed body that is not
// zlib data and EReadError when it inflates to fewer than 20 bytes.
void ReadSWFHeader(TStream& Stream, TSWFFileHeader& Header);

// Opens FileName for reading without sharing and reads its header. Raises
// EFOpenError when the file cannot be opened, and the errors above.
TSWFFileHeader ReadSWFFileHeader(const std::string& FileName);

// The movie's stage size in pixels and its frame count; all 0 for a file
// that is not a movie. Raises like ReadSWFFileHeader.
void GetSWFInfo(const std::string& FileName, int& Width, int& Height, int& FrameCount);

// GetSWFInfo for callers that only need to know whether there is a picture
// to show: false (and all 0) when the file cannot be read or is not a movie.
bool TryGetSWFInfo(const std::string& FileName, int& Width, int& Height, int& FrameCount);

// Stage size in whole pixels: (max - min) div 20, truncated toward zero.
int TwipsToPixels(std::int32_t Min, std::int32_t Max);

} // namespace quenloft
