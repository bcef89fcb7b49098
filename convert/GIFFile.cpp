#include "convert/GIFFile.h"

#include "convert/Options.h"

#include <cerrno>
#include <cstring>

namespace quenloft::convert {
namespace {

constexpr int MaxCodes = 4096; // 12-bit codes

// Packs LZW codes least significant bit first and cuts the bytes into
// sub-blocks of at most 255.
class TBitPacker {
public:
  explicit TBitPacker(std::vector<std::uint8_t>& Out) : FOut(Out) {}
  void Code(int Value, int Bits)
  {
    FBuffer |= static_cast<std::uint32_t>(Value) << FCount;
    FCount += Bits;
    while (FCount >= 8) {
      FOut.push_back(static_cast<std::uint8_t>(FBuffer));
      FBuffer >>= 8;
      FCount -= 8;
    }
  }
  void Flush()
  {
    if (FCount > 0)
      FOut.push_back(static_cast<std::uint8_t>(FBuffer));
    FBuffer = 0;
    FCount = 0;
  }

private:
  std::vector<std::uint8_t>& FOut;
  std::uint32_t FBuffer = 0;
  int FCount = 0;
};

} // namespace

int TableBits(std::size_t Count)
{
  int bits = 1;
  while ((std::size_t{1} << bits) < Count && bits < 8)
    ++bits;
  return bits;
}

TGIFFile::TGIFFile(const std::string& Path, int Width, int Height, const TGIFColours& Global, bool Loops)
    : FPath(Path)
{
  FFile = std::fopen(Path.c_str(), "wb");
  if (!FFile)
    throw EConvertError("cannot write " + Path + ": " + std::strerror(errno));
  FChild.resize(std::size_t{MaxCodes} * 256);
  Put("GIF89a", 6);
  PutU16(Width);
  PutU16(Height);
  const int bits = Global.empty() ? 1 : TableBits(Global.size());
  PutByte((Global.empty() ? 0 : 0x80) | 0x70 | (bits - 1)); // 8 bits per primary
  PutByte(0);                                                // background index
  PutByte(0);                                                // square pixels
  if (!Global.empty())
    PutTable(Global);
  if (Loops) {
    // The application extension browsers read as "repeat forever".
    const std::uint8_t loop[] = {0x21, 0xFF, 0x0B, 'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E',
                                 '2',  '.',  '0',  0x03, 0x01, 0x00, 0x00, 0x00};
    Put(loop, sizeof loop);
  }
}

TGIFFile::~TGIFFile()
{
  if (FFile)
    std::fclose(FFile);
}

void TGIFFile::Put(const void* Data, std::size_t Size)
{
  if (std::fwrite(Data, 1, Size, FFile) != Size)
    throw EConvertError("cannot write " + FPath + ": " + std::strerror(errno));
}

void TGIFFile::PutByte(int Byte)
{
  const auto b = static_cast<std::uint8_t>(Byte);
  Put(&b, 1);
}

void TGIFFile::PutU16(int Value)
{
  PutByte(Value & 0xFF);
  PutByte((Value >> 8) & 0xFF);
}

void TGIFFile::PutTable(const TGIFColours& Colours)
{
  const std::size_t size = std::size_t{1} << TableBits(Colours.size());
  std::vector<std::uint8_t> table(size * 3, 0);
  for (std::size_t i = 0; i < Colours.size() && i < size; ++i) {
    table[3 * i] = static_cast<std::uint8_t>(Colours[i] >> 16);
    table[3 * i + 1] = static_cast<std::uint8_t>(Colours[i] >> 8);
    table[3 * i + 2] = static_cast<std::uint8_t>(Colours[i]);
  }
  Put(table.data(), table.size());
}

void TGIFFile::Add(const TImage& Image)
{
  // Graphic control: keep the image in place afterwards (disposal 1), the
  // delay, and the transparent index when there is one.
  PutByte(0x21);
  PutByte(0xF9);
  PutByte(4);
  PutByte((1 << 2) | (Image.Transparent >= 0 ? 1 : 0));
  PutU16(Image.DelayCs);
  PutByte(Image.Transparent >= 0 ? Image.Transparent : 0);
  PutByte(0);

  PutByte(0x2C);
  PutU16(Image.X);
  PutU16(Image.Y);
  PutU16(Image.Width);
  PutU16(Image.Height);
  int bits = 8;
  if (Image.Local) {
    bits = TableBits(Image.Local->size());
    PutByte(0x80 | (bits - 1));
    PutTable(*Image.Local);
  } else {
    PutByte(0);
  }
  // Codes start one bit wider than the indices, and at least 3 bits.
  Compress(Image, std::max(2, bits));
}

void TGIFFile::NewDictionary()
{
  // Generation 0 marks the never-used slots; after 2^20 dictionaries the
  // stamps start over from a cleared table.
  if (++FGeneration >= (1u << 20)) {
    std::fill(FChild.begin(), FChild.end(), 0);
    FGeneration = 1;
  }
}

void TGIFFile::Compress(const TImage& Image, int MinCodeSize)
{
  const int clear = 1 << MinCodeSize;
  FBlock.clear();
  TBitPacker out(FBlock);
  int size = MinCodeSize + 1;
  int next = clear + 2; // the next free code
  // A code goes out at the current width; the width grows once the next
  // free code no longer fits, which is when the reader widens too (it adds
  // its entries one code later than the writer).
  const auto emit = [&](int Code) {
    out.Code(Code, size);
    if (next >= (1 << size) && size < 12)
      ++size;
  };
  NewDictionary();
  emit(clear);
  int current = -1;
  for (int y = 0; y < Image.Height; ++y) {
    const std::uint8_t* row = Image.Pixels + y * Image.Stride;
    for (int x = 0; x < Image.Width; ++x) {
      const int pixel = row[x];
      if (current < 0) {
        current = pixel;
        continue;
      }
      std::uint32_t& child = FChild[static_cast<std::size_t>(current) * 256 + pixel];
      if (child >> 12 == FGeneration) {
        current = static_cast<int>(child & 0xFFF);
        continue;
      }
      emit(current);
      if (next >= MaxCodes - 1) {
        // The dictionary is full: start a new one.
        emit(clear);
        NewDictionary();
        size = MinCodeSize + 1;
        next = clear + 2;
      } else {
        child = FGeneration << 12 | static_cast<std::uint32_t>(next++);
      }
      current = pixel;
    }
  }
  if (current >= 0)
    emit(current);
  emit(clear + 1);
  out.Flush();

  PutByte(MinCodeSize);
  for (std::size_t at = 0; at < FBlock.size(); at += 255) {
    const std::size_t n = std::min<std::size_t>(255, FBlock.size() - at);
    PutByte(static_cast<int>(n));
    Put(FBlock.data() + at, n);
  }
  PutByte(0);
}

void TGIFFile::Close()
{
  PutByte(0x3B);
  std::FILE* f = FFile;
  FFile = nullptr;
  if (std::fflush(f) != 0 || std::ferror(f)) {
    std::fclose(f);
    throw EConvertError("cannot write " + FPath + ": " + std::strerror(errno));
  }
  if (std::fclose(f) != 0)
    throw EConvertError("cannot write " + FPath + ": " + std::strerror(errno));
}

} // namespace quenloft::convert
