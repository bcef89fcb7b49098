#include "swf/avm1/ClipObject.h"

#include "swf/avm1/Machine.h"
#include "swf/avm1/PlayerImpl.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <optional>

namespace quenloft::swf::avm1 {

namespace {

// The scale and rotation script sees, from the placement's matrix.
double ScaleX(const Matrix& M) { return std::hypot(M.A, M.B); }
double ScaleY(const Matrix& M) { return std::hypot(M.C, M.D); }
double Rotation(const Matrix& M) { return std::atan2(M.B, M.A) * 180 / std::numbers::pi; }

void SetScaleRotation(Matrix& M, double Sx, double Sy, double DegreesRotation)
{
  const double r = DegreesRotation * std::numbers::pi / 180;
  const double skew = std::atan2(-M.C, M.D) - std::atan2(M.B, M.A);
  M.A = Sx * std::cos(r);
  M.B = Sx * std::sin(r);
  M.C = -Sy * std::sin(r + skew);
  M.D = Sy * std::cos(r + skew);
}

} // namespace

DisplayObject* ClipObject::Placement() const
{
  if (!FInstance || !FInstance->Parent)
    return nullptr;
  for (DisplayObject& o : FInstance->Parent->List)
    if (o.Sprite.get() == FInstance)
      return &o;
  return nullptr;
}

ClipObject* ClipObject::Parent() const
{
  return FInstance && FInstance->Parent ? FPlayer.ObjectOf(FInstance->Parent) : nullptr;
}

ClipObject* ClipObject::RootClip() const
{
  return FPlayer.ObjectOf(&FPlayer.Timeline().Root());
}

ClipObject* ClipObject::Child(Machine& M, Atom Name) const
{
  if (!FInstance)
    return nullptr;
  const Atom key = M.Key(Name);
  for (const DisplayObject& o : FInstance->List) {
    if (!o.Sprite || o.Name.empty())
      continue;
    if (M.Key(M.Intern(o.Name)) == key)
      return FPlayer.ObjectOf(o.Sprite.get());
  }
  return nullptr;
}

std::string ClipObject::DotPath() const
{
  if (!FInstance)
    return {};
  if (!FInstance->Parent)
    return "_level0";
  std::string path = FInstance->Name;
  for (const SpriteInstance* p = FInstance->Parent; p && p->Parent; p = p->Parent)
    path = p->Name + "." + path;
  return "_level0." + path;
}

std::string ClipObject::SlashPath() const
{
  if (!FInstance || !FInstance->Parent)
    return "/";
  std::string path;
  for (const SpriteInstance* p = FInstance; p && p->Parent; p = p->Parent)
    path = "/" + p->Name + path;
  return path;
}

const String* ClipObject::DisplayPath(Machine& M)
{
  return M.NewString(FInstance ? DotPath() : std::string());
}

std::uint32_t ClipObject::TotalFrames() const
{
  return FInstance ? static_cast<std::uint32_t>(FInstance->Definition->Frames.size()) : 0;
}

void ClipObject::Play()
{
  if (FInstance)
    FInstance->Playing = true;
}

void ClipObject::Stop()
{
  if (FInstance)
    FInstance->Playing = false;
}

void ClipObject::GotoFrame(std::uint32_t Frame, bool AndPlay)
{
  if (!FInstance)
    return;
  FInstance->Playing = AndPlay;
  FPlayer.Timeline().Goto(*FInstance, std::min(Frame, std::max(TotalFrames(), 1u) - 1));
}

bool ClipObject::GotoLabel(std::string_view Label, bool AndPlay)
{
  if (!FInstance)
    return false;
  const auto& labels = FInstance->Definition->Labels;
  auto it = labels.find(std::string(Label));
  if (it == labels.end()) {
    // Labels match without regard to case.
    it = std::find_if(labels.begin(), labels.end(), [&](const auto& L) {
      return std::equal(L.first.begin(), L.first.end(), Label.begin(), Label.end(),
                        [](char A, char B) { return std::tolower(static_cast<unsigned char>(A)) ==
                                                    std::tolower(static_cast<unsigned char>(B)); });
    });
    if (it == labels.end())
      return false;
  }
  GotoFrame(it->second, AndPlay);
  return true;
}

void ClipObject::NextFrame()
{
  if (FInstance && FInstance->CurrentFrame + 1 < TotalFrames())
    GotoFrame(FInstance->CurrentFrame + 1, false);
  else
    Stop();
}

void ClipObject::PrevFrame()
{
  if (FInstance && FInstance->CurrentFrame > 0)
    GotoFrame(FInstance->CurrentFrame - 1, false);
  else
    Stop();
}

namespace {

// Script depths -16384..49151 map onto the file's 0..65535.
std::optional<swf::Depth> FileDepth(double ScriptDepth)
{
  if (std::isnan(ScriptDepth))
    return std::nullopt;
  const double d = std::trunc(ScriptDepth) + 16384;
  if (d < 0 || d > 65535)
    return std::nullopt;
  return static_cast<swf::Depth>(d);
}

} // namespace

ClipObject* ClipObject::Attach(Machine&, CharacterId Id, const std::string& Name, double Depth)
{
  const auto depth = FileDepth(Depth);
  if (!FInstance || !depth)
    return nullptr;
  SpriteInstance* made = FPlayer.Timeline().PlaceClip(*FInstance, Id, *depth, Name, nullptr);
  return FPlayer.ObjectOf(made);
}

ClipObject* ClipObject::Duplicate(Machine& M, const std::string& Name, double Depth, Object* Init)
{
  const auto depth = FileDepth(Depth);
  const DisplayObject* placed = Placement();
  if (!FInstance || !FInstance->Parent || !depth || !placed)
    return nullptr;
  const DisplayObject like = *placed;
  SpriteInstance* made = FPlayer.Timeline().PlaceClip(*FInstance->Parent, like.Character, *depth, Name, &like);
  ClipObject* clip = FPlayer.ObjectOf(made);
  if (clip && Init)
    for (const Property& p : Init->OwnProperties())
      if (!(p.Flags & DontEnum))
        clip->Set(M, p.Name, p.IsVirtual() ? Init->Get(M, p.Name) : p.Data);
  return clip;
}

void ClipObject::Remove()
{
  // Clips the timeline placed stay; those script placed go.
  if (FInstance && FInstance->Parent && FInstance->Depth >= 16384)
    FPlayer.Timeline().RemoveClip(*FInstance);
}

bool ClipObject::GetOwnVirtual(Machine& M, Atom Name, Value& Out)
{
  const std::string_view name = M.Atoms().View(Name);
  if (name.empty())
    return false;
  if (name[0] != '_') {
    if (ClipObject* child = Child(M, Name)) {
      Out = Value(static_cast<Object*>(child));
      return true;
    }
    return false;
  }
  std::string lower(name);
  for (char& c : lower)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (lower == "_root" || lower == "_level0") {
    Out = Value(static_cast<Object*>(RootClip()));
    return true;
  }
  if (lower == "_parent") {
    ClipObject* p = Parent();
    Out = p ? Value(static_cast<Object*>(p)) : Value();
    return true;
  }
  if (lower == "_global") {
    Out = Value(M.Global());
    return true;
  }
  if (lower == "_currentframe") {
    Out = Value(static_cast<double>(CurrentFrame() + 1));
    return true;
  }
  if (lower == "_totalframes" || lower == "_framesloaded") {
    Out = Value(static_cast<double>(TotalFrames()));
    return true;
  }
  if (lower == "_name") {
    Out = Value(M.NewString(FInstance ? FInstance->Name : std::string()));
    return true;
  }
  if (lower == "_target") {
    Out = Value(M.NewString(SlashPath()));
    return true;
  }
  if (lower == "_url") {
    Out = Value(M.NewString("file:///movie.swf"));
    return true;
  }
  const DisplayObject* o = Placement();
  const Matrix m = o ? o->Transform : Matrix{};
  if (lower == "_x") {
    Out = Value(m.Tx / 20);
    return true;
  }
  if (lower == "_y") {
    Out = Value(m.Ty / 20);
    return true;
  }
  if (lower == "_xscale") {
    Out = Value(ScaleX(m) * 100);
    return true;
  }
  if (lower == "_yscale") {
    Out = Value(ScaleY(m) * 100);
    return true;
  }
  if (lower == "_rotation") {
    Out = Value(Rotation(m));
    return true;
  }
  if (lower == "_alpha") {
    Out = Value(o ? o->Color.AMul * 100 : 100.0);
    return true;
  }
  if (lower == "_visible") {
    Out = Value(o ? o->Visible : true);
    return true;
  }
  if (lower == "_width" || lower == "_height") {
    Out = Value(0.0);
    return true;
  }
  if (lower == "_highquality") {
    Out = Value(1.0);
    return true;
  }
  if (lower == "_quality") {
    Out = Value(M.NewString("HIGH"));
    return true;
  }
  if (lower == "_droptarget") {
    Out = Value(M.NewString(FPlayer.Input().DropTarget(this)));
    return true;
  }
  if (lower == "_xmouse" || lower == "_ymouse") {
    const Point p = FInstance ? FPlayer.Input().PointerIn(*FInstance) : Point{};
    Out = Value(lower == "_xmouse" ? p.X : p.Y);
    return true;
  }
  return false;
}

bool ClipObject::SetOwnVirtual(Machine& M, Atom Name, Value V)
{
  const std::string_view name = M.Atoms().View(Name);
  if (name.empty() || name[0] != '_')
    return false;
  std::string lower(name);
  for (char& c : lower)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (lower == "_name") {
    if (FInstance && FInstance->Parent) {
      FInstance->Name = V.ToText(M);
      if (DisplayObject* o = Placement())
        o->Name = FInstance->Name;
    }
    return true;
  }
  if (lower == "_currentframe" || lower == "_totalframes" || lower == "_framesloaded" || lower == "_target" || lower == "_droptarget" ||
      lower == "_url" || lower == "_parent" || lower == "_root")
    return lower != "_parent" && lower != "_root";
  DisplayObject* o = Placement();
  const double d = V.ToNumber(M);
  if (lower == "_visible") {
    if (o)
      o->Visible = V.ToBoolean(M.Version());
    return true;
  }
  const bool known = lower == "_x" || lower == "_y" || lower == "_xscale" || lower == "_yscale" ||
                     lower == "_rotation" || lower == "_alpha";
  if (!known)
    return false;
  // Setting a number that is not one leaves the property as it was.
  if (!o || std::isnan(d))
    return true;
  Matrix& m = o->Transform;
  if (lower == "_x")
    m.Tx = std::round(d * 20);
  else if (lower == "_y")
    m.Ty = std::round(d * 20);
  else if (lower == "_xscale")
    SetScaleRotation(m, d / 100, ScaleY(m), Rotation(m));
  else if (lower == "_yscale")
    SetScaleRotation(m, ScaleX(m), d / 100, Rotation(m));
  else if (lower == "_rotation") {
    double r = std::fmod(d, 360);
    if (r > 180)
      r -= 360;
    else if (r < -180)
      r += 360;
    SetScaleRotation(m, ScaleX(m), ScaleY(m), r);
  } else if (lower == "_alpha")
    o->Color.AMul = d / 100;
  return true;
}

bool ClipObject::HasOwnVirtual(Machine& M, Atom Name)
{
  Value v;
  return GetOwnVirtual(M, Name, v);
}

} // namespace quenloft::swf::avm1
