// The classes and clip methods that load: LoadVars, MovieClipLoader, and
// MovieClip's loadMovie, unloadMovie, loadVariables, getBytesLoaded and
// getBytesTotal. The loads themselves are the player's (../Loads.h); a
// machine without one fails every load as a missing file.
#include "swf/avm1/ClipObject.h"
#include "swf/avm1/Loads.h"
#include "swf/avm1/PlayerImpl.h"
#include "swf/avm1/Machine.h"
#include "swf/avm1/globals/Globals.h"

#include <cmath>

namespace quenloft::swf::avm1 {

namespace {

// An address the script gave: undefined and null give none.
bool UrlOf(Machine& M, const Value& V, std::string& Url)
{
  if (V.IsUndefined() || V.IsNull())
    return false;
  Url = V.ToText(M);
  return true;
}

void SetHidden(Machine& M, Object* O, std::string_view Name, Value V)
{
  const Atom name = M.Intern(Name);
  if (O->HasOwn(M, name))
    O->Set(M, name, V);
  else
    O->Define(M, name, V, DontEnum);
}

// Text loads share the progress properties and the start of a load.
bool StartText(Machine& M, Object* Loader, const std::string& Url, std::string_view What)
{
  SetHidden(M, Loader, "_bytesLoaded", Value(0));
  SetHidden(M, Loader, "_bytesTotal", Value());
  Loader->Set(M, M.Intern("loaded"), Value(false));
  if (!M.Loads()) {
    M.GetHost().Log(std::string(What) + "(\"" + Url + "\") not carried out: this player reads no files");
    return true;
  }
  M.Loads()->LoadText(Loader, Url, What);
  return true;
}

// --- LoadVars ---

Value VarsConstruct(Machine&, Object* This, std::span<const Value>)
{
  return Value(This);
}

Value VarsLoad(Machine& M, Object* This, std::span<const Value> Args)
{
  std::string url;
  if (!This || !UrlOf(M, Arg(Args, 0), url))
    return Value(false);
  return Value(StartText(M, This, url, "LoadVars.load"));
}

// The answer of a file beside the movie is read; what would be sent goes
// nowhere (the log says so).
Value VarsSendAndLoad(Machine& M, Object* This, std::span<const Value> Args)
{
  std::string url;
  Object* target = Arg(Args, 1).ObjectOrNull();
  if (!This || !target || !UrlOf(M, Arg(Args, 0), url))
    return Value(false);
  M.GetHost().Log("LoadVars.sendAndLoad(\"" + url + "\"): the variables are not sent; only the file is read");
  return Value(StartText(M, target, url, "LoadVars.sendAndLoad"));
}

Value VarsSend(Machine& M, Object* This, std::span<const Value> Args)
{
  std::string url;
  if (!This || !UrlOf(M, Arg(Args, 0), url))
    return Value(false);
  M.GetHost().Log("LoadVars.send(\"" + url + "\") not carried out: a movie here sends nothing");
  return Value(true);
}

Value VarsDecode(Machine& M, Object* This, std::span<const Value> Args)
{
  if (!This || Args.empty())
    return Value();
  for (const auto& [name, value] : DecodeForm(Args[0].ToText(M)))
    This->Set(M, M.Intern(name), Value(M.NewString(value)));
  return Value();
}

Value VarsToString(Machine& M, Object* This, std::span<const Value>)
{
  if (!This)
    return Value();
  std::string out;
  const std::vector<Atom> names = This->EnumerableNames(M);
  // Oldest first, as the variables were set.
  for (auto it = names.rbegin(); it != names.rend(); ++it) {
    const Value v = This->Get(M, *it);
    if (v.IsObject() && v.AsObject()->TypeName() == "function")
      continue;
    if (!out.empty())
      out.push_back('&');
    out += EscapeForm(M.Atoms().View(*it)) + "=" + EscapeForm(v.ToText(M));
  }
  return Value(M.NewString(out));
}

Value VarsOnData(Machine& M, Object* This, std::span<const Value> Args)
{
  if (!This)
    return Value();
  const Value text = Arg(Args, 0);
  if (text.IsUndefined()) {
    const Value failed(false);
    M.CallMethod(Value(This), "onLoad", std::span<const Value>(&failed, 1));
    return Value();
  }
  M.CallMethod(Value(This), "decode", std::span<const Value>(&text, 1));
  This->Set(M, M.Intern("loaded"), Value(true));
  const Value succeeded(true);
  M.CallMethod(Value(This), "onLoad", std::span<const Value>(&succeeded, 1));
  return Value();
}

Value VarsBytesLoaded(Machine& M, Object* This, std::span<const Value>)
{
  return This ? This->Get(M, M.Intern("_bytesLoaded")) : Value();
}

Value VarsBytesTotal(Machine& M, Object* This, std::span<const Value>)
{
  return This ? This->Get(M, M.Intern("_bytesTotal")) : Value();
}

Value Ignore(Machine&, Object*, std::span<const Value>)
{
  return Value();
}

const Member VarsMethods[] = {
    Method("load", VarsLoad, DontEnum | DontDelete),
    Method("send", VarsSend, DontEnum | DontDelete),
    Method("sendAndLoad", VarsSendAndLoad, DontEnum | DontDelete),
    Method("decode", VarsDecode, DontEnum | DontDelete),
    Method("toString", VarsToString, DontEnum | DontDelete),
    Method("onData", VarsOnData, DontEnum | DontDelete),
    Method("getBytesLoaded", VarsBytesLoaded, DontEnum | DontDelete),
    Method("getBytesTotal", VarsBytesTotal, DontEnum | DontDelete),
    Method("addRequestHeader", Ignore, DontEnum | DontDelete),
    TextConstant("contentType", "application/x-www-form-urlencoded", DontEnum | DontDelete),
};

// --- MovieClipLoader ---

// The clip or level a target names: a clip, a level number, or a path.
struct Place {
  Object* Clip = nullptr;
  int Level = -1;
};

Place PlaceOf(Machine& M, const Value& Target)
{
  Place p;
  if (Target.IsNumber()) {
    const double n = Target.ToNumber(M);
    if (n >= 0 && n <= Timeline::MaxLevel && std::floor(n) == n)
      p.Level = static_cast<int>(n);
    return p;
  }
  if (Object* o = Target.ObjectOrNull(); o && dynamic_cast<ClipObject*>(o)) {
    p.Clip = o;
    return p;
  }
  if (!Target.IsString())
    return p;
  const std::string path = Target.ToText(M);
  if (LevelNumber(path) >= 0) {
    p.Level = LevelNumber(path);
    return p;
  }
  // A dot path from the root ("_root.a.b", "a.b").
  Object* o = M.Root();
  std::size_t start = 0;
  while (o && start <= path.size()) {
    const std::size_t end = std::min(path.find('.', start), path.size());
    const std::string part = path.substr(start, end - start);
    if (!part.empty() && part != "_root" && part != "_level0")
      o = o->Get(M, M.Intern(part)).ObjectOrNull();
    start = end + 1;
  }
  p.Clip = o && dynamic_cast<ClipObject*>(o) ? o : nullptr;
  return p;
}

Value LoaderConstruct(Machine& M, Object* This, std::span<const Value>)
{
  if (!This)
    return Value();
  MakeBroadcaster(M, *This);
  const Value self(This);
  M.CallMethod(self, "addListener", std::span<const Value>(&self, 1));
  return self;
}

Value LoadClip(Machine& M, Object* This, std::span<const Value> Args)
{
  std::string url;
  if (!This || Args.size() < 2 || !UrlOf(M, Args[0], url) || !M.Loads())
    return Value(false);
  const Place p = PlaceOf(M, Args[1]);
  return Value(M.Loads()->LoadMovie(p.Clip, p.Level, url, This));
}

Value UnloadClip(Machine& M, Object* This, std::span<const Value> Args)
{
  if (!This || Args.empty() || !M.Loads())
    return Value(false);
  const Place p = PlaceOf(M, Args[0]);
  if (!p.Clip && p.Level < 0)
    return Value(false);
  M.Loads()->Unload(p.Clip, p.Level);
  return Value(true);
}

// A clip gives its progress; a level number or a path gives an object
// whose fields are undefined when nothing is there; anything else gives
// undefined.
Value GetProgress(Machine& M, Object* This, std::span<const Value> Args)
{
  if (!This || Args.empty())
    return Value();
  const Value target = Args[0];
  if (!target.IsNumber() && !target.IsString() && !(target.IsObject() && dynamic_cast<ClipObject*>(target.AsObject())))
    return Value();
  Place p;
  if (target.IsNumber()) {
    const double n = std::trunc(target.ToNumber(M));
    p.Level = n >= 0 && n <= Timeline::MaxLevel ? static_cast<int>(n) : -1;
  } else {
    p = PlaceOf(M, target);
  }
  Object* clip = p.Clip ? p.Clip : M.Loads() ? M.Loads()->Level(p.Level) : nullptr;
  const double bytes = clip && M.Loads() ? M.Loads()->BytesOf(clip) : -1;
  Object* out = M.NewObject();
  out->Set(M, M.Intern("bytesLoaded"), bytes >= 0 ? Value(bytes) : Value());
  out->Set(M, M.Intern("bytesTotal"), bytes >= 0 ? Value(bytes) : Value());
  return Value(out);
}

const Member LoaderMethods[] = {
    Method("loadClip", LoadClip, DontEnum | DontDelete),
    Method("unloadClip", UnloadClip, DontEnum | DontDelete),
    Method("getProgress", GetProgress, DontEnum | DontDelete),
};

// --- MovieClip ---

Value ClipLoadMovie(Machine& M, Object* This, std::span<const Value> Args)
{
  std::string url;
  if (!This || !dynamic_cast<ClipObject*>(This) || !UrlOf(M, Arg(Args, 0), url))
    return Value();
  if (M.Loads())
    M.Loads()->LoadMovie(This, -1, url, nullptr);
  return Value();
}

Value ClipUnloadMovie(Machine& M, Object* This, std::span<const Value>)
{
  if (This && dynamic_cast<ClipObject*>(This) && M.Loads())
    M.Loads()->Unload(This, -1);
  return Value();
}

Value ClipLoadVariables(Machine& M, Object* This, std::span<const Value> Args)
{
  std::string url;
  if (This && dynamic_cast<ClipObject*>(This) && UrlOf(M, Arg(Args, 0), url) && M.Loads())
    M.Loads()->LoadVariables(This, url);
  return Value();
}

Value ClipBytes(Machine& M, Object* This, std::span<const Value>)
{
  auto* clip = dynamic_cast<ClipObject*>(This);
  if (!clip || !clip->Instance())
    return Value();
  const double bytes = M.Loads() ? M.Loads()->BytesOf(clip) : -1;
  return Value(bytes >= 0 ? bytes : 0);
}

// The SWF version of the movie the clip plays; -1 for a loaded image.
Value ClipSwfVersion(Machine&, Object* This, std::span<const Value>)
{
  auto* clip = dynamic_cast<ClipObject*>(This);
  if (!clip || !clip->Instance())
    return Value();
  const int version = clip->Player().Timeline().MovieOf(clip->Instance()).Version;
  return Value(version > 0 ? version : -1);
}

const Member ClipMethods[] = {
    Method("loadMovie", ClipLoadMovie),
    Method("unloadMovie", ClipUnloadMovie),
    Method("loadVariables", ClipLoadVariables),
    Method("getBytesLoaded", ClipBytes),
    Method("getBytesTotal", ClipBytes),
    Method("getSWFVersion", ClipSwfVersion),
};

} // namespace

extern const ClassSpec LoadVarsClass = {.Name = "LoadVars", .Construct = VarsConstruct, .Prototype = VarsMethods};
extern const ClassSpec MovieClipLoaderClass = {
    .Name = "MovieClipLoader", .Construct = LoaderConstruct, .Prototype = LoaderMethods};

void InstallClipLoading(Machine& M)
{
  Object* proto = M.Prototype("MovieClip");
  if (!proto)
    return;
  // Methods the clip class already has stay its own.
  for (const Member& m : ClipMethods)
    if (!proto->HasOwn(M, M.Intern(m.Name)))
      DefineMembers(M, *proto, std::span<const Member>(&m, 1));
}

} // namespace quenloft::swf::avm1
