#include "swf/VideoDecoder.h"

#include "swf/VideoPixels.h"

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

// The Sorenson picture header up to the quantizer: start code (17 bits),
// version (5), temporal reference (8), size (3, then 16 or 32 bits of
// custom size), picture type (2), deblocking flag (1), quantizer (5).
struct SorensonHeader {
  std::uint32_t Type = 0; // 0: intra, 1: inter, 2: disposable inter
  bool Deblocking = false;
  int Quantizer = 0;
};

std::optional<SorensonHeader> ReadSorensonHeader(std::span<const std::uint8_t> P)
{
  Bits b(P);
  if (b.Take(17) != 1)
    return std::nullopt;
  b.Take(5 + 8);
  const std::uint32_t size = b.Take(3);
  if (size == 0)
    b.Take(16);
  else if (size == 1)
    b.Take(32);
  SorensonHeader h;
  h.Type = b.Take(2);
  h.Deblocking = b.Take(1) != 0;
  h.Quantizer = static_cast<int>(b.Take(5));
  if (b.Over())
    return std::nullopt;
  return h;
}

bool H263KeyFrame(std::span<const std::uint8_t> P)
{
  const auto h = ReadSorensonHeader(P);
  return h && h->Type == 0;
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

// Codecs whose output is not 4:2:0 (Screen Video's BGR) are turned into
// BGRA exactly.
constexpr int VideoScaleFlags = SWS_POINT | SWS_ACCURATE_RND | SWS_BITEXACT;

bool IsVp6(std::uint8_t Codec)
{
  return Codec == static_cast<std::uint8_t>(VideoCodec::VP6) || Codec == static_cast<std::uint8_t>(VideoCodec::VP6Alpha);
}

// Rows Width bytes long of a plane Stride apart, packed.
void CopyPlane(const std::uint8_t* From, int Stride, std::uint32_t Width, std::uint32_t Height,
               std::vector<std::uint8_t>& To)
{
  To.resize(std::size_t{Width} * Height);
  for (std::uint32_t y = 0; y < Height; ++y)
    std::memcpy(To.data() + std::size_t{y} * Width, From + std::ptrdiff_t{Stride} * y, Width);
}

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

std::optional<SorensonPictureInfo> SorensonPicture(std::span<const std::uint8_t> Packet)
{
  const auto h = ReadSorensonHeader(Packet);
  if (!h)
    return std::nullopt;
  return SorensonPictureInfo{h->Deblocking, h->Quantizer};
}

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
  // VP6 pictures are cut to the stream, and files do code them larger than
  // they show them: up to four times the area passes.
  c->Context->max_pixels = (std::int64_t{FStream.Width} + 64) * (std::int64_t{FStream.Height} + 64);
  if (IsVp6(FStream.Codec))
    c->Context->max_pixels *= 4;
  // The player's H.263 inverse transform works in floating point; of the
  // codec's, the floating point one comes nearest to it (a sample in a few
  // hundred thousand still differs by one).
  if (id == AV_CODEC_ID_FLV1)
    c->Context->idct_algo = FF_IDCT_FAAN;
  if (avcodec_open2(c->Context, codec, nullptr) < 0)
    return false;
  FCodec = std::move(c);
  return true;
}

bool VideoDecoder::Decode(std::size_t Index, bool Convert)
{
  Codec& c = *FCodec;
  const std::vector<std::uint8_t>& data = FStream.Packets[Index].Data;
  // An empty VP6 packet repeats the picture before it.
  const bool repeat = IsVp6(FStream.Codec) &&
                      data.size() <= (FStream.Codec == static_cast<std::uint8_t>(VideoCodec::VP6Alpha) ? 3u : 0u);
  if (repeat) {
    if (!c.Frame->data[0])
      return false;
  } else {
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
  }
  FDecoded = Index;
  const AVFrame& f = *c.Frame;
  if (!Convert)
    return true;
  std::uint32_t width = static_cast<std::uint32_t>(std::max(f.width, 0));
  std::uint32_t height = static_cast<std::uint32_t>(std::max(f.height, 0));
  if (IsVp6(FStream.Codec)) {
    // Whole macroblocks, of which the stream shows its own size.
    width = std::min<std::uint32_t>(width, FStream.Width);
    height = std::min<std::uint32_t>(height, FStream.Height);
  } else if (width > FStream.Width || height > FStream.Height) {
    return false; // a picture larger than the stream it belongs to draws nothing
  }
  if (width == 0 || height == 0)
    return false;
  FPicture.Width = width;
  FPicture.Height = height;
  FPicture.Pixels.assign(std::size_t{width} * height, 0);
  if (KeepPlanes(f, width, height)) {
    const int strength = DeblockingFor(Index);
    const VideoPlanes* planes = &FPlanes;
    if (strength > 0) {
      FFiltered = FPlanes;
      const std::uint32_t cw = (width + 1) / 2, ch = (height + 1) / 2;
      DeblockPlane(FFiltered.Y, width, height, strength);
      DeblockPlane(FFiltered.U, cw, ch, strength);
      DeblockPlane(FFiltered.V, cw, ch, strength);
      planes = &FFiltered;
    }
    const std::uint32_t cw = (width + 1) / 2;
    YuvPicture in{width, height, {planes->Y.data(), width}, {planes->U.data(), cw}, {planes->V.data(), cw}, {}};
    if (!planes->A.empty())
      in.Alpha = VideoPlane{planes->A.data(), width};
    YuvToArgb(in, FPicture.Pixels);
    FHavePicture = true;
    return true;
  }
  c.Scaler = sws_getCachedContext(c.Scaler, static_cast<int>(width), static_cast<int>(height),
                                  static_cast<AVPixelFormat>(f.format), static_cast<int>(width),
                                  static_cast<int>(height), AV_PIX_FMT_BGRA, VideoScaleFlags, nullptr, nullptr,
                                  nullptr);
  if (!c.Scaler)
    return false;
  std::uint8_t* planes[4] = {reinterpret_cast<std::uint8_t*>(FPicture.Pixels.data()), nullptr, nullptr, nullptr};
  int strides[4] = {static_cast<int>(width) * 4, 0, 0, 0};
  if (sws_scale(c.Scaler, f.data, f.linesize, 0, static_cast<int>(height), planes, strides) !=
      static_cast<int>(height))
    return false;
  FHavePicture = true;
  return true;
}

bool VideoDecoder::KeepPlanes(const AVFrame& F, std::uint32_t Width, std::uint32_t Height)
{
  FPlanes = {};
  const bool alpha = F.format == AV_PIX_FMT_YUVA420P;
  if (F.format != AV_PIX_FMT_YUV420P && !alpha)
    return false;
  const std::uint32_t cw = (Width + 1) / 2, ch = (Height + 1) / 2;
  FPlanes.Width = Width;
  FPlanes.Height = Height;
  CopyPlane(F.data[0], F.linesize[0], Width, Height, FPlanes.Y);
  CopyPlane(F.data[1], F.linesize[1], cw, ch, FPlanes.U);
  CopyPlane(F.data[2], F.linesize[2], cw, ch, FPlanes.V);
  if (alpha)
    CopyPlane(F.data[3], F.linesize[3], Width, Height, FPlanes.A);
  return true;
}

// Sorenson streams are deblocked when the stream says so (2), or leaves it
// to the packets (0) and the packet's header asks; the other levels are
// On2's filters and apply to VP6 only.
int VideoDecoder::DeblockingFor(std::size_t Index) const
{
  if (FStream.Codec != static_cast<std::uint8_t>(VideoCodec::H263) || (FStream.Deblocking != 0 && FStream.Deblocking != 2))
    return 0;
  const auto h = SorensonPicture(FStream.Packets[Index].Data);
  if (!h || (FStream.Deblocking == 0 && !h->Deblocking))
    return 0;
  return DeblockingStrength(h->Quantizer);
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
