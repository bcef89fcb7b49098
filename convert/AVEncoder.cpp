// MP4, WebM and MP3 through libavformat and libavcodec. Pictures go from
// the renderer's RGB to 4:2:0 YUV with BT.709 coefficients in limited
// range (libswscale), and the streams carry those tags; sound goes from the
// mix's 44.1 kHz 16-bit stereo to what the encoder takes (libswresample),
// in whole encoder frames through a FIFO.
#include "convert/Encoder.h"

#include <chrono>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

namespace quenloft::convert {
namespace {

using Clock = std::chrono::steady_clock;

double Since(Clock::time_point Start)
{
  return std::chrono::duration<double>(Clock::now() - Start).count();
}

std::string AVText(int Code)
{
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(Code, text, sizeof text);
  return text;
}

void Check(int Code, const std::string& What)
{
  if (Code < 0)
    throw EConvertError(What + ": " + AVText(Code));
}

struct TStream {
  AVCodecContext* Codec = nullptr;
  AVStream* Out = nullptr;
  std::int64_t Next = 0; // the next frame's (or sample's) time stamp
};

// Per quality: x264 CRF, VP9 CRF, AAC/Opus/MP3 bit rates in kbit/s.
struct TLevel {
  int X264, VP9, AAC, Opus, MP3;
};
constexpr TLevel Levels[] = {{30, 40, 96, 64, 128}, {26, 36, 128, 96, 160}, {21, 31, 160, 128, 192},
                             {17, 24, 256, 192, 320}};

class TAVEncoder final : public TEncoder {
public:
  TAVEncoder(const std::string& Path, Format Kind, const TPlan& Plan, Quality Level, bool WithSound);
  ~TAVEncoder() override;

  void Picture(const QImage& Frame) override;
  void Sound(std::span<const std::int16_t> Samples) override;
  void Finish() override;

private:
  void Open(const std::string& Path, Format Kind, const TPlan& Plan, Quality Level, bool WithSound);
  void Release();
  void AddVideo(Format Kind, const TPlan& Plan, const TLevel& L);
  void AddAudio(Format Kind, const TLevel& L);
  AVStream* AddStream(AVCodecContext* Codec);
  void Send(TStream& S, const AVFrame* Frame);
  void EncodeWholeFrames(bool Final);

  AVFormatContext* FFormat = nullptr;
  TStream FVideo, FAudio;
  AVFrame* FPicture = nullptr;
  SwsContext* FScale = nullptr;
  SwrContext* FResample = nullptr;
  AVAudioFifo* FFifo = nullptr;
  AVPacket* FPacket = nullptr;
};

TAVEncoder::TAVEncoder(const std::string& Path, Format Kind, const TPlan& Plan, Quality Level, bool WithSound)
{
  try {
    Open(Path, Kind, Plan, Level, WithSound);
  } catch (...) {
    Release(); // no destructor runs for a half-made object
    throw;
  }
}

void TAVEncoder::Open(const std::string& Path, Format Kind, const TPlan& Plan, Quality Level, bool WithSound)
{
  const char* muxer = Kind == Format::MP4 ? "mp4" : Kind == Format::MP3 ? "mp3" : "webm";
  Check(avformat_alloc_output_context2(&FFormat, nullptr, muxer, nullptr), "no " + std::string(muxer) + " writer");
  FPacket = av_packet_alloc();
  const TLevel& L = Levels[static_cast<int>(Level)];
  if (Kind != Format::MP3)
    AddVideo(Kind, Plan, L);
  if (WithSound)
    AddAudio(Kind, L);
  // "file:" keeps a name with a colon from being taken for a protocol; the
  // MP4 writer opens the file again by this name to move its index first.
  const std::string url = "file:" + Path;
  FFormat->url = av_strdup(url.c_str());
  Check(avio_open(&FFormat->pb, url.c_str(), AVIO_FLAG_WRITE), "cannot write " + Path);
  AVDictionary* options = nullptr;
  if (Kind == Format::MP4)
    av_dict_set(&options, "movflags", "+faststart", 0); // plays while it loads
  const int header = avformat_write_header(FFormat, &options);
  av_dict_free(&options);
  Check(header, "cannot write " + Path);
}

TAVEncoder::~TAVEncoder()
{
  Release();
}

void TAVEncoder::Release()
{
  avcodec_free_context(&FVideo.Codec);
  avcodec_free_context(&FAudio.Codec);
  av_frame_free(&FPicture);
  sws_freeContext(FScale);
  FScale = nullptr;
  swr_free(&FResample);
  if (FFifo)
    av_audio_fifo_free(FFifo);
  FFifo = nullptr;
  av_packet_free(&FPacket);
  if (FFormat) {
    avio_closep(&FFormat->pb);
    avformat_free_context(FFormat);
    FFormat = nullptr;
  }
}

AVStream* TAVEncoder::AddStream(AVCodecContext* Codec)
{
  AVStream* s = avformat_new_stream(FFormat, nullptr);
  if (!s)
    throw EConvertError("out of memory");
  Check(avcodec_parameters_from_context(s->codecpar, Codec), "stream set-up");
  s->time_base = Codec->time_base;
  return s;
}

void TAVEncoder::AddVideo(Format Kind, const TPlan& Plan, const TLevel& L)
{
  const char* name = Kind == Format::MP4 ? "libx264" : "libvpx-vp9";
  const AVCodec* codec = avcodec_find_encoder_by_name(name);
  if (!codec)
    throw EConvertError(std::string("this system's FFmpeg has no ") + name + " encoder");
  AVCodecContext* c = FVideo.Codec = avcodec_alloc_context3(codec);
  c->width = Plan.Width;
  c->height = Plan.Height;
  c->pix_fmt = AV_PIX_FMT_YUV420P;
  const AVRational rate = av_d2q(Plan.Fps, 100000);
  c->framerate = rate;
  c->time_base = av_inv_q(rate);
  c->gop_size = static_cast<int>(Plan.Fps * 5); // a key frame every five seconds or so
  c->color_range = AVCOL_RANGE_MPEG;
  c->colorspace = AVCOL_SPC_BT709;
  c->color_primaries = AVCOL_PRI_BT709;
  c->color_trc = AVCOL_TRC_BT709;
  c->thread_count = 2;
  if (FFormat->oformat->flags & AVFMT_GLOBALHEADER)
    c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  AVDictionary* o = nullptr;
  if (Kind == Format::MP4) {
    av_dict_set(&o, "preset", L.X264 < 20 ? "medium" : "veryfast", 0);
    av_dict_set(&o, "tune", "animation", 0);
    av_dict_set_int(&o, "crf", L.X264, 0);
  } else {
    c->bit_rate = 0; // constant quality
    av_dict_set_int(&o, "crf", L.VP9, 0);
    av_dict_set(&o, "deadline", L.VP9 < 30 ? "good" : "realtime", 0);
    av_dict_set_int(&o, "cpu-used", L.VP9 < 30 ? 4 : 8, 0);
    av_dict_set_int(&o, "row-mt", 1, 0);
  }
  const int opened = avcodec_open2(c, codec, &o);
  av_dict_free(&o);
  Check(opened, std::string("cannot start the ") + name + " encoder");
  FVideo.Out = AddStream(c);
  FVideo.Out->avg_frame_rate = rate;

  FPicture = av_frame_alloc();
  FPicture->format = c->pix_fmt;
  FPicture->width = c->width;
  FPicture->height = c->height;
  Check(av_frame_get_buffer(FPicture, 0), "out of memory");
  FScale = sws_getContext(c->width, c->height, AV_PIX_FMT_RGB32, c->width, c->height, AV_PIX_FMT_YUV420P,
                          SWS_BILINEAR | SWS_ACCURATE_RND, nullptr, nullptr, nullptr);
  if (!FScale)
    throw EConvertError("cannot set up the colour conversion");
  // Full-range RGB in, BT.709 limited-range YUV out.
  const int* bt709 = sws_getCoefficients(SWS_CS_ITU709);
  sws_setColorspaceDetails(FScale, bt709, 1, bt709, 0, 0, 1 << 16, 1 << 16);
}

void TAVEncoder::AddAudio(Format Kind, const TLevel& L)
{
  const char* name = Kind == Format::MP4 ? "aac" : Kind == Format::MP3 ? "libmp3lame" : "libopus";
  const AVCodec* codec = avcodec_find_encoder_by_name(name);
  if (!codec)
    throw EConvertError(std::string("this system's FFmpeg has no ") + name + " encoder");
  AVCodecContext* c = FAudio.Codec = avcodec_alloc_context3(codec);
  c->sample_fmt = codec->sample_fmts ? codec->sample_fmts[0] : AV_SAMPLE_FMT_FLTP;
  c->sample_rate = Kind == Format::WebM ? 48000 : 44100; // Opus runs at 48 kHz
  av_channel_layout_default(&c->ch_layout, 2);
  c->bit_rate = 1000ll * (Kind == Format::MP4 ? L.AAC : Kind == Format::MP3 ? L.MP3 : L.Opus);
  c->time_base = AVRational{1, c->sample_rate};
  if (FFormat->oformat->flags & AVFMT_GLOBALHEADER)
    c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  Check(avcodec_open2(c, codec, nullptr), std::string("cannot start the ") + name + " encoder");
  FAudio.Out = AddStream(c);

  AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
  Check(swr_alloc_set_opts2(&FResample, &c->ch_layout, c->sample_fmt, c->sample_rate, &stereo, AV_SAMPLE_FMT_S16,
                            44100, 0, nullptr),
        "sound conversion set-up");
  Check(swr_init(FResample), "sound conversion set-up");
  FFifo = av_audio_fifo_alloc(c->sample_fmt, 2, 4096);
  if (!FFifo)
    throw EConvertError("out of memory");
}

void TAVEncoder::Send(TStream& S, const AVFrame* Frame)
{
  Check(avcodec_send_frame(S.Codec, Frame), "encoding failed");
  for (;;) {
    const int got = avcodec_receive_packet(S.Codec, FPacket);
    if (got == AVERROR(EAGAIN) || got == AVERROR_EOF)
      return;
    Check(got, "encoding failed");
    av_packet_rescale_ts(FPacket, S.Codec->time_base, S.Out->time_base);
    FPacket->stream_index = S.Out->index;
    Check(av_interleaved_write_frame(FFormat, FPacket), "cannot write the file");
  }
}

void TAVEncoder::Picture(const QImage& Frame)
{
  if (!FVideo.Codec)
    return;
  auto start = Clock::now();
  Check(av_frame_make_writable(FPicture), "out of memory");
  const std::uint8_t* planes[1] = {Frame.constBits()};
  const int strides[1] = {static_cast<int>(Frame.bytesPerLine())};
  sws_scale(FScale, planes, strides, 0, Frame.height(), FPicture->data, FPicture->linesize);
  Spent.Colour += Since(start);
  start = Clock::now();
  FPicture->pts = FVideo.Next++;
  Send(FVideo, FPicture);
  Spent.Encode += Since(start);
}

void TAVEncoder::Sound(std::span<const std::int16_t> Samples)
{
  if (!FAudio.Codec || Samples.empty())
    return;
  const auto start = Clock::now();
  const int in = static_cast<int>(Samples.size() / 2);
  const int room = swr_get_out_samples(FResample, in);
  std::uint8_t** out = nullptr;
  Check(av_samples_alloc_array_and_samples(&out, nullptr, 2, room, FAudio.Codec->sample_fmt, 0), "out of memory");
  const std::uint8_t* from = reinterpret_cast<const std::uint8_t*>(Samples.data());
  const int made = swr_convert(FResample, out, room, &from, in);
  if (made > 0)
    av_audio_fifo_write(FFifo, reinterpret_cast<void**>(out), made);
  av_freep(&out[0]);
  av_freep(&out);
  Check(made, "sound conversion failed");
  EncodeWholeFrames(false);
  Spent.Encode += Since(start);
}

// Hands the FIFO's sound on in the encoder's frame size; Final also sends
// the short rest.
void TAVEncoder::EncodeWholeFrames(bool Final)
{
  const int size = FAudio.Codec->frame_size > 0 ? FAudio.Codec->frame_size : 1024;
  while (av_audio_fifo_size(FFifo) >= size || (Final && av_audio_fifo_size(FFifo) > 0)) {
    AVFrame* f = av_frame_alloc();
    f->nb_samples = std::min(size, av_audio_fifo_size(FFifo));
    f->format = FAudio.Codec->sample_fmt;
    f->sample_rate = FAudio.Codec->sample_rate;
    av_channel_layout_copy(&f->ch_layout, &FAudio.Codec->ch_layout);
    int ok = av_frame_get_buffer(f, 0);
    if (ok >= 0) {
      av_audio_fifo_read(FFifo, reinterpret_cast<void**>(f->data), f->nb_samples);
      f->pts = FAudio.Next;
      FAudio.Next += f->nb_samples;
      try {
        Send(FAudio, f);
      } catch (...) {
        av_frame_free(&f);
        throw;
      }
    }
    av_frame_free(&f);
    Check(ok, "out of memory");
  }
}

void TAVEncoder::Finish()
{
  const auto start = Clock::now();
  if (FVideo.Codec)
    Send(FVideo, nullptr);
  if (FAudio.Codec) {
    // What the resampler still holds, then the short last frame.
    std::uint8_t** out = nullptr;
    const int room = swr_get_out_samples(FResample, 0) + 16;
    Check(av_samples_alloc_array_and_samples(&out, nullptr, 2, room, FAudio.Codec->sample_fmt, 0), "out of memory");
    const int made = swr_convert(FResample, out, room, nullptr, 0);
    if (made > 0)
      av_audio_fifo_write(FFifo, reinterpret_cast<void**>(out), made);
    av_freep(&out[0]);
    av_freep(&out);
    EncodeWholeFrames(true);
    Send(FAudio, nullptr);
  }
  Check(av_write_trailer(FFormat), "cannot complete the file");
  avio_flush(FFormat->pb);
  Check(FFormat->pb->error, "cannot write the file");
  Check(avio_closep(&FFormat->pb), "cannot complete the file");
  Spent.Encode += Since(start);
}

} // namespace

std::unique_ptr<TEncoder> MakeAVEncoder(const std::string& Path, Format Kind, const TPlan& Plan, Quality Level,
                                        bool WithSound)
{
  // The encoders' own chatter stays off the terminal; their errors reach
  // the user through our messages.
  av_log_set_level(AV_LOG_QUIET);
  return std::make_unique<TAVEncoder>(Path, Kind, Plan, Level, WithSound);
}

} // namespace quenloft::convert
