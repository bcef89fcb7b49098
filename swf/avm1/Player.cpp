#include "swf/avm1/Player.h"

#include "swf/avm1/PlayerImpl.h"

#include <cmath>

namespace quenloft::swf::avm1 {

bool RunsScript(const swf::Movie& Movie)
{
  return !Movie.ScriptedAs3;
}

PlayerImpl::PlayerImpl(std::shared_ptr<const swf::Movie> Movie, PlayerOutput Output)
    : FMovie(Movie), FOutput(std::move(Output)), FMachine(Movie->Version, *this),
      FSound(*Movie, FOutput.Sound), FTimeline(Movie)
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
  FMachine.SetExports(&FMovie->Exports);
  FLoads = std::make_unique<Loads>(*this, FMachine, FOutput.Files);
  FMachine.SetLoads(FLoads.get());
  FTimeline.SetHooks(this);
  FTimeline.SetFrameListener(FOutput.Frames);
  FBuffering = true;
  FTimeline.Announce();
  FBuffering = false;
  FNewThisStep.clear();
  if (ClipObject* root = ObjectOf(&FTimeline.Root()))
    FMachine.SetRoot(root);
  Flush();
  RunQueue();
  FLoads->Complete();
}

void PlayerImpl::QueueFrame(ClipObject* Clip, std::uint32_t Frame)
{
  SpriteInstance* s = Clip->Instance();
  if (!s || Frame >= s->Definition->Frames.size())
    return;
  const swf::Frame& f = s->Definition->Frames[Frame];
  // A loaded movie's script runs by that movie's version.
  const int version = FTimeline.MovieOf(s).Version;
  // DoInitAction runs once per movie, ahead of the frame's other scripts.
  for (const InitAction& init : f.InitScripts)
    if (FInitDone.insert(init.Actions.get()).second && FQueue.size() < MaxQueuedActions)
      FQueue.push_back({Clip, Decoded(init.Actions, version), 0});
  for (const ActionBytes& script : f.Scripts)
    if (FQueue.size() < MaxQueuedActions)
      FQueue.push_back({Clip, Decoded(script, version), 0});
}

void PlayerImpl::QueueNote(const Note& N)
{
  if (N.Event == 0)
    QueueFrame(N.Clip, N.Frame);
  else if (FQueue.size() < MaxQueuedActions)
    FQueue.push_back({N.Clip, nullptr, N.Event | 0x80000000u});
}

void PlayerImpl::FlushNew(ClipObject* Clip, std::vector<Note>& Notes, std::vector<bool>& Done)
{
  // A new clip: its first frame, the clips it placed in their order, then
  // its load event.
  for (std::size_t i = 0; i < Notes.size(); ++i)
    if (!Done[i] && Notes[i].New && Notes[i].Clip == Clip && Notes[i].Event == 0) {
      Done[i] = true;
      QueueNote(Notes[i]);
    }
  for (std::size_t i = 0; i < Notes.size(); ++i)
    if (!Done[i] && Notes[i].New && Notes[i].Parent == Clip && Notes[i].Clip != Clip)
      FlushNew(Notes[i].Clip, Notes, Done);
  for (std::size_t i = 0; i < Notes.size(); ++i)
    if (!Done[i] && Notes[i].New && Notes[i].Clip == Clip) {
      Done[i] = true;
      QueueNote(Notes[i]);
    }
}

void PlayerImpl::Flush()
{
  // Clips that were there run newest first (children before their
  // parents); clips placed during the step run after the frame of the clip
  // that placed them, in the order they were placed.
  std::vector<Note> notes;
  notes.swap(FNotes);
  std::vector<bool> done(notes.size(), false);
  for (std::size_t k = notes.size(); k-- > 0;) {
    if (done[k] || notes[k].New)
      continue;
    done[k] = true;
    QueueNote(notes[k]);
    if (notes[k].Event == 0)
      for (std::size_t i = 0; i < notes.size(); ++i)
        if (!done[i] && notes[i].New && notes[i].Parent == notes[k].Clip)
          FlushNew(notes[i].Clip, notes, done);
  }
  for (std::size_t i = 0; i < notes.size(); ++i)
    if (!done[i])
      FlushNew(notes[i].Clip, notes, done);
}

PlayerImpl::~PlayerImpl()
{
  FTimeline.SetHooks(nullptr);
  FMachine.SetLoads(nullptr);
}

void PlayerImpl::Trace(std::string_view Line)
{
  if (!FOutput.Trace)
    return;
  // The player's log ends a line at every carriage return too.
  if (Line.find('\r') == std::string_view::npos) {
    FOutput.Trace(Line);
    return;
  }
  std::string text(Line);
  for (char& c : text)
    if (c == '\r')
      c = '\n';
  FOutput.Trace(text);
}

void PlayerImpl::Log(std::string_view Message)
{
  if (FOutput.Log)
    FOutput.Log(Message);
}

std::shared_ptr<const ActionBlock> PlayerImpl::Decoded(const ActionBytes& Bytes, int Version)
{
  if (!Bytes)
    return nullptr;
  auto& slot = FDecoded[Bytes.get()];
  if (!slot) {
    slot = Decode(*Bytes, FMachine.Atoms(), Version > 0 ? Version : FMovie->Version);
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
  // A clip placed without a name gets "instanceN", counted over the movie.
  if (Clip.Parent && Clip.Name.empty()) {
    Clip.Name = "instance" + std::to_string(++FInstances);
    for (DisplayObject& o : Clip.Parent->List)
      if (o.Depth == Clip.Depth && o.Name.empty())
        o.Name = Clip.Name;
  }
  if (P && !P->ClipActions.empty())
    FClipActions[clip] = &P->ClipActions;
  if (&Clip == &FTimeline.Root())
    return;
  // Load runs after the clip's first frame scripts.
  if (FBuffering) {
    FNewThisStep.insert(clip);
    FNotes.push_back({clip, 0, ClipLoad, ObjectOf(Clip.Parent), true});
  } else {
    FLoadPending.insert(clip);
  }
}

void PlayerImpl::NameButtons(SpriteInstance& S)
{
  // Buttons get their names, counted with the clips', once the frame that
  // placed them is entered.
  const swf::Movie& movie = FTimeline.MovieOf(&S);
  for (DisplayObject& o : S.List)
    if (o.Name.empty() && !o.Sprite)
      if (const Character* c = movie.Find(o.Character); c && std::holds_alternative<Button>(*c))
        o.Name = "instance" + std::to_string(++FInstances);
}

void PlayerImpl::FrameEntered(SpriteInstance& Clip, std::uint32_t Frame)
{
  ClipObject* clip = ObjectOf(&Clip);
  if (!clip)
    return;
  NameButtons(Clip);
  if (FBuffering) {
    const bool isNew = FNewThisStep.count(clip) != 0;
    FNotes.push_back({clip, Frame, 0, ObjectOf(Clip.Parent), isNew});
    return;
  }
  QueueFrame(clip, Frame);
  if (FLoadPending.erase(clip) && FQueue.size() < MaxQueuedActions)
    FQueue.push_back({clip, nullptr, ClipLoad | 0x80000000u});
}

void PlayerImpl::Removed(SpriteInstance& Clip)
{
  ClipObject* clip = ObjectOf(&Clip);
  if (!clip)
    return;
  Clip.Script = nullptr;
  clip->Detach();
  FLoadPending.erase(clip);
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
    FNotes.push_back({clip, 0, ClipUnload, nullptr, false});
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
    if (q.Method) {
      FInput.RunMethod(q.Clip, q.Broadcaster, q.Method);
      continue;
    }
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
  FMachine.ClearStack();
  QueueEnterFrames(FTimeline.Root());
  FBuffering = true;
  FTimeline.Advance();
  FBuffering = false;
  FNewThisStep.clear();
  Flush();
  RunQueue();
  const double rate = FMovie->FrameRate > 0 ? FMovie->FrameRate : 12;
  FMachine.SetClock(static_cast<double>(FFrames) * 1000.0 / rate);
  FMachine.RunTimers();
  RunQueue();
  FLoads->Complete();
  FSound.Deliver(FMachine);
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
  for (const auto& [n, level] : FTimeline.Levels())
    TraceTree(M, *level);
  FLoads->Trace(M);
  for (const Queued& q : FQueue) {
    M.Mark(q.Clip);
    M.Mark(q.Broadcaster);
  }
  FInput.Mark(M);
  for (const Note& n : FNotes)
    M.Mark(n.Clip);
  for (ClipObject* c : FLoadPending)
    M.Mark(c);
  FSound.Trace(M);
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

void Player::SetSound(swf::TMovieSound* Sound)
{
  FImpl->Sounds().SetSound(Sound);
}

std::uint64_t Player::Frames() const
{
  return FImpl->Frames();
}

void Player::MouseMove(double X, double Y)
{
  FImpl->Input().MouseMove(X, Y);
}

void Player::MouseDown(double X, double Y, MouseButton B)
{
  FImpl->Input().MouseDown(X, Y, B);
}

void Player::MouseUp(double X, double Y, MouseButton B)
{
  FImpl->Input().MouseUp(X, Y, B);
}

void Player::KeyDown(std::uint8_t Code, char32_t Char)
{
  FImpl->Input().KeyDown(Code, Char);
}

void Player::KeyUp(std::uint8_t Code, char32_t Char)
{
  FImpl->Input().KeyUp(Code, Char);
}

void Player::TextInput(char32_t Char)
{
  FImpl->Input().TextInput(Char);
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
