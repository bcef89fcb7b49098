#include "swf/avm1/ClipObject.h"

#include "swf/avm1/Loads.h"
#include "swf/avm1/Machine.h"
#include "swf/avm1/PlayerImpl.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>
#include <optional>

namespace quenloft::swf::avm1 {

DisplayObject* ClipObject::Placement() const
{
  if (!FInstance)
    return nullptr;
  if (!FInstance->Parent)
    return &FRootPlacement;
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
  // A clip with _lockroot set is the root of everything under it; otherwise
  // the root of the level the clip is in.
  const SpriteInstance* top = FInstance;
  for (; top && top->Parent; top = top->Parent)
    if (ClipObject* c = FPlayer.ObjectOf(const_cast<SpriteInstance*>(top)); c && c->FLockRoot)
      return c;
  ClipObject* level = top ? FPlayer.ObjectOf(const_cast<SpriteInstance*>(top)) : nullptr;
  return level ? level : FPlayer.ObjectOf(&FPlayer.Timeline().Root());
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
  // A level's root is named "_levelN"; level 0's root has no name.
  const auto levelName = [](const SpriteInstance& Top) { return Top.Name.empty() ? "_level0" : Top.Name; };
  if (!FInstance->Parent)
    return levelName(*FInstance);
  std::string path = FInstance->Name;
  const SpriteInstance* p = FInstance->Parent;
  for (; p && p->Parent; p = p->Parent)
    path = p->Name + "." + path;
  return (p ? levelName(*p) : std::string("_level0")) + "." + path;
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
  // A removed clip goes by its old path until its unload handlers ran.
  return M.NewString(FInstance ? DotPath() : FUnloading ? FLastPath : std::string());
}

void ClipObject::OwnVirtualNames(Machine& M, std::vector<Atom>& Out)
{
  if (!FInstance)
    return;
  for (auto it = FInstance->List.rbegin(); it != FInstance->List.rend(); ++it)
    if (!it->Name.empty())
      Out.push_back(M.Intern(it->Name));
}

ClipObject* ClipObject::Rebound(Machine& M)
{
  if (FInstance)
    return this;
  std::string_view path = FLastPath;
  const std::size_t dot = path.find('.');
  const std::string_view level = path.substr(0, dot);
  if (!level.starts_with("_level"))
    return nullptr;
  ClipObject* at = level == "_level0" ? FPlayer.ObjectOf(&FPlayer.Timeline().Root()) : nullptr;
  if (level != "_level0" && M.Loads())
    at = dynamic_cast<ClipObject*>(M.Loads()->Level(LevelNumber(level)));
  path = dot == std::string_view::npos ? std::string_view() : path.substr(dot + 1);
  while (at && !path.empty()) {
    const std::size_t end = std::min(path.find('.'), path.size());
    at = at->Child(M, M.Intern(path.substr(0, end)));
    path = end < path.size() ? path.substr(end + 1) : std::string_view();
  }
  return at && at->FInstance ? at : nullptr;
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

void ClipObject::GotoNumber(double Frame, std::uint16_t Bias, bool AndPlay)
{
  const std::int64_t wrapped = NumberToInt32(Frame);
  // One down, the bias on, both wrapping; one up, saturating.
  const auto shifted = static_cast<std::int32_t>(static_cast<std::uint32_t>(wrapped - 1 + Bias));
  const std::int64_t f = std::min<std::int64_t>(static_cast<std::int64_t>(shifted) + 1, std::numeric_limits<std::int32_t>::max());
  if (f > 0)
    GotoFrame(static_cast<std::uint16_t>(f) - 1u, AndPlay);
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

ClipObject* ClipObject::Duplicate(Machine&, const std::string& Name, double Depth, Object* Init)
{
  const auto depth = FileDepth(Depth);
  const DisplayObject* placed = Placement();
  if (!FInstance || !FInstance->Parent || !depth || !placed)
    return nullptr;
  const DisplayObject like = *placed;
  SpriteInstance* made = FPlayer.Timeline().PlaceClip(*FInstance->Parent, like.Character, *depth, Name, &like);
  ClipObject* clip = FPlayer.ObjectOf(made);
  // The copy shows what was drawn on the original.
  if (clip && FDrawing) {
    clip->FDrawing = std::make_unique<ClipDrawing>(*FDrawing);
    clip->Drew();
  }
  if (clip)
    FPlayer.Construct(clip, Init);
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
  // A removed clip has no display properties left.
  if (name.empty() || !FInstance)
    return false;
  if (name[0] != '_') {
    Out = NamedChild(M, *this, Name);
    return !Out.IsUndefined();
  }
  std::string lower(name);
  for (char& c : lower)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (lower == "_root") {
    Out = Value(static_cast<Object*>(RootClip()));
    return true;
  }
  if (lower.starts_with("_level") && M.Loads()) {
    // A level that is not there reads as undefined.
    if (Object* level = M.Loads()->Level(LevelNumber(lower))) {
      Out = Value(level);
      return true;
    }
    if (LevelNumber(lower) >= 0) {
      Out = Value();
      return true;
    }
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
    // An empty clip script made never enters a frame.
    const DisplayObject* placed = Placement();
    const bool empty = placed && FInstance->Parent && placed->Character == 0 && !FInstance->Loaded;
    Out = Value(empty ? 0.0 : static_cast<double>(CurrentFrame() + 1));
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
    // The address of the movie the clip plays: the nearest load into it
    // or a clip above it, else the main movie's.
    std::string url;
    for (ClipObject* c = this; c && url.empty() && M.Loads(); c = c->Parent())
      url = M.Loads()->UrlOf(c);
    if (url.empty())
      url = "movie.swf";
    Out = Value(M.NewString(url.find("://") == std::string::npos ? "file:///" + url : url));
    return true;
  }
  if (GetDisplay(M, lower, Out))
    return true;
  // Children may have names that start with an underscore too.
  Out = NamedChild(M, *this, Name);
  return !Out.IsUndefined();
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
      // From SWF 7 on NaN names the clip "0".
      const bool nan = V.IsNumber() && std::isnan(V.AsNumber()) && M.Version() >= 7;
      FInstance->Name = nan ? std::string("0") : V.ToText(M);
      if (DisplayObject* o = Placement())
        o->Name = FInstance->Name;
    }
    return true;
  }
  if (lower == "_currentframe" || lower == "_totalframes" || lower == "_framesloaded" || lower == "_target" || lower == "_droptarget" ||
      lower == "_url" || lower == "_parent" || lower == "_root")
    return lower != "_parent" && lower != "_root";
  return SetDisplay(M, lower, V);
}

bool ClipObject::HasOwnVirtual(Machine& M, Atom Name)
{
  Value v;
  return GetOwnVirtual(M, Name, v);
}

} // namespace quenloft::swf::avm1
