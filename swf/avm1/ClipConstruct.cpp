// How a clip is made: the class registered for its symbol
// (Object.registerClass), its initialize and construct clip events, and the
// init object attachMovie and duplicateMovieClip hand over.
//
// A clip the timeline places is constructed from the queue, ahead of every
// frame script and load event: first the initialize events of all clips
// placed, parents before their children, then for each clip its class's
// prototype, its construct events and the class's constructor. A clip script
// makes is constructed at once, inside the call that made it.
//
// Threads: the player's thread.
#include "swf/avm1/PlayerImpl.h"

#include <algorithm>

namespace quenloft::swf::avm1 {

namespace {

bool Within(const SpriteInstance* S, const SpriteInstance* Ancestor)
{
  for (const SpriteInstance* p = S ? S->Parent : nullptr; p; p = p->Parent)
    if (p == Ancestor)
      return true;
  return false;
}

} // namespace

Object* PlayerImpl::RegisteredClass(ClipObject* Clip)
{
  const SpriteInstance* s = Clip ? Clip->Instance() : nullptr;
  const DisplayObject* placed = Clip ? Clip->Placement() : nullptr;
  if (!s || !s->Parent || !placed || FMachine.RegisteredClasses().empty())
    return nullptr;
  for (const auto& [name, id] : FTimeline.MovieOf(s->Parent).Exports) {
    if (id != placed->Character)
      continue;
    const auto it = FMachine.RegisteredClasses().find(FMachine.Key(FMachine.Intern(name)));
    if (it != FMachine.RegisteredClasses().end())
      return it->second;
  }
  return nullptr;
}

void PlayerImpl::QueueConstruct(ClipObject* Clip)
{
  // The timeline announces children before their parent: a clip goes ahead
  // of the first of its descendants already waiting.
  auto at = FConstructing.begin();
  while (at != FConstructing.end() && !Within((*at)->Instance(), Clip->Instance()))
    ++at;
  FConstructing.insert(at, Clip);
}

void PlayerImpl::RunConstructs()
{
  std::vector<ClipObject*> clips;
  clips.swap(FConstructing);
  const auto run = [this](ClipObject* Clip, std::uint32_t Event) {
    const auto it = FClipActions.find(Clip);
    if (it == FClipActions.end())
      return;
    // Copied: a handler may remove the clip and its event list.
    const std::vector<ClipAction> actions = *it->second;
    for (const ClipAction& a : actions)
      if ((a.Events & Event) && Clip->Instance()) {
        RunContext ctx;
        ctx.Clip = Clip;
        FMachine.RunBlock(Decoded(a.Actions), ctx);
      }
  };
  for (ClipObject* clip : clips)
    run(clip, ClipInitialize);
  for (ClipObject* clip : clips) {
    if (!clip->Instance())
      continue;
    Object* ctor = RegisteredClass(clip);
    if (ctor)
      clip->SetProto(ctor->Get(FMachine, FMachine.A.Prototype).ObjectOrNull());
    run(clip, ClipConstruct);
    if (ctor && clip->Instance())
      FMachine.ConstructOn(Value(ctor), clip, {});
  }
}

void PlayerImpl::Construct(ClipObject* Clip, Object* Init)
{
  if (!Clip)
    return;
  std::vector<Atom> names;
  if (Init)
    names = Init->EnumerableNames(FMachine);
  Object* ctor = RegisteredClass(Clip);
  if (ctor) {
    // The class's prototype first; the init object's properties then go in
    // backwards (setters see that order), and the constructor runs last.
    Clip->SetProto(ctor->Get(FMachine, FMachine.A.Prototype).ObjectOrNull());
    std::reverse(names.begin(), names.end());
  }
  for (const Atom name : names)
    Clip->Set(FMachine, name, Init->Get(FMachine, name));
  if (ctor)
    FMachine.ConstructOn(Value(ctor), Clip, {});
}

} // namespace quenloft::swf::avm1
