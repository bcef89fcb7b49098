#include "swf/VideoDecoder.h"

#include <algorithm>
#include <cstring>
#include <mutex>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/log.h>
#include <libavutil/imgutils.h>
#include <libswscale/swscale.h>
}

namespace quenloft::swf {

namespace {

// Reads bits from the most significant down; past the end it reads zeros
// and says so.
class Bits {
public:
  explicit Bits(std::span<const std::uint8_t> B) : FBytes(B) {}
  std::uint32_t Take(int Count)
  {
    std::uint32_t v = 0;
    for (int i = 0; i < Count; ++i, ++FPos) {
      const std::size_t byte = FPos / 8;
      FOver |= byte >= FBytes.size();
      const int bit = byte < FBytes.size() ? (FBytes[byte] >> (7 - FPos % 8)) & 1 : 0;
      v = (v << 1) | static_cast<std::uint32_t>(bit);
    }
    return v;
  }
  bool Over() const { return FOver; }

private:
  std::span<const std::uint8_t> FBytes;
  std::size_t FPos = 0;
  bool FOver = false;
};

bool H263KeyFrame(std::span<const std::uint8_t> P)
{
  Bits b(P);
  if (b.Take(17) != 1)
    return false;
  b.Take(5 + 8); // version, temporal reference
  const std::uint32_t size = b.Take(3);
  if (size == 0)
    b.Take(16);
  else if (size == 1)
    b.Take(32);
  return b.Take(2) == 0 && !b.Over(); // 0: intra, 1: inter, 2: disposable inter
}

// A Screen Video packet updates only the blocks it carries data for; one
// that carries all of them stands alone.
bool ScreenVideoKeyFrame(std::span<const std::uint8_t> P)
{
  Bits b(P);
  const std::uint32_t blockWidth = (b.Take(4) + 1) * 16;
  const std::uint32_t width = b.Take(12);
  const std::uint32_t blockHeight = (b.Take(4) + 1) * 16;
  const std::uint32_t height = b.Take(12);
  if (b.Over() || width == 0 || height == 0)
    return false;
  const std::size_t blocks =
      std::size_t{(width + blockWidth - 1) / blockWidth} * ((height + blockHeight - 1) / blockHeight);
  std::size_t at = 4;
  for (std::size_t i = 0; i < blocks; ++i) {
    if (at + 2 > P.size())
      return false;
    const std::size_t size = (std::size_t{P[at]} << 8) | P[at + 1];
    if (size == 0)
      return false;
    at += 2 + size;
  }
  return true;
}

// Colour conversion: the codec's own chroma upsampled bilinearly at full
// resolution, rounded exactly, so the same data gives the same pixels on
// every machine.
constexpr int VideoScaleFlags = SWS_BILINEAR | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT | SWS_FULL_CHR_H_INP | SWS_BITEXACT;

AVCodecID CodecIdOf(std::uint8_t Codec)
{
  switch (static_cast<VideoCodec>(Codec)) {
  case VideoCodec::H263: return AV_CODEC_ID_FLV1;
  case VideoCodec::ScreenVideo: return AV_CODEC_ID_FLASHSV;
  case VideoCodec::VP6: return AV_CODEC_ID_VP6F;
  case VideoCodec::VP6Alpha: return AV_CODEC_ID_VP6A;
  case VideoCodec::ScreenVideo2: return AV_CODEC_ID_FLASHSV2;
  }
  return AV_CODEC_ID_NONE;
}

} // namespace

bool IsVideoKeyFrame(std::uint8_t Codec, std::span<const std::uint8_t> P, bool FirstPacket)
{
  switch (static_cast<VideoCodec>(Codec)) {
  case VideoCodec::H263: return H263KeyFrame(P);
  case VideoCodec::VP6: return !P.empty() && (P[0] & 0x80) == 0;
  case VideoCodec::VP6Alpha: return P.size() > 3 && (P[3] & 0x80) == 0; // after the alpha offset
  case VideoCodec::ScreenVideo: return ScreenVideoKeyFrame(P);
  case VideoCodec::ScreenVideo2: return FirstPacket; // decoded from the start
  }
  return false;
}

struct VideoDecoder::Codec {
  AVCodecContext* Context = nullptr;
  AVFrame* Frame = nullptr;
  AVPacket* Packet = nullptr;
  SwsContext* Scaler = nullptr;

  ~Codec()
  {
    sws_freeContext(Scaler);
    av_packet_free(&Packet);
    av_frame_free(&Frame);
    avcodec_free_context(&Context);
  }
};

VideoDecoder::VideoDecoder(const VideoStream& Stream) : FStream(Stream)
{
  // A damaged movie is no news: the codecs' complaints stay off the
  // terminal.
  static std::once_flag quiet;
  std::call_once(quiet, [] { av_log_set_level(AV_LOG_QUIET); });
  FKey.reserve(Stream.Packets.size());
  for (std::size_t i = 0; i < Stream.Packets.size(); ++i)
    FKey.push_back(IsVideoKeyFrame(Stream.Codec, Stream.Packets[i].Data, i == 0));
}

VideoDecoder::~VideoDecoder() = default;

bool VideoDecoder::Restart()
{
  FDecoded.reset();
  FHavePicture = false;
  FCodec.reset();
  const AVCodecID id = CodecIdOf(FStream.Codec);
  const AVCodec* codec = id == AV_CODEC_ID_NONE ? nullptr : avcodec_find_decoder(id);
  if (!codec || FStream.Width == 0 || FStream.Height == 0)
    return false;
  auto c = std::make_unique<Codec>();
  c->Context = avcodec_alloc_context3(codec);
  c->Frame = av_frame_alloc();
  c->Packet = av_packet_alloc();
  if (!c->Context || !c->Frame || !c->Packet)
    return false;
  c->Context->width = FStream.Width;
  c->Context->height = FStream.Height;
  c->Context->thread_count = 1;
  // The codec refuses a picture larger than the stream before it takes the
  // memory (codecs pad their pictures to whole blocks, hence the margin).
  c->Context->max_pixels = (std::int64_t{FStream.Width} + 64) * (std::int64_t{FStream.Height} + 64);
  if (FStream.Deblocking == 1)
    c->Context->skip_loop_filter = AVDISCARD_ALL;
  if (avcodec_open2(c->Context, codec, nullptr) < 0)
    return false;
  FCodec = std::move(c);
  return true;
}

bool VideoDecoder::Decode(std::size_t Index, bool Convert)
{
  Codec& c = *FCodec;
  const std::vector<std::uint8_t>& data = FStream.Packets[Index].Data;
  if (av_new_packet(c.Packet, static_cast<int>(data.size())) < 0)
    return false;
  if (!data.empty())
    std::memcpy(c.Packet->data, data.data(), data.size());
  if (FKey[Index])
    c.Packet->flags |= AV_PKT_FLAG_KEY;
  const int sent = avcodec_send_packet(c.Context, c.Packet);
  av_packet_unref(c.Packet);
  if (sent < 0)
    return false;
  if (avcodec_receive_frame(c.Context, c.Frame) < 0)
    return false;
  FDecoded = Index;
  const AVFrame& f = *c.Frame;
  if (!Convert)
    return true;
  // A picture larger than the stream it belongs to draws nothing.
  if (f.width <= 0 || f.height <= 0 || f.width > FStream.Width || f.height > FStream.Height)
    return false;
  c.Scaler = sws_getCachedContext(c.Scaler, f.width, f.height, static_cast<AVPixelFormat>(f.format), f.width,
                                  f.height, AV_PIX_FMT_BGRA, VideoScaleFlags, nullptr, nullptr, nullptr);
  if (!c.Scaler)
    return false;
  FPicture.Width = static_cast<std::uint32_t>(f.width);
  FPicture.Height = static_cast<std::uint32_t>(f.height);
  FPicture.Pixels.assign(std::size_t{FPicture.Width} * FPicture.Height, 0);
  std::uint8_t* planes[4] = {reinterpret_cast<std::uint8_t*>(FPicture.Pixels.data()), nullptr, nullptr, nullptr};
  int strides[4] = {f.width * 4, 0, 0, 0};
  if (sws_scale(c.Scaler, f.data, f.linesize, 0, f.height, planes, strides) != f.height)
    return false;
  FHavePicture = true;
  return true;
}

const VideoPicture* VideoDecoder::Picture(std::uint32_t Frame)
{
  const auto& packets = FStream.Packets;
  // The last packet at or before Frame.
  const auto after = std::upper_bound(packets.begin(), packets.end(), Frame,
                                      [](std::uint32_t F, const VideoStream::Packet& P) { return F < P.Frame; });
  if (after == packets.begin())
    return nullptr;
  const std::size_t target = static_cast<std::size_t>(after - packets.begin()) - 1;
  if (FDecoded == target)
    return FHavePicture ? &FPicture : nullptr;
  std::size_t key = target + 1;
  for (std::size_t i = target + 1; i-- > 0;) {
    if (FKey[i]) {
      key = i;
      break;
    }
  }
  if (key > target)
    return nullptr; // no key frame before it
  std::size_t from = key;
  if (FCodec && FDecoded && *FDecoded < target && *FDecoded >= key)
    from = *FDecoded + 1;
  else if (!Restart())
    return nullptr;
  FHavePicture = false;
  for (std::size_t i = from; i <= target; ++i) {
    if (!Decode(i, i == target)) {
      FDecoded.reset(); // the codec's state no longer follows the packets
      FCodec.reset();
      return nullptr;
    }
  }
  return FHavePicture ? &FPicture : nullptr;
}

} // namespace quenloft::swf
