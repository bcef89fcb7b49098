// Decodes the frames of an embedded video stream with libavcodec: Sorenson
// H.263, Screen Video 1 and 2, VP6 and VP6 with alpha.
//
// A frame depends on the frames before it back to a key frame, so the
// decoder keeps the codec's state between calls: asking for the next frame
// decodes one packet; going back, or jumping past a key frame, starts again
// from the last key frame at or before the frame asked for.
//
// The player's own steps follow the codec: Sorenson pictures go through
// the deblocking post-filter when the stream or the packet asks for it,
// and 4:2:0 pictures are converted to RGB as swf/VideoPixels does it.
// VP6 codes whole macroblocks: its pictures are cut to the stream's size.
//
// Bounds: a picture larger than the stream's declared size (for VP6: more
// than four times its area) is refused by the codec before it takes pixel
// memory, and so are unknown codec ids and frames with no key frame before
// them: Picture then returns nullptr.
//
// Threads: one thread at a time per VideoDecoder; the stream is only read
// and must outlive the decoder.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "swf/Movie.h"

struct AVFrame; // libavcodec

namespace quenloft::swf {

struct VideoPicture {
  std::uint32_t Width = 0;
  std::uint32_t Height = 0;
  std::vector<std::uint32_t> Pixels; // 0xAARRGGBB, premultiplied, rows top to bottom
};

// A 4:2:0 picture as the codec produced it, cut to the stream's size:
// chroma of (Width + 1) / 2 x (Height + 1) / 2, Alpha empty unless the
// codec has it. Rows are packed.
struct VideoPlanes {
  std::uint32_t Width = 0;
  std::uint32_t Height = 0;
  std::vector<std::uint8_t> Y, U, V, A;
};

// Whether a packet of Codec starts a key frame, from its header alone.
bool IsVideoKeyFrame(std::uint8_t Codec, std::span<const std::uint8_t> Packet, bool FirstPacket);

// The picture quantizer of a Sorenson H.263 packet, and whether its header
// asks for deblocking; nothing for a damaged header.
struct SorensonPictureInfo {
  bool Deblocking = false;
  int Quantizer = 0;
};
std::optional<SorensonPictureInfo> SorensonPicture(std::span<const std::uint8_t> Packet);

class VideoDecoder {
public:
  explicit VideoDecoder(const VideoStream& Stream);
  ~VideoDecoder();
  VideoDecoder(const VideoDecoder&) = delete;
  VideoDecoder& operator=(const VideoDecoder&) = delete;

  // The picture shown at the stream's frame Frame: that frame's packet, or
  // the last packet before it. Null when nothing can be shown. The pointer
  // stays valid until the next call.
  const VideoPicture* Picture(std::uint32_t Frame);

  // The codec's own planes of the picture Picture returned last, before
  // deblocking and conversion; null when that codec's output is not 4:2:0
  // or nothing was shown.
  const VideoPlanes* CodecPlanes() const { return FHavePicture && !FPlanes.Y.empty() ? &FPlanes : nullptr; }

private:
  struct Codec;
  bool Restart();
  bool Decode(std::size_t Index, bool Convert);
  bool KeepPlanes(const AVFrame& F, std::uint32_t Width, std::uint32_t Height);
  int DeblockingFor(std::size_t Index) const;

  const VideoStream& FStream;
  std::unique_ptr<Codec> FCodec;
  std::vector<bool> FKey; // per packet
  std::optional<std::size_t> FDecoded; // the last packet decoded, while the codec state follows it
  bool FHavePicture = false;
  VideoPicture FPicture;
  VideoPlanes FPlanes;
  VideoPlanes FFiltered; // deblocked copy
};

} // namespace quenloft::swf
