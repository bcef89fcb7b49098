#include "swf/avm1/Player.h"

#include "swf/avm1/PlayerImpl.h"

#include <algorithm>
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
  if (FOutput.ScreenWidth > 0 && FOutput.ScreenHeight > 0) {
    screen.ScreenWidth = FOutput.ScreenWidth;
    screen.ScreenHeight = FOutput.ScreenHeight;
  }
  FMachine.SetDisplay(screen);
  if (!std::isnan(FOutput.StartTime))
    FMachine.SetStartTime(FOutput.StartTime);
  if (FOutput.BlockBudget != 0)
    FMachine.SetBlockBudget(FOutput.BlockBudget);
  if (FOutput.FrameBudget != 0)
    FMachine.SetFrameBudget(FOutput.FrameBudget);
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
  std::vector<Note> none;
  std::vector<bool> done;
  QueueFrameWith(Clip, Frame, none, done);
}

void PlayerImpl::QueueFrameWith(ClipObject* Clip, std::uint32_t Frame, std::vector<Note>& Notes, std::vector<bool>& Done)
{
  SpriteInstance* s = Clip->Instance();
  const swf::Frame* f = s && Frame < s->Definition->Frames.size() ? &s->Definition->Frames[Frame] : nullptr;
  // A loaded movie's script runs by that movie's version.
  const int version = s ? FTimeline.MovieOf(s).Version : 0;
  // DoInitAction runs once per movie, ahead of every other script.
  if (f)
    for (const InitAction& init : f->InitScripts)
      if (FInitDone.insert(init.Actions.get()).second && FInits.size() < MaxQueuedActions)
        FInits.push_back({Clip, Decoded(init.Actions, version), 0});
  // The clips this frame placed, each at the place of its PlaceObject among
  // the frame's DoAction blocks (one the frame did not place comes last).
  struct Kid {
    ClipObject* Clip;
    std::size_t At;
    bool Gone; // removed, not placed
  };
  std::vector<Kid> kids;
  for (std::size_t i = 0; i < Notes.size(); ++i) {
    const Note& n = Notes[i];
    const bool gone = !n.New && n.Event == ClipUnload;
    if (Done[i] || (!n.New && !gone) || n.Parent != Clip || n.Clip == Clip ||
        std::any_of(kids.begin(), kids.end(), [&](const Kid& K) { return K.Clip == n.Clip; }))
      continue;
    // Where the frame placed or removed it (the depth it had).
    const SpriteInstance* placed = n.Clip->Instance();
    const swf::Depth depth = gone ? n.Depth : placed ? placed->Depth : 0;
    std::size_t at = f ? f->Changes.size() : 0;
    if (f && (gone || placed))
      for (std::size_t c = 0; c < f->Changes.size(); ++c) {
        const auto* p = std::get_if<PlaceObject>(&f->Changes[c]);
        const auto* r = std::get_if<RemoveObject>(&f->Changes[c]);
        if (gone ? (r && r->Depth == depth) : (p && p->Character && p->Depth == depth))
          at = c;
      }
    kids.push_back({n.Clip, at, gone});
  }
  std::stable_sort(kids.begin(), kids.end(), [](const Kid& A, const Kid& B) { return A.At < B.At; });
  const std::size_t scripts = f ? f->Scripts.size() : 0;
  std::size_t next = 0;
  const auto queueScript = [&](std::size_t I) {
    if (FQueue.size() < MaxQueuedActions)
      FQueue.push_back({Clip, Decoded(f->Scripts[I], version), 0});
  };
  for (const Kid& k : kids) {
    for (; next < scripts && (next < f->ScriptsAfter.size() ? f->ScriptsAfter[next] : 0) <= k.At; ++next)
      queueScript(next);
    if (k.Gone)
      FlushGone(k.Clip, Notes, Done);
    else
      FlushNew(k.Clip, Notes, Done);
  }
  for (; next < scripts; ++next)
    queueScript(next);
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
  // A new clip: its load event, then its first frame with the clips that
  // frame placed.
  for (std::size_t i = 0; i < Notes.size(); ++i)
    if (!Done[i] && Notes[i].New && Notes[i].Clip == Clip && Notes[i].Event != 0) {
      Done[i] = true;
      QueueNote(Notes[i]);
    }
  bool frame = false;
  for (std::size_t i = 0; i < Notes.size(); ++i)
    if (!Done[i] && Notes[i].New && Notes[i].Clip == Clip && Notes[i].Event == 0) {
      Done[i] = true;
      frame = true;
      QueueFrameWith(Clip, Notes[i].Frame, Notes, Done);
    }
  if (!frame)
    for (std::size_t i = 0; i < Notes.size(); ++i)
      if (!Done[i] && Notes[i].New && Notes[i].Parent == Clip && Notes[i].Clip != Clip)
        FlushNew(Notes[i].Clip, Notes, Done);
}

void PlayerImpl::FlushGone(ClipObject* Clip, std::vector<Note>& Notes, std::vector<bool>& Done)
{
  // The unload events of a removed clip's children come before its own.
  for (std::size_t i = 0; i < Notes.size(); ++i)
    if (!Done[i] && !Notes[i].New && Notes[i].Event == ClipUnload && Notes[i].Parent == Clip && Notes[i].Clip != Clip)
      FlushGone(Notes[i].Clip, Notes, Done);
  for (std::size_t i = 0; i < Notes.size(); ++i)
    if (!Done[i] && Notes[i].Clip == Clip && Notes[i].Event == ClipUnload) {
      Done[i] = true;
      QueueNote(Notes[i]);
    }
}

void PlayerImpl::Flush()
{
  // Clips that were there run newest first (children before their
  // parents); clips placed during the step run inside the frame of the clip
  // that placed them, in the order they were placed.
  std::vector<Note> notes;
  notes.swap(FNotes);
  std::vector<bool> done(notes.size(), false);
  for (std::size_t k = notes.size(); k-- > 0;) {
    if (done[k] || notes[k].New)
      continue;
    done[k] = true;
    if (notes[k].Event == 0)
      QueueFrameWith(notes[k].Clip, notes[k].Frame, notes, done);
    else
      QueueNote(notes[k]);
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
  if (P)
    QueueConstruct(clip);
  // Load runs after the clip's first frame scripts.
  if (FBuffering) {
    FNewThisStep.insert(clip);
    FNotes.push_back({clip, 0, ClipLoad, ObjectOf(Clip.Parent), true});
  } else if (Clip.Definition && Clip.Definition->Frames.empty()) {
    // No first frame to wait for.
    if (FQueue.size() < MaxQueuedActions)
      FQueue.push_back({clip, nullptr, ClipLoad | 0x80000000u});
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
  std::erase(FConstructing, clip);
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
    FNotes.push_back({clip, 0, ClipUnload, ObjectOf(Clip.Parent), false, Clip.Depth});
  else if (FQueue.size() < MaxQueuedActions)
    FQueue.push_back({clip, nullptr, ClipUnload | 0x80000000u});
  else
    return;
  clip->SetUnloading(true);
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
  // Newest first: children (the last placed first) before their parent.
  for (auto o = S.List.rbegin(); o != S.List.rend(); ++o)
    if (o->Sprite)
      QueueEnterFrames(*o->Sprite);
  if (ClipObject* clip = ObjectOf(&S))
    QueueEvent(clip, ClipEnterFrame, FOnEnterFrame);
}

void PlayerImpl::RunQueue()
{
  if (FRunning)
    return;
  FRunning = true;
  std::size_t guard = 0;
  while ((!FQueue.empty() || !FInits.empty() || !FConstructing.empty()) && guard++ < MaxQueuedActions) {
    // DoInitAction first, then what the clips placed need to be made.
    if (FInits.empty() && !FConstructing.empty()) {
      RunConstructs();
      continue;
    }
    std::deque<Queued>& from = FInits.empty() ? FQueue : FInits;
    Queued q = from.front();
    from.pop_front();
    if (q.Method) {
      FInput.RunMethod(q.Clip, q.Broadcaster, q.Method);
      continue;
    }
    if (q.Block) {
      // A removed clip's frame scripts and queued events no longer run
      // (its unload event runs from its handler entry); DoInitAction does.
      if (!q.Clip->Instance() && &from != &FInits)
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
    if (event == ClipUnload)
      q.Clip->SetUnloading(false);
  }
  FQueue.clear();
  FInits.clear();
  FConstructing.clear();
  FRunning = false;
}

void PlayerImpl::Advance()
{
  ++FFrames;
  FMachine.NewFrame();
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
  for (const Queued& q : FInits)
    M.Mark(q.Clip);
  for (ClipObject* c : FConstructing)
    M.Mark(c);
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

PointerShape Player::Shape()
{
  return FImpl->Input().Shape();
}

void Player::Command(TextCommand C)
{
  FImpl->Texts().Command(FImpl->GetMachine(), C);
  FImpl->RunQueue();
}

void Player::SetClipboard(std::string_view Text)
{
  FImpl->Texts().Clipboard = DecodeUtf8(Text);
}

std::string Player::Clipboard() const
{
  return EncodeUtf8(FImpl->Texts().Clipboard);
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
