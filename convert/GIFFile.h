// The GIF89a byte stream: the header with an optional global colour table,
// the looping extension, and images (a rectangle of palette indices with
// its own table or the global one, a delay and a transparent index), each
// compressed with GIF's variable-length LZW.
//
// Errors: a write that fails raises EConvertError.
//
// Threads: one thread at a time.
#pragma once

#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <vector>

namespace quenloft::convert {

// Up to 256 colours, 0xRRGGBB.
using TGIFColours = std::vector<std::uint32_t>;

class TGIFFile {
public:
  // Opens Path for writing; Global may be empty (every image has its own).
  // Loops: play forever, or once.
  TGIFFile(const std::string& Path, int Width, int Height, const TGIFColours& Global, bool Loops);
  ~TGIFFile();
  TGIFFile(const TGIFFile&) = delete;
  TGIFFile& operator=(const TGIFFile&) = delete;

  struct TImage {
    int X = 0, Y = 0, Width = 0, Height = 0;
    const std::uint8_t* Pixels = nullptr; // Width x Height indices, Stride apart
    std::size_t Stride = 0;
    const TGIFColours* Local = nullptr; // null: the global table
    int Transparent = -1;               // an index shown as "keep what was there"
    int DelayCs = 0;                    // hundredths of a second
  };
  void Add(const TImage& Image);
  // Writes the trailer and closes the file.
  void Close();

private:
  void Put(const void* Data, std::size_t Size);
  void PutByte(int Byte);
  void PutU16(int Value);
  void PutTable(const TGIFColours& Colours);
  void Compress(const TImage& Image, int MinCodeSize);

  std::FILE* FFile = nullptr;
  std::string FPath;
  // The LZW dictionary, code x byte -> child code, stamped with the
  // dictionary's generation so that starting a new one clears nothing.
  std::vector<std::uint32_t> FChild;
  std::uint32_t FGeneration = 0;
  void NewDictionary();
  std::vector<std::uint8_t> FBlock;  // packed codes waiting for a sub-block
};

// Bits of the colour table that holds Count colours (1 to 8).
int TableBits(std::size_t Count);

} // namespace quenloft::convert
