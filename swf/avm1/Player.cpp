#include "swf/avm1/Player.h"

#include "swf/avm1/PlayerImpl.h"

#include <cmath>

namespace quenloft::swf::avm1 {

bool RunsScript(const swf::Movie& Movie)
{
  return !Movie.ScriptedAs3;
}

PlayerImpl::PlayerImpl(std::shared_ptr<const swf::Movie> Movie, PlayerOutput Output)
    : FMovie(Movie), FOutput(std::move(Output)), FMachine(Movie->Version, *this), FTimeline(Movie)
{
  FOnLoad = FMachine.Intern("onLoad");
  FOnEnterFrame = FMachine.Intern("onEnterFrame");
  FOnUnload = FMachine.Intern("onUnload");
  Machine::Screen screen;
  screen.StageWidth = std::round((Movie->Stage.XMax - Movie->Stage.XMin) / 20.0);
  screen.StageHeight = std::round((Movie->Stage.YMax - Movie->Stage.YMin) / 20.0);
  FMachine.SetDisplay(screen);
  if (!std::isnan(FOutput.StartTime))
    FMachine.SetStartTime(FOutput.StartTime);
  FMachine.AddRoots([this](Marker& M) { TraceRoots(M); });
  FTimeline.SetHooks(this);
  FBuffering = true;
  FTimeline.Announce();
  FBuffering = false;
  if (ClipObject* root = ObjectOf(&FTimeline.Root()))
    FMachine.SetRoot(root);
  Flush();
  RunQueue();
}

void PlayerImpl::QueueFrame(ClipObject* Clip, std::uint32_t Frame)
{
  SpriteInstance* s = Clip->Instance();
  if (!s || Frame >= s->Definition->Frames.size())
    return;
  const swf::Frame& f = s->Definition->Frames[Frame];
  // DoInitAction runs once per movie, ahead of the frame's other scripts.
  for (const InitAction& init : f.InitScripts)
    if (FInitDone.insert(init.Actions.get()).second && FQueue.size() < MaxQueuedActions)
      FQueue.push_back({Clip, Decoded(init.Actions), 0});
  for (const ActionBytes& script : f.Scripts)
    if (FQueue.size() < MaxQueuedActions)
      FQueue.push_back({Clip, Decoded(script), 0});
}

void PlayerImpl::Flush()
{
  std::vector<Note> notes;
  notes.swap(FNotes);
  for (auto it = notes.rbegin(); it != notes.rend(); ++it) {
    if (it->Event == 0)
      QueueFrame(it->Clip, it->Frame);
    else if (FQueue.size() < MaxQueuedActions)
      FQueue.push_back({it->Clip, nullptr, it->Event | 0x80000000u});
  }
}

PlayerImpl::~PlayerImpl()
{
  FTimeline.SetHooks(nullptr);
}

void PlayerImpl::Trace(std::string_view Line)
{
  if (FOutput.Trace)
    FOutput.Trace(Line);
}

void PlayerImpl::Log(std::string_view Message)
{
  if (FOutput.Log)
    FOutput.Log(Message);
}

std::shared_ptr<const ActionBlock> PlayerImpl::Decoded(const ActionBytes& Bytes)
{
  if (!Bytes)
    return nullptr;
  auto& slot = FDecoded[Bytes.get()];
  if (!slot) {
    slot = Decode(*Bytes, FMachine.Atoms(), FMovie->Version);
    if (!slot->Error.empty())
      Log("A damaged action block runs only up to the damage: " + slot->Error);
  }
  return slot;
}

void PlayerImpl::Placed(SpriteInstance& Clip, const PlaceObject* P)
{
  Object* proto = FMachine.Prototype("MovieClip");
  auto* clip = FMachine.Heap().Make<ClipObject>(proto, *this, &Clip);
  Clip.Script = clip;
  if (P && !P->ClipActions.empty())
    FClipActions[clip] = &P->ClipActions;
  if (&Clip == &FTimeline.Root())
    return;
  // Load runs after the clip's first frame (noted next).
  if (FBuffering)
    FNotes.push_back({clip, 0, ClipLoad});
  else if (FQueue.size() < MaxQueuedActions)
    FQueue.push_back({clip, nullptr, ClipLoad | 0x80000000u});
}

void PlayerImpl::FrameEntered(SpriteInstance& Clip, std::uint32_t Frame)
{
  ClipObject* clip = ObjectOf(&Clip);
  if (!clip)
    return;
  if (FBuffering)
    FNotes.push_back({clip, Frame, 0});
  else
    QueueFrame(clip, Frame);
}

void PlayerImpl::Removed(SpriteInstance& Clip)
{
  ClipObject* clip = ObjectOf(&Clip);
  if (!clip)
    return;
  Clip.Script = nullptr;
  clip->Detach();
  const auto it = FClipActions.find(clip);
  bool unload = clip->HasOwn(FMachine, FOnUnload);
  if (it != FClipActions.end())
    for (const ClipAction& a : *it->second)
      unload = unload || (a.Events & ClipUnload);
  if (!unload) {
    if (it != FClipActions.end())
      FClipActions.erase(it);
    return;
  }
  if (FBuffering)
    FNotes.push_back({clip, 0, ClipUnload});
  else if (FQueue.size() < MaxQueuedActions)
    FQueue.push_back({clip, nullptr, ClipUnload | 0x80000000u});
}

void PlayerImpl::QueueEvent(ClipObject* Clip, std::uint32_t Event, Atom Handler)
{
  if (FQueue.size() >= MaxQueuedActions)
    return;
  if (const auto it = FClipActions.find(Clip); it != FClipActions.end())
    for (const ClipAction& a : *it->second)
      if (a.Events & Event)
        FQueue.push_back({Clip, Decoded(a.Actions), 0});
  (void)Handler;
  FQueue.push_back({Clip, nullptr, Event | 0x80000000u});
}

void PlayerImpl::QueueEnterFrames(SpriteInstance& S)
{
  if (ClipObject* clip = ObjectOf(&S))
    QueueEvent(clip, ClipEnterFrame, FOnEnterFrame);
  for (const DisplayObject& o : S.List)
    if (o.Sprite)
      QueueEnterFrames(*o.Sprite);
}

void PlayerImpl::RunQueue()
{
  if (FRunning)
    return;
  FRunning = true;
  std::size_t guard = 0;
  while (!FQueue.empty() && guard++ < MaxQueuedActions) {
    Queued q = FQueue.front();
    FQueue.pop_front();
    if (q.Block) {
      // A removed clip's frame scripts no longer run; its event handlers do.
      if (!q.Clip->Instance() && q.Handler == 0 && FClipActions.find(q.Clip) == FClipActions.end())
        continue;
      RunContext ctx;
      ctx.Clip = q.Clip;
      FMachine.RunBlock(q.Block, ctx);
      continue;
    }
    // A handler method: onLoad, onEnterFrame, onUnload.
    const std::uint32_t event = q.Handler & 0x7FFFFFFFu;
    if (event == ClipLoad || event == ClipUnload) {
      // The clip events of the placement run first.
      if (const auto it = FClipActions.find(q.Clip); it != FClipActions.end()) {
        for (const ClipAction& a : *it->second) {
          if (a.Events & event) {
            RunContext ctx;
            ctx.Clip = q.Clip;
            FMachine.RunBlock(Decoded(a.Actions), ctx);
          }
        }
        if (event == ClipUnload)
          FClipActions.erase(q.Clip);
      }
    }
    const Atom name = event == ClipLoad ? FOnLoad : event == ClipUnload ? FOnUnload : FOnEnterFrame;
    if (event == ClipEnterFrame && !q.Clip->Instance())
      continue;
    const Value handler = q.Clip->Get(FMachine, name);
    if (handler.IsObject())
      FMachine.RunFunction(handler, q.Clip, {});
  }
  FQueue.clear();
  FRunning = false;
}

void PlayerImpl::Advance()
{
  ++FFrames;
  QueueEnterFrames(FTimeline.Root());
  FBuffering = true;
  FTimeline.Advance();
  FBuffering = false;
  Flush();
  RunQueue();
  const double rate = FMovie->FrameRate > 0 ? FMovie->FrameRate : 12;
  FMachine.SetClock(static_cast<double>(FFrames) * 1000.0 / rate);
  FMachine.RunTimers();
  RunQueue();
  // A safe point: no script runs, no native holds a pointer.
  if (FMachine.Heap().Allocated() > 10000 && FMachine.Heap().Allocated() > FMachine.Heap().LiveCells() / 2)
    FMachine.Collect();
}

void PlayerImpl::TraceTree(Marker& M, SpriteInstance& S)
{
  M.Mark(ObjectOf(&S));
  for (const DisplayObject& o : S.List)
    if (o.Sprite)
      TraceTree(M, *o.Sprite);
}

void PlayerImpl::TraceRoots(Marker& M)
{
  TraceTree(M, FTimeline.Root());
  for (const Queued& q : FQueue)
    M.Mark(q.Clip);
  for (const Note& n : FNotes)
    M.Mark(n.Clip);
  for (const auto& [clip, actions] : FClipActions)
    M.Mark(clip);
}

Player::Player(std::shared_ptr<const swf::Movie> Movie, PlayerOutput Output)
    : FImpl(std::make_unique<PlayerImpl>(std::move(Movie), std::move(Output)))
{
}

Player::~Player() = default;

void Player::Advance()
{
  FImpl->Advance();
}

swf::Timeline& Player::Timeline()
{
  return FImpl->Timeline();
}

const DisplayList& Player::List()
{
  return FImpl->Timeline().List();
}

std::uint64_t Player::Frames() const
{
  return FImpl->Frames();
}

std::size_t Player::LiveObjects() const
{
  return FImpl->GetMachine().Heap().LiveCells();
}

std::size_t Player::LiveBytes() const
{
  return FImpl->GetMachine().Heap().LiveBytes();
}

} // namespace quenloft::swf::avm1
