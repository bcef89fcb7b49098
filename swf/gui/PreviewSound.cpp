#include "swf/gui/PreviewSound.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QIODevice>
#include <QMediaDevices>

#include <algorithm>

namespace quenloft {
namespace {

constexpr int kFeedMs = 20;
// The sink holds this much: enough to ride out a slow frame, little enough
// that a stop or a seek is heard at once.
constexpr std::size_t kBufferFrames = swf::TSoundMixer::Rate / 5;
constexpr std::size_t kMaxFeedFrames = 8192;

bool GMuted = false;

TAudioSinkFactory& Factory()
{
  static TAudioSinkFactory factory;
  return factory;
}

class TQtAudioSink : public TAudioSink {
public:
  TQtAudioSink(const QAudioDevice& Device, const QAudioFormat& Format) : FSink(Device, Format)
  {
    FSink.setBufferSize(static_cast<qsizetype>(kBufferFrames * 4));
    FDevice = FSink.start();
  }
  ~TQtAudioSink() override
  {
    // reset drops what is queued: the sound ends now, not after the buffer.
    FSink.reset();
    FSink.stop();
  }
  bool Ok() const { return FDevice && FSink.error() == QAudio::NoError; }
  std::size_t FreeFrames() override { return static_cast<std::size_t>(std::max<qsizetype>(0, FSink.bytesFree())) / 4; }
  std::size_t QueuedFrames() override
  {
    const qsizetype queued = FSink.bufferSize() - FSink.bytesFree();
    return static_cast<std::size_t>(std::max<qsizetype>(0, queued)) / 4;
  }
  void Write(std::span<const std::int16_t> Samples) override
  {
    FDevice->write(reinterpret_cast<const char*>(Samples.data()), static_cast<qint64>(Samples.size_bytes()));
  }

private:
  QAudioSink FSink;
  QIODevice* FDevice = nullptr;
};

} // namespace

std::unique_ptr<TAudioSink> TPreviewSound::OpenDefaultSink()
{
  const QAudioDevice device = QMediaDevices::defaultAudioOutput();
  if (device.isNull())
    return nullptr;
  QAudioFormat format;
  format.setSampleRate(static_cast<int>(swf::TSoundMixer::Rate));
  format.setChannelCount(2);
  format.setSampleFormat(QAudioFormat::Int16);
  if (!device.isFormatSupported(format))
    return nullptr;
  auto sink = std::make_unique<TQtAudioSink>(device, format);
  if (!sink->Ok())
    return nullptr;
  return sink;
}

std::unique_ptr<TPreviewSound> TPreviewSound::Open(std::shared_ptr<const swf::Movie> Movie)
{
  std::unique_ptr<TAudioSink> sink = Factory() ? Factory()() : OpenDefaultSink();
  if (!sink)
    return nullptr;
  return std::make_unique<TPreviewSound>(std::move(Movie), std::move(sink));
}

TPreviewSound::TPreviewSound(std::shared_ptr<const swf::Movie> Movie, std::unique_ptr<TAudioSink> Sink)
    : FSound(std::move(Movie)), FSink(std::move(Sink))
{
  FFeeder.setTimerType(Qt::PreciseTimer);
  FFeeder.setInterval(kFeedMs);
  connect(&FFeeder, &QTimer::timeout, this, [this] { Feed(); });
  FFeeder.start();
}

TPreviewSound::~TPreviewSound() = default;

void TPreviewSound::Feed()
{
  const std::size_t frames = std::min(FSink->FreeFrames(), kMaxFeedFrames);
  if (frames == 0)
    return;
  FBlock.resize(frames * 2);
  FSound.Mixer().Mix(FBlock);
  if (GMuted)
    std::fill(FBlock.begin(), FBlock.end(), std::int16_t{0});
  FSink->Write(FBlock);
}

std::uint64_t TPreviewSound::HeardSample() const
{
  const std::uint64_t mixed = FSound.Mixer().SamplesMixed();
  const std::uint64_t queued = FSink->QueuedFrames();
  return mixed > queued ? mixed - queued : 0;
}

void TPreviewSound::SetMuted(bool Muted)
{
  GMuted = Muted;
}

bool TPreviewSound::Muted()
{
  return GMuted;
}

void TPreviewSound::SetSinkFactory(TAudioSinkFactory Factory_)
{
  Factory() = std::move(Factory_);
}

} // namespace quenloft
