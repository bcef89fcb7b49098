// Color: sets and reads the colour transform of the clip named by its
// `target` (a clip or a target path, resolved at each call).
#include "swf/avm1/ClipObject.h"
#include "swf/avm1/Machine.h"
#include "swf/avm1/globals/Globals.h"

#include <cmath>

namespace quenloft::swf::avm1 {

namespace {

// A path such as "_root.a.b", "/a/b" or "a.b" from the root clip.
ClipObject* FromPath(Machine& M, const std::string& Path)
{
  Object* at = M.Root();
  std::string part;
  const auto step = [&] {
    if (!at || part.empty() || part == "_root" || part == "_level0") {
      part.clear();
      return;
    }
    at = part == ".." ? nullptr : at->Get(M, M.Intern(part)).ObjectOrNull();
    part.clear();
  };
  for (char c : Path) {
    if (c == '.' || c == '/')
      step();
    else
      part.push_back(c);
  }
  step();
  return dynamic_cast<ClipObject*>(at);
}

// Writing through the result marks the clip as coloured by script.
swf::ColorTransform* Target(Machine& M, Object* This, bool Writing = false)
{
  if (!This)
    return nullptr;
  const Value target = This->Get(M, M.Intern("target"));
  ClipObject* clip = dynamic_cast<ClipObject*>(target.ObjectOrNull());
  if (!clip && !target.IsNullish())
    clip = FromPath(M, target.ToText(M));
  if (clip && Writing)
    clip->MarkScriptMoved();
  return clip ? clip->ColorTransformOf() : nullptr;
}

Value Construct(Machine& M, Object* This, std::span<const Value> Args)
{
  if (This)
    This->Define(M, M.Intern("target"), Arg(Args, 0), DontEnum | DontDelete | ReadOnly);
  return Value(This);
}

// Multipliers are 8.8 fixed point and offsets 16-bit in the player.
double Fixed(double Percent)
{
  return static_cast<std::int16_t>(NumberToInt32(Percent * 256.0 / 100.0)) / 256.0;
}

Value SetRgb(Machine& M, Object* This, std::span<const Value> Args)
{
  swf::ColorTransform* c = Target(M, This, true);
  if (!c)
    return Value();
  const std::uint32_t rgb = static_cast<std::uint32_t>(Arg(Args, 0).ToInt32(M));
  c->RMul = c->GMul = c->BMul = 0;
  c->RAdd = (rgb >> 16) & 0xFF;
  c->GAdd = (rgb >> 8) & 0xFF;
  c->BAdd = rgb & 0xFF;
  return Value();
}

Value GetRgb(Machine& M, Object* This, std::span<const Value>)
{
  swf::ColorTransform* c = Target(M, This);
  if (!c)
    return Value();
  const auto part = [](double D) { return static_cast<std::int32_t>(D); };
  return Value((part(c->RAdd) << 16) | (part(c->GAdd) << 8) | part(c->BAdd));
}

Value SetTransform(Machine& M, Object* This, std::span<const Value> Args)
{
  Object* t = Arg(Args, 0).ObjectOrNull();
  swf::ColorTransform* c = t ? Target(M, This, true) : nullptr;
  if (!c || !t)
    return Value();
  // Only the object's own properties count, not inherited ones.
  const auto read = [&](const char* Name, double& Out, bool Multiplier) {
    const Atom name = M.Intern(Name);
    if (!t->HasOwn(M, name))
      return;
    const double v = t->Get(M, name).ToNumber(M);
    Out = Multiplier ? Fixed(v) : static_cast<std::int16_t>(NumberToInt32(v));
  };
  read("ra", c->RMul, true);
  read("ga", c->GMul, true);
  read("ba", c->BMul, true);
  read("aa", c->AMul, true);
  read("rb", c->RAdd, false);
  read("gb", c->GAdd, false);
  read("bb", c->BAdd, false);
  read("ab", c->AAdd, false);
  return Value();
}

Value GetTransform(Machine& M, Object* This, std::span<const Value>)
{
  swf::ColorTransform* c = Target(M, This);
  if (!c)
    return Value();
  Object* out = M.NewObject();
  const std::pair<const char*, double> fields[] = {
      {"ra", c->RMul * 100}, {"ga", c->GMul * 100}, {"ba", c->BMul * 100}, {"aa", c->AMul * 100},
      {"rb", c->RAdd},       {"gb", c->GAdd},       {"bb", c->BAdd},       {"ab", c->AAdd},
  };
  for (const auto& [name, v] : fields)
    out->Set(M, M.Intern(name), Value(v));
  return Value(out);
}

constexpr std::uint16_t F = DontEnum | DontDelete | ReadOnly;
const Member Methods[] = {
    Method("setRGB", SetRgb, F),
    Method("setTransform", SetTransform, F),
    Method("getRGB", GetRgb, F),
    Method("getTransform", GetTransform, F),
};

} // namespace

extern const ClassSpec ColorClass = {.Name = "Color", .Construct = Construct, .Prototype = Methods};

} // namespace quenloft::swf::avm1
