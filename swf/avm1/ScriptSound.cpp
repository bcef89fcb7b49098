#include "swf/avm1/ScriptSound.h"

#include "swf/avm1/ClipObject.h"
#include "swf/avm1/Machine.h"
#include "swf/sound/MovieSound.h"

#include <algorithm>
#include <cstdlib>
#include <limits>

namespace quenloft::swf::avm1 {

namespace {

constexpr std::int64_t Full = 100;

std::int32_t Wrap(std::int64_t V)
{
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::uint64_t>(V)));
}

std::int32_t Bounded(std::int64_t V)
{
  return static_cast<std::int32_t>(
      std::clamp<std::int64_t>(V, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
}

} // namespace

std::int32_t SoundLevels::Pan() const
{
  // The player reads the pan back from one share alone, sign dropped.
  if (LeftToLeft != Full)
    return Wrap(Full - std::llabs(LeftToLeft));
  return Wrap(std::llabs(RightToRight) - Full);
}

SoundLevels SoundLevels::WithPan(std::int32_t Pan) const
{
  SoundLevels l = *this;
  l.LeftToLeft = Pan >= 0 ? Wrap(Full - Pan) : static_cast<std::int32_t>(Full);
  l.RightToRight = Pan >= 0 ? static_cast<std::int32_t>(Full) : Wrap(Full + Pan);
  l.LeftToRight = 0;
  l.RightToLeft = 0;
  return l;
}

SoundLevels SoundLevels::After(const SoundLevels& Inner) const
{
  const std::int64_t ll = LeftToLeft, lr = LeftToRight, rl = RightToLeft, rr = RightToRight;
  SoundLevels l;
  l.Volume = Bounded(std::llabs(std::int64_t{Volume} * Inner.Volume / Full));
  l.LeftToLeft = Bounded((ll * Inner.LeftToLeft + rl * Inner.LeftToRight) / Full);
  l.RightToLeft = Bounded((ll * Inner.RightToLeft + rl * Inner.RightToRight) / Full);
  l.LeftToRight = Bounded((lr * Inner.LeftToLeft + rr * Inner.LeftToRight) / Full);
  l.RightToRight = Bounded((lr * Inner.RightToLeft + rr * Inner.RightToRight) / Full);
  return l;
}

swf::SoundTransform SoundLevels::ForMixer() const
{
  // Past twice the full level a mix only clips.
  const auto share = [](std::int32_t P) { return std::clamp(P / 100.0, -2.0, 2.0); };
  swf::SoundTransform t;
  t.Volume = std::clamp(std::abs(static_cast<double>(Volume)) / 100.0, 0.0, 2.0);
  t.LeftToLeft = share(LeftToLeft);
  t.LeftToRight = share(LeftToRight);
  t.RightToLeft = share(RightToLeft);
  t.RightToRight = share(RightToRight);
  return t;
}

const swf::Sound* ScriptSound::Exported(std::string_view Name) const
{
  const auto e = FMovie.Exports.find(std::string(Name));
  if (e == FMovie.Exports.end())
    return nullptr;
  const auto s = FMovie.Sounds.find(e->second);
  return s == FMovie.Sounds.end() ? nullptr : &s->second;
}

void ScriptSound::SetSound(swf::TMovieSound* Sound)
{
  FSound = Sound;
  FStarted.clear();
  if (FSound)
    FSound->Mixer().SetMaster(FGlobal.ForMixer());
}

void ScriptSound::SetGlobal(const SoundLevels& L)
{
  FGlobal = L;
  if (FSound)
    FSound->Mixer().SetMaster(FGlobal.ForMixer());
}

swf::SoundTransform ScriptSound::TransformFor(ClipObject* Owner) const
{
  if (!Owner)
    return {};
  SoundLevels l = Owner->Levels;
  for (ClipObject* p = Owner->Parent(); p; p = p->Parent())
    l = p->Levels.After(l);
  return l.ForMixer();
}

void ScriptSound::Refresh()
{
  if (!FSound)
    return;
  for (const Started& s : FStarted)
    FSound->Mixer().SetTransform(s.Handle, TransformFor(s.Owner));
}

swf::SoundHandle ScriptSound::Start(std::uint16_t Id, const swf::SoundInfo& Info, ClipObject* Owner,
                                    SoundObject* Source)
{
  if (!FSound)
    return 0;
  const swf::SoundHandle h = FSound->Mixer().Start(Id, Info, TransformFor(Owner));
  if (h != 0)
    FStarted.push_back({h, Owner, Source});
  return h;
}

void ScriptSound::StopSound(std::uint16_t Id)
{
  if (FSound)
    FSound->Mixer().StopSound(Id);
}

void ScriptSound::StopUnder(ClipObject* Owner)
{
  if (!FSound)
    return;
  for (const Started& s : FStarted) {
    bool under = false;
    for (ClipObject* c = s.Owner; c && !under; c = c->Parent())
      under = c == Owner;
    if (under)
      FSound->Mixer().Stop(s.Handle);
  }
}

void ScriptSound::StopAll()
{
  if (FSound)
    FSound->StopAll();
}

std::optional<std::uint64_t> ScriptSound::Position(swf::SoundHandle H) const
{
  if (!FSound || H == 0 || !FSound->Mixer().IsPlaying(H))
    return std::nullopt;
  return FSound->Mixer().Position(H);
}

void ScriptSound::Deliver(Machine& M)
{
  if (!FSound)
    return;
  std::vector<SoundObject*> done;
  for (const swf::SoundHandle h : FSound->Mixer().TakeCompleted()) {
    const auto it = std::find_if(FStarted.begin(), FStarted.end(), [h](const Started& S) { return S.Handle == h; });
    if (it == FStarted.end())
      continue;
    if (it->Source && it->Source->Last == h)
      it->Source->PositionMs = it->Source->DurationMs.value_or(it->Source->PositionMs);
    done.push_back(it->Source);
    FStarted.erase(it);
  }
  std::erase_if(FStarted, [this](const Started& S) { return !FSound->Mixer().IsPlaying(S.Handle); });
  const Atom name = M.Intern("onSoundComplete");
  for (SoundObject* s : done) {
    const Value handler = s ? s->Get(M, name) : Value();
    if (handler.IsObject())
      M.RunFunction(handler, s, {});
  }
}

void ScriptSound::Trace(Marker& M) const
{
  for (const Started& s : FStarted) {
    M.Mark(s.Owner);
    M.Mark(s.Source);
  }
}

} // namespace quenloft::swf::avm1
