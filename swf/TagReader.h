// A bounded reader over the bytes of one tag (or of the whole movie body):
// little-endian integers, bit fields read most significant bit first, and
// the records the file format shares between tags (rectangle, matrix,
// colour transform, colours, strings).
//
// Reading past the end raises ETagError; nothing is ever read beyond the
// span the reader was made with, whatever a length field claims.
//
// Threads: one thread at a time per reader; the bytes must outlive it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "swf/Movie.h"
#include "swf/MovieReader.h"

namespace quenloft::swf {

class ETagError : public EMovieError {
public:
  using EMovieError::EMovieError;
};

class TTagReader {
public:
  explicit TTagReader(std::span<const std::uint8_t> Bytes) : FBytes(Bytes) {}

  std::size_t Position() const { return FPos; }
  std::size_t Remaining() const { return FBytes.size() - FPos; }
  bool AtEnd() const { return FPos >= FBytes.size(); }
  std::span<const std::uint8_t> Span() const { return FBytes; }

  std::uint8_t U8();
  std::uint16_t U16();
  std::int16_t S16() { return static_cast<std::int16_t>(U16()); }
  std::uint32_t U32();
  double Fixed8() { return S16() / 256.0; }                               // signed 8.8
  double Fixed16() { return static_cast<std::int32_t>(U32()) / 65536.0; } // signed 16.16
  std::uint32_t EncodedU32();

  // Bit fields; the byte readers above drop pending bits first.
  std::uint32_t UBits(int Count);
  std::int32_t SBits(int Count);
  double FBits(int Count) { return SBits(Count) / 65536.0; }
  bool Flag() { return UBits(1) != 0; }
  void Align() { FBitCount = 0; }

  // The next Count bytes (aligned); ETagError when fewer remain.
  std::span<const std::uint8_t> Bytes(std::size_t Count);
  std::span<const std::uint8_t> Rest() { return Bytes(Remaining()); }
  void Skip(std::size_t Count) { (void)Bytes(Count); }
  // A reader over the next Count bytes, which this one skips.
  TTagReader Sub(std::size_t Count) { return TTagReader(Bytes(Count)); }
  // Moves to Offset from the start of the span.
  void Seek(std::size_t Offset);

  // A zero-terminated string; the end of the span also ends it.
  std::string String();

  Rect ReadRect();
  Matrix ReadMatrix();
  ColorTransform ReadColorTransform(bool WithAlpha);
  Rgba ReadRgb();
  Rgba ReadRgba();
  Rgba ReadColor(bool WithAlpha) { return WithAlpha ? ReadRgba() : ReadRgb(); }

private:
  std::span<const std::uint8_t> FBytes;
  std::size_t FPos = 0;
  std::uint8_t FBitByte = 0;
  int FBitCount = 0; // unread bits left in FBitByte
};

} // namespace quenloft::swf
