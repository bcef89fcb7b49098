// The SWF file header reader: the functions that read a movie's header
// (signature, version, length, stage rectangle, frame rate and frame count)
// from a stream or a file. Its bit fields are read with the tag reader's.
//
// Only the header is ever read. For a compressed ("CWS") movie the zlib
// stream after the first 8 bytes is inflated just far enough to hold the
// header, never further.
//
// Threads: stateless free functions, any thread; a stream is read by one
// thread at a time.
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
