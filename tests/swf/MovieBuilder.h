// Writes small movies for the tests, the fuzz seeds and the benchmarks:
// bit fields, tags with short or long headers, and the three containers.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include <lzma.h>
#include <zlib.h>

namespace quenloft::swf::test {

using TBytes = std::vector<std::uint8_t>;

class TBitWriter {
public:
  TBitWriter& Bits(std::uint32_t Value, int Count)
  {
    for (int i = Count - 1; i >= 0; --i) {
      FByte = static_cast<std::uint8_t>(FByte << 1 | ((Value >> i) & 1u));
      if (++FCount == 8)
        Flush();
    }
    return *this;
  }
  TBitWriter& SBits(std::int32_t Value, int Count) { return Bits(static_cast<std::uint32_t>(Value), Count); }
  TBitWriter& Align()
  {
    if (FCount > 0) {
      FByte = static_cast<std::uint8_t>(FByte << (8 - FCount));
      Flush();
    }
    return *this;
  }
  TBitWriter& U8(std::uint8_t V)
  {
    Align();
    Out.push_back(V);
    return *this;
  }
  TBitWriter& U16(std::uint16_t V)
  {
    U8(V & 0xFF);
    return U8(static_cast<std::uint8_t>(V >> 8));
  }
  TBitWriter& U32(std::uint32_t V)
  {
    U16(V & 0xFFFF);
    return U16(static_cast<std::uint16_t>(V >> 16));
  }
  TBitWriter& Raw(const TBytes& B)
  {
    Align();
    Out.insert(Out.end(), B.begin(), B.end());
    return *this;
  }
  TBitWriter& Str(const std::string& S)
  {
    Align();
    Out.insert(Out.end(), S.begin(), S.end());
    Out.push_back(0);
    return *this;
  }
  // A rectangle with 24-bit fields.
  TBitWriter& Rect(std::int32_t X0, std::int32_t X1, std::int32_t Y0, std::int32_t Y1)
  {
    Align();
    Bits(24, 5).SBits(X0, 24).SBits(X1, 24).SBits(Y0, 24).SBits(Y1, 24);
    return Align();
  }
  // A matrix of scale and translation only (scale as 16.16).
  TBitWriter& Matrix(std::int32_t Tx, std::int32_t Ty, std::int32_t ScaleX = 0x10000,
                     std::int32_t ScaleY = 0x10000)
  {
    Align();
    const bool scaled = ScaleX != 0x10000 || ScaleY != 0x10000;
    Bits(scaled, 1);
    if (scaled)
      Bits(24, 5).SBits(ScaleX, 24).SBits(ScaleY, 24);
    Bits(0, 1).Bits(20, 5).SBits(Tx, 20).SBits(Ty, 20);
    return Align();
  }
  TBytes Out;

private:
  void Flush()
  {
    Out.push_back(FByte);
    FByte = 0;
    FCount = 0;
  }
  std::uint8_t FByte = 0;
  int FCount = 0;
};

inline TBytes Tag(int Code, const TBytes& Body, bool Long = false)
{
  TBitWriter w;
  if (!Long && Body.size() < 0x3F) {
    w.U16(static_cast<std::uint16_t>(Code << 6 | static_cast<int>(Body.size())));
  } else {
    w.U16(static_cast<std::uint16_t>(Code << 6 | 0x3F)).U32(static_cast<std::uint32_t>(Body.size()));
  }
  return w.Raw(Body).Out;
}

inline TBytes Join(std::initializer_list<TBytes> Parts)
{
  TBytes all;
  for (const TBytes& p : Parts)
    all.insert(all.end(), p.begin(), p.end());
  return all;
}

inline TBytes ShowFrame()
{
  return Tag(1, {});
}
inline TBytes End()
{
  return Tag(0, {});
}

// DefineShape (1) of one solid rectangle W x H twips at the origin.
inline TBytes RectShape(std::uint16_t Id, std::int32_t W, std::int32_t H, std::uint8_t R = 255,
                        std::uint8_t G = 0, std::uint8_t B = 0)
{
  TBitWriter w;
  w.U16(Id).Rect(0, W, 0, H);
  w.U8(1).U8(0x00).U8(R).U8(G).U8(B); // one solid fill
  w.U8(0);                            // no lines
  w.Bits(1, 4).Bits(0, 4);            // fill bits 1, line bits 0
  // Style change: move to (0,0), fill1 = 1.
  w.Bits(0, 1).Bits(0b00101, 5).Bits(16, 5).SBits(0, 16).SBits(0, 16).Bits(1, 1);
  // Four straight edges (general lines), 16-bit deltas (NumBits 14 + 2).
  const std::int32_t d[4][2] = {{W, 0}, {0, H}, {-W, 0}, {0, -H}};
  for (const auto& e : d)
    w.Bits(1, 1).Bits(1, 1).Bits(14, 4).Bits(1, 1).SBits(e[0], 16).SBits(e[1], 16);
  w.Bits(0, 6); // end of shape
  w.Align();
  return Tag(2, w.Out);
}

// PlaceObject2 placing (or, with Move, modifying) at Depth.
inline TBytes Place2(std::uint16_t Depth, int Character, std::int32_t Tx = 0, std::int32_t Ty = 0,
                     bool Move = false, int Ratio = -1)
{
  TBitWriter w;
  std::uint8_t flags = 0x04; // matrix
  if (Move)
    flags |= 0x01;
  if (Character >= 0)
    flags |= 0x02;
  if (Ratio >= 0)
    flags |= 0x10;
  w.U8(flags).U16(Depth);
  if (Character >= 0)
    w.U16(static_cast<std::uint16_t>(Character));
  w.Matrix(Tx, Ty);
  if (Ratio >= 0)
    w.U16(static_cast<std::uint16_t>(Ratio));
  return Tag(26, w.Out);
}

inline TBytes Remove2(std::uint16_t Depth)
{
  return Tag(28, TBitWriter().U16(Depth).Out);
}

inline TBytes SpriteTag(std::uint16_t Id, std::uint16_t Frames, const TBytes& Tags)
{
  return Tag(39, TBitWriter().U16(Id).U16(Frames).Raw(Tags).Out);
}

inline TBytes DoAction(const TBytes& Actions)
{
  TBytes body = Actions;
  body.push_back(0);
  return Tag(12, body);
}

// A whole file: the header (stage W x H pixels, 24 fps) and the tags.
inline TBytes MovieFile(const TBytes& Tags, char Signature = 'F', std::uint16_t Frames = 1,
                        std::int32_t W = 550, std::int32_t H = 400, std::uint8_t Version = 10)
{
  TBitWriter body;
  body.Rect(0, W * 20, 0, H * 20).U16(24 << 8).U16(Frames).Raw(Tags);
  const TBytes& raw = body.Out;
  TBitWriter file;
  file.U8(static_cast<std::uint8_t>(Signature)).U8('W').U8('S').U8(Version);
  file.U32(static_cast<std::uint32_t>(raw.size() + 8));
  if (Signature == 'F')
    return file.Raw(raw).Out;
  if (Signature == 'C') {
    uLongf size = compressBound(raw.size());
    TBytes packed(size);
    compress(packed.data(), &size, raw.data(), raw.size());
    packed.resize(size);
    return file.Raw(packed).Out;
  }
  // LZMA: an .lzma ("alone") stream holds the 5 property bytes, an 8-byte
  // size and the data; the file keeps the properties and the data.
  lzma_options_lzma opt;
  lzma_lzma_preset(&opt, 6);
  lzma_stream z = LZMA_STREAM_INIT;
  if (lzma_alone_encoder(&z, &opt) != LZMA_OK)
    return {};
  TBytes packed(raw.size() + raw.size() / 2 + 1024);
  z.next_in = raw.data();
  z.avail_in = raw.size();
  z.next_out = packed.data();
  z.avail_out = packed.size();
  if (lzma_code(&z, LZMA_FINISH) != LZMA_STREAM_END)
    packed.clear();
  else
    packed.resize(packed.size() - z.avail_out);
  lzma_end(&z);
  if (packed.size() < 13)
    return {};
  const TBytes props(packed.begin(), packed.begin() + 5);
  const TBytes data(packed.begin() + 13, packed.end());
  file.U32(static_cast<std::uint32_t>(data.size()));
  return file.Raw(props).Raw(data).Out;
}

} // namespace quenloft::swf::test
