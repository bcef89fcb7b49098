// MovieClip: the timeline methods.
#include "swf/avm1/ClipObject.h"
#include "swf/avm1/Machine.h"
#include "swf/avm1/PlayerImpl.h"
#include "swf/avm1/globals/Globals.h"
#include "swf/avm1/globals/Services.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

namespace quenloft::swf::avm1 {

extern const Member MovieClipSpaceMethods[];
extern const std::size_t MovieClipSpaceMethodCount;
extern const Member MovieClipDrawingMethods[];
extern const std::size_t MovieClipDrawingMethodCount;

namespace {

ClipObject* Self(Object* This)
{
  return dynamic_cast<ClipObject*>(This);
}

Value Construct(Machine&, Object* This, std::span<const Value>)
{
  return Value(This);
}

// startDrag(lockCenter, left, top, right, bottom): the bounds only when all
// four are given.
Value StartDrag(Machine& M, Object* This, std::span<const Value> Args)
{
  ClipObject* c = Self(This);
  if (!c)
    return Value();
  std::optional<InputRouter::DragBounds> bounds;
  if (Args.size() >= 5)
    bounds = InputRouter::DragBounds{Args[1].ToNumber(M), Args[2].ToNumber(M), Args[3].ToNumber(M),
                                     Args[4].ToNumber(M)};
  c->Player().Input().StartDrag(c, Arg(Args, 0).ToBoolean(M.Version()), bounds);
  return Value();
}

Value StopDrag(Machine&, Object* This, std::span<const Value>)
{
  if (ClipObject* c = Self(This))
    c->Player().Input().StopDrag();
  return Value();
}

Value Play(Machine&, Object* This, std::span<const Value>)
{
  if (ClipObject* c = Self(This))
    c->Play();
  return Value();
}

Value Stop(Machine&, Object* This, std::span<const Value>)
{
  if (ClipObject* c = Self(This))
    c->Stop();
  return Value();
}

Value Goto(Machine& M, Object* This, std::span<const Value> Args, bool AndPlay)
{
  ClipObject* c = Self(This);
  if (!c || Args.empty())
    return Value();
  const Value f = Args[0];
  // A whole number is a frame number; anything else is read as text: digits
  // or a label.
  if (f.IsNumber() && std::trunc(f.AsNumber()) == f.AsNumber()) {
    c->GotoNumber(f.AsNumber(), 0, AndPlay);
    return Value();
  }
  const std::string text = f.ToText(M);
  const double n = TextToNumber(text, M.Version());
  if (std::isnan(n))
    c->GotoLabel(text, AndPlay);
  else if (text.find('.') == std::string::npos) // "a.b" names a variable, not a frame
    c->GotoNumber(n, 0, AndPlay);
  return Value();
}

Value GotoAndPlay(Machine& M, Object* This, std::span<const Value> Args)
{
  return Goto(M, This, Args, true);
}

Value GotoAndStop(Machine& M, Object* This, std::span<const Value> Args)
{
  return Goto(M, This, Args, false);
}

Value NextFrame(Machine&, Object* This, std::span<const Value>)
{
  if (ClipObject* c = Self(This))
    c->NextFrame();
  return Value();
}

Value PrevFrame(Machine&, Object* This, std::span<const Value>)
{
  if (ClipObject* c = Self(This))
    c->PrevFrame();
  return Value();
}

Value GetDepth(Machine&, Object* This, std::span<const Value>)
{
  ClipObject* c = Self(This);
  if (!c || !c->Instance())
    return Value();
  return Value(c->ScriptDepth());
}

Value RemoveMovieClip(Machine&, Object* This, std::span<const Value>)
{
  if (ClipObject* c = Self(This))
    c->Remove();
  return Value();
}

Value DuplicateMovieClip(Machine& M, Object* This, std::span<const Value> Args)
{
  ClipObject* c = Self(This);
  if (!c || Args.size() < 2)
    return Value();
  return Value(static_cast<Object*>(
      c->Duplicate(M, Args[0].ToText(M), Args[1].ToNumber(M), Arg(Args, 2).ObjectOrNull())));
}

Value AttachMovie(Machine& M, Object* This, std::span<const Value> Args)
{
  ClipObject* c = Self(This);
  if (!c || Args.size() < 3 || !c->Instance())
    return Value();
  const auto& exports = M.Exports();
  const std::string id = Args[0].ToText(M);
  auto it = exports.find(id);
  if (it == exports.end())
    return Value();
  ClipObject* made = c->Attach(M, it->second, Args[1].ToText(M), Args[2].ToNumber(M));
  if (made)
    made->Player().Construct(made, Arg(Args, 3).ObjectOrNull());
  return made ? Value(static_cast<Object*>(made)) : Value();
}

Value CreateEmptyMovieClip(Machine& M, Object* This, std::span<const Value> Args)
{
  ClipObject* c = Self(This);
  if (!c || Args.size() < 2)
    return Value();
  ClipObject* made = c->Attach(M, 0, Args[0].ToText(M), Args[1].ToNumber(M));
  return made ? Value(static_cast<Object*>(made)) : Value();
}

// cacheAsBitmap: the clip is drawn as a bitmap of its own (kept between
// frames while it stays the same).
Value GetCacheAsBitmap(Machine&, Object* This, std::span<const Value>)
{
  ClipObject* c = Self(This);
  DisplayObject* o = c ? c->Placement() : nullptr;
  return o ? Value(o->CacheAsBitmap) : Value();
}

Value SetCacheAsBitmap(Machine& M, Object* This, std::span<const Value> Args)
{
  ClipObject* c = Self(This);
  if (DisplayObject* o = c ? c->Placement() : nullptr; o && !Args.empty())
    o->CacheAsBitmap = Args[0].ToBoolean(M.Version());
  return Value();
}

// filters: the renderer draws the clip through what script sets; reading
// gives copies of what was set (a hidden list on the clip).
Value GetFilters(Machine& M, Object* This, std::span<const Value>)
{
  std::vector<Value> copies;
  if (This) {
    if (Object* kept = This->Get(M, M.Intern("__filters")).ObjectOrNull()) {
      const double n = kept->Get(M, M.Intern("length")).ToNumber(M);
      for (int i = 0; i < std::clamp(n, 0.0, 256.0); ++i) {
        const Value item = kept->Get(M, M.Intern(std::to_string(i)));
        copies.push_back(item.ObjectOrNull() ? M.CallMethod(item, "clone", {}) : item);
      }
    }
  }
  return Value(M.NewArray(copies));
}

Value SetFilters(Machine& M, Object* This, std::span<const Value> Args)
{
  ClipObject* c = Self(This);
  DisplayObject* o = c ? c->Placement() : nullptr;
  if (!o || Args.empty())
    return Value();
  o->Filters = ScriptFilters(M, Args[0]);
  // Copies, so that changing the objects set changes nothing until set again.
  std::vector<Value> copies;
  if (Object* list = Args[0].ObjectOrNull()) {
    const double n = list->Get(M, M.Intern("length")).ToNumber(M);
    for (int i = 0; i < std::clamp(n, 0.0, 256.0); ++i) {
      const Value item = list->Get(M, M.Intern(std::to_string(i)));
      if (item.ObjectOrNull())
        copies.push_back(M.CallMethod(item, "clone", {}));
    }
  }
  This->Define(M, M.Intern("__filters"), Value(M.NewArray(copies)), DontEnum);
  return Value();
}

// The prototype, with the members of the other MovieClip files.
Object* MakePrototype(Machine& M, Object* BaseProto)
{
  Object* proto = M.Heap().Make<Object>(BaseProto);
  DefineMembers(M, *proto, std::span<const Member>(MovieClipSpaceMethods, MovieClipSpaceMethodCount));
  DefineMembers(M, *proto, std::span<const Member>(MovieClipDrawingMethods, MovieClipDrawingMethodCount));
  return proto;
}

const Member Methods[] = {
    Method("attachMovie", AttachMovie),
    Method("createEmptyMovieClip", CreateEmptyMovieClip, DontEnum | OnlySwf6),
    Method("createTextField", CreateTextField, DontEnum | OnlySwf6),
    Method("play", Play),
    Method("stop", Stop),
    Method("gotoAndPlay", GotoAndPlay),
    Method("gotoAndStop", GotoAndStop),
    Method("nextFrame", NextFrame),
    Method("prevFrame", PrevFrame),
    Method("getDepth", GetDepth),
    Method("removeMovieClip", RemoveMovieClip),
    Method("startDrag", StartDrag),
    Method("stopDrag", StopDrag),
    Method("duplicateMovieClip", DuplicateMovieClip),
    Accessor("cacheAsBitmap", GetCacheAsBitmap, SetCacheAsBitmap, DontEnum | OnlySwf8),
    Accessor("filters", GetFilters, SetFilters, DontEnum | OnlySwf8),
};

} // namespace

extern const ClassSpec MovieClipClass = {
    .Name = "MovieClip", .Construct = Construct, .Prototype = Methods, .MakePrototype = MakePrototype};

} // namespace quenloft::swf::avm1
