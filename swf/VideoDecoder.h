// Decodes the frames of an embedded video stream with libavcodec: Sorenson
// H.263, Screen Video 1 and 2, VP6 and VP6 with alpha.
//
// A frame depends on the frames before it back to a key frame, so the
// decoder keeps the codec's state between calls: asking for the next frame
// decodes one packet; going back, or jumping past a key frame, starts again
// from the last key frame at or before the frame asked for.
//
// Bounds: a picture larger than the stream's declared size is refused by
// the codec before it takes pixel memory, and so are unknown codec ids and
// frames with no key frame before them: Picture then returns nullptr.
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

namespace quenloft::swf {

struct VideoPicture {
  std::uint32_t Width = 0;
  std::uint32_t Height = 0;
  std::vector<std::uint32_t> Pixels; // 0xAARRGGBB, straight alpha, rows top to bottom
};

// Whether a packet of Codec starts a key frame, from its header alone.
bool IsVideoKeyFrame(std::uint8_t Codec, std::span<const std::uint8_t> Packet, bool FirstPacket);

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

private:
  struct Codec;
  bool Restart();
  bool Decode(std::size_t Index, bool Convert);

  const VideoStream& FStream;
  std::unique_ptr<Codec> FCodec;
  std::vector<bool> FKey; // per packet
  std::optional<std::size_t> FDecoded; // the last packet decoded, while the codec state follows it
  bool FHavePicture = false;
  VideoPicture FPicture;
};

} // namespace quenloft::swf
