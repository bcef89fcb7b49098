// Sound: plays the movie's exported sounds and sets the volume and pan of
// a clip's sounds (the clip named by the constructor's target, resolved at
// each call from the clip the calling code runs in) or, without a target,
// of the whole movie. Sounds play in the mixer the timeline's sounds go to.
#include "swf/avm1/ClipObject.h"
#include "swf/avm1/Machine.h"
#include "swf/avm1/PlayerImpl.h"
#include "swf/avm1/ScriptSound.h"
#include "swf/avm1/globals/Globals.h"

#include <cmath>
#include <limits>

namespace quenloft::swf::avm1 {

Object* SoundObject::CreateInstance(Machine& M, Object* Proto)
{
  return M.Heap().Make<SoundObject>(Proto);
}

namespace {

class SoundPrototype final : public Object {
public:
  using Object::Object;
  Object* CreateInstance(Machine& M, Object* Proto) override { return M.Heap().Make<SoundObject>(Proto); }
};

Object* MakeProto(Machine& M, Object* Base)
{
  return M.Heap().Make<SoundPrototype>(Base);
}

ScriptSound* Sounds(Machine& M)
{
  auto* root = dynamic_cast<ClipObject*>(M.Root());
  return root ? &root->Player().Sounds() : nullptr;
}

// Where a Sound object's levels live, found anew at each call.
struct Owner {
  bool Valid = false;        // the movie, or a target that names a clip now
  ClipObject* Clip = nullptr; // null with Valid: the movie as a whole
};

Owner OwnerOf(Machine& M, SoundObject* S)
{
  if (!S->Target)
    return {true, nullptr};
  auto* clip = dynamic_cast<ClipObject*>(M.ResolvePath(*S->Target));
  return {clip != nullptr && clip->Instance() != nullptr, clip};
}

// Numbers outside the 32-bit range (and NaN) become its lowest value.
std::int32_t Clamped(double D)
{
  if (!(D >= std::numeric_limits<std::int32_t>::min() && D <= std::numeric_limits<std::int32_t>::max()))
    return std::numeric_limits<std::int32_t>::min();
  return static_cast<std::int32_t>(D);
}

// Runs Change on the owner's levels and lets the playing sounds follow.
template <typename F>
void ChangeLevels(Machine& M, Object* This, F Change)
{
  auto* s = dynamic_cast<SoundObject*>(This);
  ScriptSound* sounds = Sounds(M);
  if (!s || !sounds)
    return;
  const Owner o = OwnerOf(M, s);
  if (!o.Valid)
    return;
  if (o.Clip) {
    Change(o.Clip->Levels);
    sounds->Refresh();
  } else {
    SoundLevels l = sounds->Global();
    Change(l);
    sounds->SetGlobal(l);
  }
}

// The owner's levels, or nothing when the target names no clip.
std::optional<SoundLevels> ReadLevels(Machine& M, Object* This)
{
  auto* s = dynamic_cast<SoundObject*>(This);
  ScriptSound* sounds = Sounds(M);
  if (!s || !sounds)
    return std::nullopt;
  const Owner o = OwnerOf(M, s);
  if (!o.Valid)
    return std::nullopt;
  return o.Clip ? o.Clip->Levels : sounds->Global();
}

Value Construct(Machine& M, Object* This, std::span<const Value> Args)
{
  if (auto* s = dynamic_cast<SoundObject*>(This)) {
    const Value target = Arg(Args, 0);
    if (!target.IsNullish())
      s->Target = target.ToText(M);
  }
  return Value(This);
}

Value GetVolume(Machine& M, Object* This, std::span<const Value>)
{
  const auto l = ReadLevels(M, This);
  return l ? Value(static_cast<double>(l->Volume)) : Value();
}

Value GetPan(Machine& M, Object* This, std::span<const Value>)
{
  const auto l = ReadLevels(M, This);
  return l ? Value(static_cast<double>(l->Pan())) : Value();
}

Value GetTransform(Machine& M, Object* This, std::span<const Value>)
{
  const auto l = ReadLevels(M, This);
  if (!l)
    return Value();
  // "lr" is the right input's share of the left output, "rl" the reverse.
  Object* out = M.NewObject();
  out->Set(M, M.Intern("ll"), Value(static_cast<double>(l->LeftToLeft)));
  out->Set(M, M.Intern("lr"), Value(static_cast<double>(l->RightToLeft)));
  out->Set(M, M.Intern("rr"), Value(static_cast<double>(l->RightToRight)));
  out->Set(M, M.Intern("rl"), Value(static_cast<double>(l->LeftToRight)));
  return Value(out);
}

Value SetVolume(Machine& M, Object* This, std::span<const Value> Args)
{
  const std::int32_t v = Clamped(Args.empty() ? 0.0 : Args[0].ToNumber(M));
  ChangeLevels(M, This, [v](SoundLevels& L) { L.Volume = v; });
  return Value();
}

Value SetPan(Machine& M, Object* This, std::span<const Value> Args)
{
  const std::int32_t p = Clamped(Args.empty() ? 0.0 : Args[0].ToNumber(M));
  ChangeLevels(M, This, [p](SoundLevels& L) { L = L.WithPan(p); });
  return Value();
}

Value SetTransform(Machine& M, Object* This, std::span<const Value> Args)
{
  Object* t = Arg(Args, 0).ObjectOrNull();
  if (!t)
    return Value();
  // Only the object's own fields count; each is read before any changes.
  const auto read = [&](const char* Name) -> std::optional<std::int32_t> {
    const Atom name = M.Intern(Name);
    if (!t->HasOwn(M, name))
      return std::nullopt;
    return t->Get(M, name).ToInt32(M);
  };
  const auto ll = read("ll"), rl = read("rl"), lr = read("lr"), rr = read("rr");
  ChangeLevels(M, This, [&](SoundLevels& L) {
    L.LeftToLeft = ll.value_or(L.LeftToLeft);
    L.LeftToRight = rl.value_or(L.LeftToRight);
    L.RightToLeft = lr.value_or(L.RightToLeft);
    L.RightToRight = rr.value_or(L.RightToRight);
  });
  return Value();
}

Value Duration(Machine& M, Object* This, std::span<const Value>)
{
  auto* s = dynamic_cast<SoundObject*>(This);
  if (!s || !s->DurationMs || !OwnerOf(M, s).Valid)
    return Value();
  return Value(*s->DurationMs);
}

Value Position(Machine& M, Object* This, std::span<const Value>)
{
  auto* s = dynamic_cast<SoundObject*>(This);
  ScriptSound* sounds = Sounds(M);
  if (!s || !sounds || s->Id == 0 || !OwnerOf(M, s).Valid)
    return Value();
  if (const auto at = sounds->Position(s->Last))
    s->PositionMs = std::round(static_cast<double>(*at) * 1000.0 / swf::TSoundMixer::Rate);
  return Value(s->PositionMs);
}

Value AttachSound(Machine& M, Object* This, std::span<const Value> Args)
{
  auto* s = dynamic_cast<SoundObject*>(This);
  ScriptSound* sounds = Sounds(M);
  if (!s || !sounds || !OwnerOf(M, s).Valid)
    return Value();
  const swf::Sound* sound = sounds->Exported(Arg(Args, 0).ToText(M));
  if (!sound) {
    M.GetHost().Log("Sound.attachSound: no sound is exported as \"" + Arg(Args, 0).ToText(M) + "\"");
    return Value();
  }
  s->Id = sound->Id;
  const double rate = sound->Format.Rate == 5512 ? 5512.5 : static_cast<double>(swf::DecodedRate(sound->Format));
  s->DurationMs = std::round(sound->SampleCount * 1000.0 / std::max(1.0, rate));
  s->PositionMs = 0;
  // The two properties appear once a sound is attached.
  const Atom position = M.Intern("position"), duration = M.Intern("duration");
  if (!s->Has(M, position) || !s->Has(M, duration)) {
    s->DefineAccessor(M, position, M.NewNative(Position), nullptr, DontEnum | DontDelete);
    s->DefineAccessor(M, duration, M.NewNative(Duration), nullptr, DontEnum | DontDelete);
  }
  return Value();
}

Value Start(Machine& M, Object* This, std::span<const Value> Args)
{
  auto* s = dynamic_cast<SoundObject*>(This);
  ScriptSound* sounds = Sounds(M);
  if (!s || !sounds || s->Id == 0)
    return Value();
  const Owner o = OwnerOf(M, s);
  if (!o.Valid)
    return Value();
  const double offset = Args.empty() ? 0.0 : Args[0].ToNumber(M);
  const double loops = Args.size() < 2 ? 1.0 : Args[1].ToNumber(M);
  swf::SoundInfo info;
  if (offset > 0)
    info.InPoint = static_cast<std::uint32_t>(std::min(offset * swf::TSoundMixer::Rate, 4.0e9));
  info.Loops = std::isfinite(loops) && loops >= 1 ? static_cast<std::uint16_t>(std::min(loops, 65535.0)) : 1;
  if (const swf::SoundHandle h = sounds->Start(s->Id, info, o.Clip, s)) {
    s->Last = h;
    s->PositionMs = 0;
  }
  return Value();
}

Value Stop(Machine& M, Object* This, std::span<const Value> Args)
{
  auto* s = dynamic_cast<SoundObject*>(This);
  ScriptSound* sounds = Sounds(M);
  if (!s || !sounds)
    return Value();
  const Owner o = OwnerOf(M, s);
  if (!o.Valid)
    return Value();
  if (!Args.empty()) {
    // By name: every instance of that sound.
    if (const swf::Sound* sound = sounds->Exported(Args[0].ToText(M)))
      sounds->StopSound(sound->Id);
  } else if (o.Clip) {
    sounds->StopUnder(o.Clip);
  } else {
    sounds->StopAll();
  }
  return Value();
}

Value LoadSound(Machine& M, Object* This, std::span<const Value> Args)
{
  // A previewed movie opens nothing: the request goes to the log.
  if (dynamic_cast<SoundObject*>(This))
    M.GetHost().Log("Sound.loadSound(\"" + Arg(Args, 0).ToText(M) + "\") was not carried out");
  return Value();
}

Value Ignore(Machine&, Object*, std::span<const Value>)
{
  return Value();
}

constexpr std::uint16_t F = DontEnum | DontDelete | ReadOnly;
const Member Methods[] = {
    Method("getPan", GetPan, F),
    Method("getTransform", GetTransform, F),
    Method("getVolume", GetVolume, F),
    Method("setPan", SetPan, F),
    Method("setTransform", SetTransform, F),
    Method("setVolume", SetVolume, F),
    Method("stop", Stop, F),
    Method("attachSound", AttachSound, F),
    Method("start", Start, F),
    Method("getDuration", Duration, F | OnlySwf6),
    Method("setDuration", Ignore, F | OnlySwf6),
    Method("getPosition", Position, F | OnlySwf6),
    Method("setPosition", Ignore, F | OnlySwf6),
    Method("loadSound", LoadSound, F | OnlySwf6),
};

} // namespace

extern const ClassSpec SoundClass = {.Name = "Sound", .Construct = Construct, .Prototype = Methods, .MakePrototype = MakeProto};

} // namespace quenloft::swf::avm1
