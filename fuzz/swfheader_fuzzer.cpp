// Fuzzes the SWF header reader with arbitrary file contents: plain and
// compressed headers, cut and damaged ones. Every input must end in a header
// or in one of the reader's own errors, the same way twice, and a header of
// any other signature must be all zero.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "swf/SWFStreams.h"

namespace {

std::string Describe(const std::uint8_t* Data, std::size_t Size)
{
  quenloft::TMemoryStream stream(std::string(reinterpret_cast<const char*>(Data), Size));
  quenloft::TSWFFileHeader h;
  try {
    quenloft::ReadSWFHeader(stream, h);
  } catch (const quenloft::EZDecompressionError&) {
    return "Error";
  } catch (const quenloft::EReadError&) {
    return "Stream read error";
  }
  const bool movie = std::memcmp(h.Signature, "FWS", 3) == 0 || std::memcmp(h.Signature, "CWS", 3) == 0;
  if (!movie &&
      (h.Signature[0] != 0 || h.Version != 0 || h.FileLength != 0 || h.Rect.Xmin != 0 || h.Rect.Xmax != 0 ||
       h.Rect.Ymin != 0 || h.Rect.Ymax != 0 || h.FrameRate != 0 || h.FrameCount != 0))
    std::abort();
  return std::string(h.Signature, 3) + std::to_string(h.Version) + "/" + std::to_string(h.FileLength) + "/" +
         std::to_string(h.Rect.Xmin) + "," + std::to_string(h.Rect.Ymin) + "," + std::to_string(h.Rect.Xmax) +
         "," + std::to_string(h.Rect.Ymax) + "/" + std::to_string(h.FrameRate) + "/" +
         std::to_string(h.FrameCount);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size)
{
  if (Describe(Data, Size) != Describe(Data, Size))
    std::abort();
  return 0;
}
