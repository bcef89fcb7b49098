#include "swf/sound/SoundMixer.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "swf/sound/SoundDecoder.h"

namespace quenloft::swf {

namespace {

constexpr std::size_t kBlock = 1024; // frames decoded at a time per voice
// Completed handles kept for a caller that may never ask (a movie without
// script): past this many the oldest go.
constexpr std::size_t kMaxCompleted = 4096;

float Level(const std::vector<SoundEnvelopePoint>& Env, std::uint64_t Pos, bool Right)
{
  const auto value = [Right](const SoundEnvelopePoint& P) { return (Right ? P.Right : P.Left) / 32768.0f; };
  if (Env.empty())
    return 1.0f;
  if (Pos <= Env.front().Position)
    return value(Env.front());
  for (std::size_t i = 1; i < Env.size(); ++i) {
    if (Pos < Env[i].Position) {
      const SoundEnvelopePoint& a = Env[i - 1];
      const SoundEnvelopePoint& b = Env[i];
      const float t = static_cast<float>(Pos - a.Position) / static_cast<float>(b.Position - a.Position);
      return value(a) + (value(b) - value(a)) * t;
    }
  }
  return value(Env.back());
}

} // namespace

SoundTransform SoundTransform::Pan(double Pan, double Volume)
{
  SoundTransform t;
  Pan = std::clamp(Pan, -1.0, 1.0);
  t.Volume = Volume;
  t.LeftToLeft = Pan > 0 ? 1 - Pan : 1;
  t.RightToRight = Pan < 0 ? 1 + Pan : 1;
  return t;
}

SoundTransform SoundTransform::After(const SoundTransform& Inner) const
{
  SoundTransform t;
  t.Volume = Volume * Inner.Volume;
  t.LeftToLeft = LeftToLeft * Inner.LeftToLeft + RightToLeft * Inner.LeftToRight;
  t.RightToLeft = LeftToLeft * Inner.RightToLeft + RightToLeft * Inner.RightToRight;
  t.LeftToRight = LeftToRight * Inner.LeftToLeft + RightToRight * Inner.LeftToRight;
  t.RightToRight = LeftToRight * Inner.RightToLeft + RightToRight * Inner.RightToRight;
  return t;
}

struct TSoundMixer::TVoice {
  SoundHandle Handle = 0;
  CharacterId Id = 0;
  const Sound* Definition = nullptr;   // event sounds
  const Sprite* Timeline = nullptr;    // the stream
  std::uint32_t FirstBlock = 0;        // the stream: the frame of the block it starts at
  SoundInfo Info;
  SoundTransform Transform;
  std::unique_ptr<TSoundDecoder> Decoder; // unless Pcm holds the whole sound
  TPcm Pcm;
  std::size_t PcmPos = 0; // frames of Pcm played in this pass
  std::uint64_t PassPos = 0; // within the current pass, from the start of the sound
  std::uint64_t Played = 0;  // since the instance started
  std::uint64_t Delay = 0;   // silent frames before the first sample
  std::uint64_t PassStart = 0; // Played when the current pass began
  std::uint32_t LoopsLeft = 1;
};

TSoundMixer::TSoundMixer(std::shared_ptr<const Movie> Movie) : FMovie(std::move(Movie)) {}

TSoundMixer::~TSoundMixer() = default;

void TSoundMixer::SetFrameRate(double FramesPerSecond)
{
  FFrameRate = std::isfinite(FramesPerSecond) ? std::clamp(FramesPerSecond, 1.0, 120.0) : 12.0;
}

void TSoundMixer::Restart(TVoice& V)
{
  V.PassPos = 0;
  V.PcmPos = 0;
  if (V.Pcm)
    return;
  V.Decoder->Reset();
  if (V.Definition) {
    V.Decoder->Feed(V.Definition->Data);
    if (V.Definition->Format.Coding == SoundCoding::Mp3 && V.Definition->SeekSamples > 0)
      V.Decoder->SkipSourceSamples(static_cast<std::uint32_t>(V.Definition->SeekSamples));
  } else {
    const SoundStreamHead& head = *V.Timeline->StreamHead;
    const auto& frames = V.Timeline->Frames;
    bool first = true;
    for (std::size_t f = V.FirstBlock; f < frames.size(); ++f) {
      const auto& block = frames[f].StreamBlock;
      if (!block)
        continue;
      if (first && head.Stream.Coding == SoundCoding::Mp3) {
        // The stream's first block carries the encoder's delay in the head;
        // a later one says how far into its first frame this frame begins.
        bool earlier = false;
        for (std::size_t e = 0; e < f && !earlier; ++e)
          earlier = frames[e].StreamBlock.has_value();
        const std::int32_t skip = earlier ? block->SeekSamples : head.LatencySeek;
        if (skip > 0)
          V.Decoder->SkipSourceSamples(static_cast<std::uint32_t>(skip));
      }
      first = false;
      V.Decoder->Feed(block->Data);
    }
  }
  V.Decoder->Finish();
}

TSoundMixer::TPcm TSoundMixer::Decoded(const Sound& S)
{
  if (const auto it = FKept.find(S.Id); it != FKept.end())
    return it->second;
  TPcm& kept = FKept[S.Id];
  if (FKeptFrames >= MaxKeptTotal)
    return kept;
  TSoundDecoder d(S.Format, Rate, true);
  d.Feed(S.Data);
  if (S.Format.Coding == SoundCoding::Mp3 && S.SeekSamples > 0)
    d.SkipSourceSamples(static_cast<std::uint32_t>(S.SeekSamples));
  d.Finish();
  auto pcm = std::make_shared<std::vector<std::int16_t>>();
  const std::size_t limit = std::min(MaxKeptFrames, MaxKeptTotal - FKeptFrames);
  std::vector<std::int16_t> block(2 * kBlock * 4);
  while (pcm->size() / 2 <= limit) {
    const std::size_t n = d.Read(block.data(), block.size() / 2);
    if (n == 0)
      break;
    pcm->insert(pcm->end(), block.begin(), block.begin() + static_cast<std::ptrdiff_t>(2 * n));
  }
  if (!d.Ended() || pcm->size() / 2 > limit)
    return kept; // too long: it decodes as it plays
  FKeptFrames += pcm->size() / 2;
  kept = std::move(pcm);
  return kept;
}

std::size_t TSoundMixer::Read(TVoice& V, std::size_t Frames)
{
  if (!V.Pcm)
    return V.Decoder->Read(FTemp.data(), Frames);
  const std::size_t n = std::min(Frames, V.Pcm->size() / 2 - V.PcmPos);
  std::copy_n(V.Pcm->begin() + static_cast<std::ptrdiff_t>(2 * V.PcmPos), 2 * n, FTemp.begin());
  V.PcmPos += n;
  return n;
}

SoundHandle TSoundMixer::Start(CharacterId Id, const SoundInfo& Info, const SoundTransform& Transform)
{
  if (Info.Stop) {
    StopSound(Id);
    return 0;
  }
  const auto it = FMovie->Sounds.find(Id);
  if (it == FMovie->Sounds.end())
    return 0;
  if (Info.NoMultiple && std::any_of(FVoices.begin(), FVoices.end(), [Id](const auto& V) { return V->Id == Id; }))
    return 0;
  auto v = std::make_unique<TVoice>();
  try {
    v->Pcm = Decoded(it->second);
    if (!v->Pcm)
      v->Decoder = std::make_unique<TSoundDecoder>(it->second.Format, Rate, true);
  } catch (const ESoundError&) {
    ++FFailures;
    return 0;
  }
  v->Handle = FNext++;
  v->Id = Id;
  v->Definition = &it->second;
  v->Info = Info;
  std::stable_sort(v->Info.Envelope.begin(), v->Info.Envelope.end(),
                   [](const auto& A, const auto& B) { return A.Position < B.Position; });
  v->Transform = Transform;
  v->LoopsLeft = Info.Loops == 0 ? 1 : Info.Loops;
  Restart(*v);
  FVoices.push_back(std::move(v));
  return FVoices.back()->Handle;
}

void TSoundMixer::Stop(SoundHandle Handle)
{
  std::erase_if(FVoices, [Handle](const auto& V) { return V->Handle == Handle; });
}

void TSoundMixer::StopSound(CharacterId Id)
{
  std::erase_if(FVoices, [Id](const auto& V) { return V->Id == Id; });
}

void TSoundMixer::StopAll()
{
  FVoices.clear();
  FStream.reset();
  FSpriteStreams.clear();
}

void TSoundMixer::SetTransform(SoundHandle Handle, const SoundTransform& Transform)
{
  for (auto& v : FVoices)
    if (v->Handle == Handle)
      v->Transform = Transform;
}

bool TSoundMixer::IsPlaying(SoundHandle Handle) const
{
  return std::any_of(FVoices.begin(), FVoices.end(), [Handle](const auto& V) { return V->Handle == Handle; });
}

std::uint64_t TSoundMixer::Position(SoundHandle Handle) const
{
  for (const auto& v : FVoices)
    if (v->Handle == Handle)
      return v->PassPos;
  return 0;
}

std::vector<SoundHandle> TSoundMixer::TakeCompleted()
{
  return std::exchange(FCompleted, {});
}

std::uint64_t TSoundMixer::Duration(CharacterId Id) const
{
  const auto it = FMovie->Sounds.find(Id);
  if (it == FMovie->Sounds.end())
    return 0;
  return std::uint64_t{it->second.SampleCount} * Rate / std::max<std::uint32_t>(1, DecodedRate(it->second.Format));
}

void TSoundMixer::FinishLoops()
{
  for (auto& v : FVoices)
    v->LoopsLeft = 1;
}

std::unique_ptr<TSoundMixer::TVoice> TSoundMixer::NewStream(const Sprite& Timeline, std::uint32_t Frame)
{
  if (!Timeline.StreamHead)
    return nullptr;
  std::uint32_t first = Frame;
  while (first < Timeline.Frames.size() && !Timeline.Frames[first].StreamBlock)
    ++first;
  if (first >= Timeline.Frames.size())
    return nullptr;
  auto v = std::make_unique<TVoice>();
  try {
    v->Decoder = std::make_unique<TSoundDecoder>(Timeline.StreamHead->Stream, Rate, true);
  } catch (const ESoundError&) {
    ++FFailures;
    return nullptr;
  }
  v->Timeline = &Timeline;
  v->FirstBlock = first;
  // Frames before the first block are silence the stream still counts.
  v->Delay = static_cast<std::uint64_t>(std::llround((first - Frame) * Rate / FFrameRate));
  Restart(*v);
  return v;
}

void TSoundMixer::StartStream(const Sprite& Timeline, std::uint32_t Frame)
{
  if (&Timeline != &FMovie->Root) {
    StopStream(Timeline);
    if (auto v = NewStream(Timeline, Frame))
      FSpriteStreams.push_back(std::move(v));
    return;
  }
  FStream = NewStream(Timeline, Frame);
  FStreamFrame = Frame;
  FStreamStart = FMixed;
}

void TSoundMixer::StopStream()
{
  FStream.reset();
}

void TSoundMixer::StopStream(const Sprite& Timeline)
{
  std::erase_if(FSpriteStreams, [&Timeline](const auto& V) { return V->Timeline == &Timeline; });
}

void TSoundMixer::StopSpriteStreams()
{
  FSpriteStreams.clear();
}

bool TSoundMixer::StreamPlaying(const Sprite& Timeline) const
{
  if (&Timeline == &FMovie->Root)
    return StreamPlaying();
  return std::any_of(FSpriteStreams.begin(), FSpriteStreams.end(),
                     [&Timeline](const auto& V) { return V->Timeline == &Timeline; });
}

bool TSoundMixer::StreamPlaying() const
{
  return FStream != nullptr;
}

std::optional<double> TSoundMixer::StreamFrame(std::uint64_t AtSample) const
{
  if (!FStream)
    return std::nullopt;
  const double since = AtSample > FStreamStart ? static_cast<double>(AtSample - FStreamStart) : 0.0;
  return FStreamFrame + since * FFrameRate / Rate;
}

bool TSoundMixer::Active() const
{
  return FStream || !FVoices.empty() || !FSpriteStreams.empty();
}

bool TSoundMixer::MixVoice(TVoice& V, std::size_t Frames)
{
  std::size_t done = 0;
  if (V.Delay > 0) {
    done = static_cast<std::size_t>(std::min<std::uint64_t>(V.Delay, Frames));
    V.Delay -= done;
  }
  FTemp.resize(kBlock * 2);
  const std::uint64_t in = V.Info.InPoint.value_or(0);
  while (done < Frames) {
    bool passEnded = false;
    if (V.PassPos < in) {
      // Up to the in-point the sound is decoded and dropped.
      const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(in - V.PassPos, kBlock));
      const std::size_t got = Read(V, want);
      V.PassPos += got;
      passEnded = got < want;
    } else {
      std::size_t want = std::min(Frames - done, kBlock);
      if (V.Info.OutPoint)
        want = static_cast<std::size_t>(
            std::min<std::uint64_t>(want, *V.Info.OutPoint > V.PassPos ? *V.Info.OutPoint - V.PassPos : 0));
      const std::size_t got = want > 0 ? Read(V, want) : 0;
      const SoundTransform t = FMaster.After(V.Transform);
      const auto& env = V.Info.Envelope;
      const auto ll = static_cast<float>(t.LeftToLeft * t.Volume);
      const auto rl = static_cast<float>(t.RightToLeft * t.Volume);
      const auto lr = static_cast<float>(t.LeftToRight * t.Volume);
      const auto rr = static_cast<float>(t.RightToRight * t.Volume);
      std::int32_t* acc = FAcc.data() + done * 2;
      for (std::size_t i = 0; i < got; ++i) {
        float el = 1.0f;
        float er = 1.0f;
        if (!env.empty()) {
          const std::uint64_t pos = in + V.Played + i;
          el = Level(env, pos, false);
          er = Level(env, pos, true);
        }
        const float l = FTemp[2 * i];
        const float r = FTemp[2 * i + 1];
        acc[2 * i] += static_cast<std::int32_t>(std::lrintf((l * ll + r * rl) * el));
        acc[2 * i + 1] += static_cast<std::int32_t>(std::lrintf((l * lr + r * rr) * er));
      }
      V.PassPos += got;
      V.Played += got;
      done += got;
      passEnded = got < want || want == 0;
    }
    if (passEnded) {
      // A pass that gave nothing (an in-point past the end) would give
      // nothing again: the sound ends rather than spin through its loops.
      if (V.LoopsLeft <= 1 || V.Played == V.PassStart)
        return false;
      V.PassStart = V.Played;
      --V.LoopsLeft;
      Restart(V);
    }
  }
  return true;
}

void TSoundMixer::Mix(std::span<std::int16_t> Out)
{
  const std::size_t frames = Out.size() / 2;
  FAcc.assign(frames * 2, 0);
  if (FStream && !MixVoice(*FStream, frames))
    FStream.reset();
  std::erase_if(FSpriteStreams, [this, frames](const auto& V) { return !MixVoice(*V, frames); });
  for (auto it = FVoices.begin(); it != FVoices.end();) {
    if (MixVoice(**it, frames)) {
      ++it;
    } else {
      FCompleted.push_back((*it)->Handle);
      it = FVoices.erase(it);
    }
  }
  if (FCompleted.size() > kMaxCompleted)
    FCompleted.erase(FCompleted.begin(), FCompleted.end() - static_cast<std::ptrdiff_t>(kMaxCompleted / 2));
  for (std::size_t i = 0; i < frames * 2; ++i)
    Out[i] = static_cast<std::int16_t>(std::clamp(FAcc[i], -32768, 32767));
  FMixed += frames;
}

} // namespace quenloft::swf
