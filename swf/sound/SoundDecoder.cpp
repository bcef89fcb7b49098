#include "swf/sound/SoundDecoder.h"

#include <algorithm>
#include <cstring>
#include <string>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
#include <libavutil/log.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

namespace quenloft::swf {

namespace {

// Uncompressed and Nellymoser data go to the codec in chunks of about this
// many samples; ADPCM in its own 4096-sample blocks; MP3 frame by frame.
constexpr std::size_t kChunkFrames = 4096;
constexpr std::size_t kNellyBlock = 64; // bytes; 256 samples each
constexpr int kAdpcmBlockSamples = 4096;
constexpr std::size_t kParseSlice = 4096; // MP3 bytes handed to the frame parser at a time

AVCodecID CodecOf(const SoundFormat& F)
{
  switch (F.Coding) {
  case SoundCoding::PcmNative:
  case SoundCoding::PcmLittle: return F.Is16Bit ? AV_CODEC_ID_PCM_S16LE : AV_CODEC_ID_PCM_U8;
  case SoundCoding::Adpcm: return AV_CODEC_ID_ADPCM_SWF;
  case SoundCoding::Mp3: return AV_CODEC_ID_MP3;
  case SoundCoding::Nellymoser16k:
  case SoundCoding::Nellymoser8k:
  case SoundCoding::Nellymoser: return AV_CODEC_ID_NELLYMOSER;
  case SoundCoding::Speex: return AV_CODEC_ID_SPEEX;
  }
  return AV_CODEC_ID_NONE;
}

int ChannelsOf(const SoundFormat& F)
{
  // Nellymoser and Speex are mono whatever the field says.
  const bool monoOnly = F.Coding == SoundCoding::Speex || F.Coding == SoundCoding::Nellymoser ||
                        F.Coding == SoundCoding::Nellymoser8k || F.Coding == SoundCoding::Nellymoser16k;
  return F.Stereo && !monoOnly ? 2 : 1;
}

// Copies Count bits from Src starting at bit From (most significant bit
// first) to the end of Dst, which holds DstBits bits so far.
void CopyBits(std::span<const std::uint8_t> Src, std::size_t From, std::size_t Count,
              std::vector<std::uint8_t>& Dst, std::size_t& DstBits)
{
  for (std::size_t i = 0; i < Count; ++i) {
    const std::size_t s = From + i;
    const unsigned bit = (Src[s / 8] >> (7 - s % 8)) & 1u;
    if (DstBits % 8 == 0)
      Dst.push_back(0);
    Dst.back() = static_cast<std::uint8_t>(Dst.back() | bit << (7 - DstBits % 8));
    ++DstBits;
  }
}

} // namespace

struct TSoundDecoder::TState {
  const AVCodec* Codec = nullptr;
  AVCodecContext* Context = nullptr;
  AVCodecParserContext* Parser = nullptr;
  AVPacket* Packet = nullptr;
  AVFrame* Frame = nullptr;
  SwrContext* Swr = nullptr;
  int InRate = 0;
  int InFormat = -1;
  int InChannels = 0;

  void Close()
  {
    swr_free(&Swr);
    if (Parser)
      av_parser_close(Parser);
    Parser = nullptr;
    avcodec_free_context(&Context);
    InRate = 0;
    InFormat = -1;
    InChannels = 0;
  }
  ~TState()
  {
    Close();
    av_packet_free(&Packet);
    av_frame_free(&Frame);
  }
};

TSoundDecoder::TSoundDecoder(const SoundFormat& Format, std::uint32_t OutRate, bool Stereo)
    : FFormat(Format), FOutRate(OutRate), FOutChannels(Stereo ? 2 : ChannelsOf(Format)),
      FState(std::make_unique<TState>())
{
  // Broken frames are counted in Errors; the codec's own complaints would
  // only clutter the terminal of the program that plays them.
  static const bool quiet = [] {
    av_log_set_level(AV_LOG_QUIET);
    return true;
  }();
  (void)quiet;
  FState->Codec = avcodec_find_decoder(CodecOf(Format));
  if (!FState->Codec)
    throw ESoundError(std::string("this build has no decoder for ") + CodingName(Format.Coding) + " sound");
  FState->Packet = av_packet_alloc();
  FState->Frame = av_frame_alloc();
  if (!FState->Packet || !FState->Frame)
    throw ESoundError("out of memory for the sound decoder");
  Reset();
}

TSoundDecoder::~TSoundDecoder() = default;

void TSoundDecoder::Reset()
{
  FState->Close();
  AVCodecContext* c = avcodec_alloc_context3(FState->Codec);
  if (!c)
    throw ESoundError("out of memory for the sound decoder");
  FState->Context = c;
  c->sample_rate = static_cast<int>(DecodedRate(FFormat));
  av_channel_layout_default(&c->ch_layout, ChannelsOf(FFormat));
  if (avcodec_open2(c, FState->Codec, nullptr) < 0)
    throw ESoundError(std::string("the ") + CodingName(FFormat.Coding) + " decoder does not open");
  if (FFormat.Coding == SoundCoding::Mp3)
    FState->Parser = av_parser_init(AV_CODEC_ID_MP3);
  FUnits.clear();
  FOffset = 0;
  FBitOffset = 0;
  FAdpcmBits = 0;
  FFinished = false;
  FDrained = false;
  FSkipSource = 0;
  FSkipOut = 0;
  FOut.clear();
  FOutPos = 0;
}

void TSoundDecoder::Feed(std::span<const std::uint8_t> Unit)
{
  if (!Unit.empty())
    FUnits.push_back(Unit);
}

void TSoundDecoder::Finish()
{
  FFinished = true;
}

void TSoundDecoder::SkipSourceSamples(std::uint32_t Count)
{
  if (FState->InRate > 0)
    FSkipOut += FOutRate == 0 ? Count : std::uint64_t{Count} * FOutRate / static_cast<unsigned>(FState->InRate);
  else
    FSkipSource += Count;
}

bool TSoundDecoder::Ended() const
{
  return FDrained && FOutPos >= FOut.size();
}

bool TSoundDecoder::NextPacket(std::vector<std::uint8_t>& Packet, std::size_t& SampleCap)
{
  Packet.clear();
  SampleCap = SIZE_MAX;
  while (!FUnits.empty()) {
    const std::span<const std::uint8_t> unit = FUnits.front();
    switch (FFormat.Coding) {
    case SoundCoding::Mp3: {
      // The parser keeps a frame that a unit ends inside and completes it
      // from the next, as stream blocks may cut frames anywhere.
      while (FOffset < unit.size()) {
        // The parser reads a little past the end of its input: it gets a
        // padded copy of the next slice.
        const std::size_t slice = std::min<std::size_t>(unit.size() - FOffset, kParseSlice);
        FParseBuffer.assign(slice + AV_INPUT_BUFFER_PADDING_SIZE, 0);
        std::copy_n(unit.begin() + static_cast<std::ptrdiff_t>(FOffset), slice, FParseBuffer.begin());
        std::uint8_t* out = nullptr;
        int outSize = 0;
        const int used = av_parser_parse2(FState->Parser, FState->Context, &out, &outSize, FParseBuffer.data(),
                                          static_cast<int>(slice), AV_NOPTS_VALUE, AV_NOPTS_VALUE, 0);
        FOffset += static_cast<std::size_t>(std::max(used, 0));
        if (used <= 0 && outSize <= 0)
          FOffset = unit.size();
        if (outSize > 0) {
          Packet.assign(out, out + outSize);
          return true;
        }
      }
      break;
    }
    case SoundCoding::Adpcm: {
      const std::size_t unitBits = unit.size() * 8;
      if (FAdpcmBits == 0) {
        FAdpcmBits = (unit[0] >> 6) + 2;
        FBitOffset = 2;
      }
      const std::size_t channels = static_cast<std::size_t>(ChannelsOf(FFormat));
      const std::size_t header = 22 * channels;
      const std::size_t blockBits = header + static_cast<std::size_t>(FAdpcmBits) * channels * (kAdpcmBlockSamples - 1);
      const std::size_t left = unitBits - FBitOffset;
      if (left >= header) {
        // One block with the unit's code size in front: the codec reads a
        // packet as a whole ADPCM sound. A last, short block gets as many
        // samples as its bits (padding included) hold, as when the codec
        // reads the unit whole.
        const std::size_t take = std::min(blockBits, left);
        std::size_t bits = 0;
        CopyBits(std::span<const std::uint8_t>(&unit[0], 1), 0, 2, Packet, bits);
        CopyBits(unit, FBitOffset, take, Packet, bits);
        FBitOffset += take;
        if (take < blockBits) {
          Packet.push_back(0);
          SampleCap = 1 + (take - header) / (static_cast<std::size_t>(FAdpcmBits) * channels);
        }
        return true;
      }
      break;
    }
    default: {
      std::size_t unitBytes = 1;
      std::size_t chunk = kChunkFrames;
      if (FFormat.Coding == SoundCoding::PcmNative || FFormat.Coding == SoundCoding::PcmLittle) {
        unitBytes = static_cast<std::size_t>(ChannelsOf(FFormat)) * (FFormat.Is16Bit ? 2 : 1);
      } else if (FFormat.Coding != SoundCoding::Speex) {
        unitBytes = kNellyBlock;
        chunk = 16;
      } else {
        chunk = SIZE_MAX / 2; // a Speex unit goes whole: its frames carry no lengths
      }
      const std::size_t whole = (unit.size() - FOffset) / unitBytes * unitBytes;
      const std::size_t take = std::min(whole, chunk * unitBytes);
      if (take > 0) {
        Packet.assign(unit.begin() + static_cast<std::ptrdiff_t>(FOffset),
                      unit.begin() + static_cast<std::ptrdiff_t>(FOffset + take));
        FOffset += take;
        return true;
      }
      break;
    }
    }
    FUnits.pop_front();
    FOffset = 0;
    FBitOffset = 0;
    FAdpcmBits = 0;
  }
  if (FFinished && FState->Parser) {
    // The parser's last frame.
    std::uint8_t* out = nullptr;
    int outSize = 0;
    av_parser_parse2(FState->Parser, FState->Context, &out, &outSize, nullptr, 0, AV_NOPTS_VALUE, AV_NOPTS_VALUE, 0);
    if (outSize > 0) {
      Packet.assign(out, out + outSize);
      return true;
    }
  }
  return false;
}

void TSoundDecoder::Convert(const std::uint8_t** Data, int Samples)
{
  TState& s = *FState;
  const int room = static_cast<int>(swr_get_out_samples(s.Swr, Samples)) + 16;
  if (room <= 0)
    return;
  std::vector<std::int16_t> converted(static_cast<std::size_t>(room) * static_cast<std::size_t>(s.InChannels));
  auto* dst = reinterpret_cast<std::uint8_t*>(converted.data());
  const int got = swr_convert(s.Swr, &dst, room, Data, Samples);
  if (got <= 0)
    return;
  std::size_t frames = static_cast<std::size_t>(got);
  std::size_t from = 0;
  if (FSkipOut > 0) {
    from = static_cast<std::size_t>(std::min<std::uint64_t>(FSkipOut, frames));
    FSkipOut -= from;
  }
  const std::size_t inCh = static_cast<std::size_t>(s.InChannels);
  for (std::size_t f = from; f < frames; ++f) {
    if (FOutChannels == 2 && inCh == 1) {
      FOut.push_back(converted[f]);
      FOut.push_back(converted[f]);
    } else if (FOutChannels == 1 && inCh == 2) {
      FOut.push_back(static_cast<std::int16_t>((converted[2 * f] + converted[2 * f + 1]) / 2));
    } else {
      for (std::size_t c = 0; c < inCh; ++c)
        FOut.push_back(converted[f * inCh + c]);
    }
  }
}

void TSoundDecoder::Decode(const std::vector<std::uint8_t>* Packet, std::size_t SampleCap)
{
  TState& s = *FState;
  if (Packet) {
    if (av_new_packet(s.Packet, static_cast<int>(Packet->size())) < 0)
      throw ESoundError("out of memory for a sound packet");
    std::memcpy(s.Packet->data, Packet->data(), Packet->size());
    const int sent = avcodec_send_packet(s.Context, s.Packet);
    av_packet_unref(s.Packet);
    if (sent < 0) {
      ++FErrors;
      return;
    }
  } else {
    avcodec_send_packet(s.Context, nullptr);
  }
  for (;;) {
    const int r = avcodec_receive_frame(s.Context, s.Frame);
    if (r == AVERROR(EAGAIN) || r == AVERROR_EOF)
      break;
    if (r < 0) {
      ++FErrors;
      break;
    }
    const int channels = s.Frame->ch_layout.nb_channels;
    if (channels < 1 || channels > 2 || s.Frame->sample_rate <= 0) {
      ++FErrors;
      av_frame_unref(s.Frame);
      continue;
    }
    if (!s.Swr || s.InRate != s.Frame->sample_rate || s.InFormat != s.Frame->format || s.InChannels != channels) {
      // A new input shape (MP3 frames may change rate or channels midway).
      swr_free(&s.Swr);
      AVChannelLayout layout;
      av_channel_layout_default(&layout, channels);
      const int outRate = FOutRate == 0 ? s.Frame->sample_rate : static_cast<int>(FOutRate);
      if (swr_alloc_set_opts2(&s.Swr, &layout, AV_SAMPLE_FMT_S16, outRate, &layout,
                              static_cast<AVSampleFormat>(s.Frame->format), s.Frame->sample_rate, 0, nullptr) < 0 ||
          swr_init(s.Swr) < 0)
        throw ESoundError("the resampler does not open");
      s.InRate = s.Frame->sample_rate;
      s.InFormat = s.Frame->format;
      s.InChannels = channels;
      if (FSkipSource > 0) {
        FSkipOut += FOutRate == 0 ? FSkipSource : FSkipSource * FOutRate / static_cast<unsigned>(s.InRate);
        FSkipSource = 0;
      }
    }
    int samples = s.Frame->nb_samples;
    if (SampleCap != SIZE_MAX) {
      samples = static_cast<int>(std::min<std::size_t>(static_cast<std::size_t>(samples), SampleCap));
      SampleCap -= static_cast<std::size_t>(samples);
    }
    Convert(const_cast<const std::uint8_t**>(s.Frame->extended_data), samples);
    av_frame_unref(s.Frame);
  }
}

bool TSoundDecoder::Pump()
{
  std::size_t cap = SIZE_MAX;
  if (NextPacket(FPacket, cap)) {
    Decode(&FPacket, cap);
    return true;
  }
  if (!FFinished || FDrained)
    return false;
  Decode(nullptr, SIZE_MAX);
  if (FState->Swr) {
    // The resampler's tail.
    Convert(nullptr, 0);
  }
  FDrained = true;
  return true;
}

std::size_t TSoundDecoder::Read(std::int16_t* Out, std::size_t MaxFrames)
{
  const auto channels = [this] { return static_cast<std::size_t>(FOutChannels); };
  while ((FOut.size() - FOutPos) / channels() < MaxFrames && Pump()) {
  }
  const std::size_t frames = std::min(MaxFrames, (FOut.size() - FOutPos) / channels());
  std::copy_n(FOut.begin() + static_cast<std::ptrdiff_t>(FOutPos), frames * channels(), Out);
  FOutPos += frames * channels();
  if (FOutPos > 1 << 16 && FOutPos * 2 > FOut.size()) {
    FOut.erase(FOut.begin(), FOut.begin() + static_cast<std::ptrdiff_t>(FOutPos));
    FOutPos = 0;
  }
  return frames;
}

} // namespace quenloft::swf
