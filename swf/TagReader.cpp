#include "swf/TagReader.h"

#include <algorithm>

namespace quenloft::swf {

namespace {

[[noreturn]] void Short()
{
  throw ETagError("the data ends inside a record");
}

} // namespace

std::uint8_t TTagReader::U8()
{
  FBitCount = 0;
  if (FPos >= FBytes.size())
    Short();
  return FBytes[FPos++];
}

std::uint16_t TTagReader::U16()
{
  const auto b = Bytes(2);
  return static_cast<std::uint16_t>(b[0] | b[1] << 8);
}

std::uint32_t TTagReader::U32()
{
  const auto b = Bytes(4);
  return static_cast<std::uint32_t>(b[0]) | static_cast<std::uint32_t>(b[1]) << 8 |
         static_cast<std::uint32_t>(b[2]) << 16 | static_cast<std::uint32_t>(b[3]) << 24;
}

std::uint32_t TTagReader::EncodedU32()
{
  // Seven bits a byte, least significant group first; at most five bytes.
  std::uint32_t value = 0;
  for (int i = 0; i < 5; ++i) {
    const std::uint8_t b = U8();
    value |= static_cast<std::uint32_t>(b & 0x7F) << (7 * i);
    if ((b & 0x80) == 0)
      break;
  }
  return value;
}

std::uint32_t TTagReader::UBits(int Count)
{
  // A field wider than 32 bits keeps its low 32 bits, like the header reader.
  std::uint32_t value = 0;
  for (int i = 0; i < Count; ++i) {
    if (FBitCount == 0) {
      if (FPos >= FBytes.size())
        Short();
      FBitByte = FBytes[FPos++];
      FBitCount = 8;
    }
    --FBitCount;
    value = value << 1 | ((FBitByte >> FBitCount) & 1u);
  }
  return value;
}

std::int32_t TTagReader::SBits(int Count)
{
  std::uint32_t v = UBits(Count);
  if (Count > 0 && Count < 32 && (v & (1u << (Count - 1))) != 0)
    v |= ~0u << Count;
  return static_cast<std::int32_t>(v);
}

std::span<const std::uint8_t> TTagReader::Bytes(std::size_t Count)
{
  FBitCount = 0;
  if (Count > Remaining())
    Short();
  const auto result = FBytes.subspan(FPos, Count);
  FPos += Count;
  return result;
}

void TTagReader::Seek(std::size_t Offset)
{
  FBitCount = 0;
  if (Offset > FBytes.size())
    Short();
  FPos = Offset;
}

std::string TTagReader::String()
{
  FBitCount = 0;
  const auto rest = FBytes.subspan(FPos);
  const auto end = std::find(rest.begin(), rest.end(), std::uint8_t{0});
  std::string result(rest.begin(), end);
  FPos += result.size() + (end == rest.end() ? 0 : 1);
  return result;
}

Rect TTagReader::ReadRect()
{
  Align();
  const int bits = static_cast<int>(UBits(5));
  Rect r;
  r.XMin = SBits(bits);
  r.XMax = SBits(bits);
  r.YMin = SBits(bits);
  r.YMax = SBits(bits);
  Align();
  return r;
}

Matrix TTagReader::ReadMatrix()
{
  Align();
  Matrix m;
  if (Flag()) {
    const int bits = static_cast<int>(UBits(5));
    m.A = FBits(bits);
    m.D = FBits(bits);
  }
  if (Flag()) {
    const int bits = static_cast<int>(UBits(5));
    m.B = FBits(bits);
    m.C = FBits(bits);
  }
  const int bits = static_cast<int>(UBits(5));
  m.Tx = SBits(bits);
  m.Ty = SBits(bits);
  Align();
  return m;
}

ColorTransform TTagReader::ReadColorTransform(bool WithAlpha)
{
  Align();
  ColorTransform c;
  const bool add = Flag();
  const bool mul = Flag();
  const int bits = static_cast<int>(UBits(4));
  if (mul) {
    c.RMul = SBits(bits) / 256.0;
    c.GMul = SBits(bits) / 256.0;
    c.BMul = SBits(bits) / 256.0;
    if (WithAlpha)
      c.AMul = SBits(bits) / 256.0;
  }
  if (add) {
    c.RAdd = SBits(bits);
    c.GAdd = SBits(bits);
    c.BAdd = SBits(bits);
    if (WithAlpha)
      c.AAdd = SBits(bits);
  }
  Align();
  return c;
}

Rgba TTagReader::ReadRgb()
{
  const auto b = Bytes(3);
  return Rgba{b[0], b[1], b[2], 255};
}

Rgba TTagReader::ReadRgba()
{
  const auto b = Bytes(4);
  return Rgba{b[0], b[1], b[2], b[3]};
}

} // namespace quenloft::swf
