#include "swf/Timeline.h"

#include <algorithm>

namespace quenloft::swf {

namespace {

// Depths from here up belong to clips script placed.
constexpr Depth ScriptDepths = 0x4000;

// A chain of gotos run by the frames they land on stops after this many.
constexpr int MaxActionChain = 8;

DisplayList::iterator FindDepth(DisplayList& List, Depth D)
{
  return std::lower_bound(List.begin(), List.end(), D,
                          [](const DisplayObject& O, Depth V) { return O.Depth < V; });
}

void Update(DisplayObject& O, const PlaceObject& P)
{
  if (O.ScriptMoved)
    return;
  if (P.Transform)
    O.Transform = *P.Transform;
  if (P.Color)
    O.Color = *P.Color;
  if (P.Ratio)
    O.Ratio = *P.Ratio;
  if (P.ClipDepth)
    O.ClipDepth = *P.ClipDepth;
  if (P.Blend)
    O.Blend = *P.Blend;
  if (P.Visible)
    O.Visible = *P.Visible;
  if (P.CacheAsBitmap)
    O.CacheAsBitmap = *P.CacheAsBitmap;
  if (P.Filters)
    O.Filters = P.Filters;
}

bool Replaceable(const Character* Old, const Character* New)
{
  if (!Old || !New || Old->index() != New->index())
    return false;
  return std::holds_alternative<Shape>(*Old) || std::holds_alternative<MorphShape>(*Old) ||
         std::holds_alternative<Text>(*Old);
}

// What createEmptyMovieClip makes: one empty frame.
const Sprite& EmptySprite()
{
  static const Sprite empty = [] {
    Sprite s;
    s.FrameCount = 1;
    s.Frames.resize(1);
    return s;
  }();
  return empty;
}

std::uint32_t FrameCount(const SpriteInstance& S)
{
  return static_cast<std::uint32_t>(S.Definition->Frames.size());
}

} // namespace

Timeline::Timeline(std::shared_ptr<const swf::Movie> Movie, FrameListener Listener)
    : FMovie(std::move(Movie)), FListener(std::move(Listener))
{
  FRoot.Definition = &FMovie->Root;
  Reset(true);
}

std::uint32_t Timeline::TotalFrames() const
{
  return FrameCount(FRoot);
}

void Timeline::Reset(bool RunRootActions)
{
  for (DisplayObject& o : FRoot.List)
    if (o.Sprite)
      Detach(*o.Sprite);
  FRoot.List.clear();
  FRoot.CurrentFrame = 0;
  FRoot.Playing = true;
  if (TotalFrames() == 0)
    return;
  Apply(&FRoot, FRoot.List, FRoot.Definition->Frames[0], 0);
  if (RunRootActions) {
    Entered(FRoot);
    RunActions(FRoot, 0, 0, 0);
  }
}

void Timeline::Entered(const SpriteInstance& S)
{
  if (FListener && !FSeeking)
    FListener(*S.Definition, S.CurrentFrame);
}

void Timeline::Announce()
{
  if (!FHooks)
    return;
  // What the constructor made was never announced: start over with hooks.
  FRoot.List.clear();
  FHooks->Placed(FRoot, nullptr);
  Reset(true);
}

void Timeline::Detach(SpriteInstance& S)
{
  if (S.Removed)
    return;
  S.Removed = true;
  for (DisplayObject& o : S.List)
    if (o.Sprite)
      Detach(*o.Sprite);
  if (FHooks)
    FHooks->Removed(S);
}

int Timeline::NestingOf(const SpriteInstance& S) const
{
  int n = 0;
  for (const SpriteInstance* p = S.Parent; p; p = p->Parent)
    ++n;
  return n;
}

void Timeline::Goto(SpriteInstance& S, std::uint32_t Frame)
{
  if (S.Removed)
    return;
  const std::uint32_t before = S.CurrentFrame;
  GotoInstance(S, Frame, NestingOf(S));
  if (S.CurrentFrame != before && FHooks)
    FHooks->FrameEntered(S, S.CurrentFrame);
}

void Timeline::StepClip(SpriteInstance& S, bool Forced)
{
  if (S.Removed)
    return;
  const std::uint32_t count = FrameCount(S);
  if (count <= 1)
    return;
  const int nesting = NestingOf(S);
  if (S.CurrentFrame + 1 < count) {
    ++S.CurrentFrame;
    Apply(&S, S.List, S.Definition->Frames[S.CurrentFrame], nesting);
  } else {
    GotoInstance(S, 0, nesting);
  }
  if (!Forced)
    RunActions(S, S.CurrentFrame, nesting, 0);
}

SpriteInstance* Timeline::PlaceClip(SpriteInstance& Parent, CharacterId Id, swf::Depth D, const std::string& Name,
                                    const DisplayObject* Like)
{
  if (Parent.Removed)
    return nullptr;
  if (Id != 0) {
    const Character* c = MovieOf(&Parent).Find(Id);
    if (!c || !std::holds_alternative<Sprite>(*c))
      return nullptr;
  }
  auto it = FindDepth(Parent.List, D);
  if (it != Parent.List.end() && it->Depth == D) {
    if (it->Sprite)
      Detach(*it->Sprite);
    Parent.List.erase(it);
  }
  DisplayObject o;
  if (Like)
    o = *Like;
  o.Sprite.reset();
  o.Depth = D;
  o.Character = Id;
  o.Name = Name;
  o.ClipDepth = 0;
  it = Parent.List.insert(FindDepth(Parent.List, D), o);
  auto made = NewInstance(&Parent, *it, nullptr, NestingOf(Parent) + 1);
  it = FindDepth(Parent.List, D);
  if (it == Parent.List.end() || it->Depth != D)
    return nullptr;
  if (!made) {
    Parent.List.erase(it);
    return nullptr;
  }
  it->Sprite = std::move(made);
  return it->Sprite.get();
}

void Timeline::RemoveClip(SpriteInstance& S)
{
  SpriteInstance* parent = S.Parent;
  if (!parent || S.Removed)
    return;
  for (auto it = parent->List.begin(); it != parent->List.end(); ++it) {
    if (it->Sprite.get() == &S) {
      const std::shared_ptr<SpriteInstance> keep = it->Sprite;
      Detach(S);
      parent->List.erase(it);
      return;
    }
  }
}

std::shared_ptr<SpriteInstance> Timeline::NewInstance(SpriteInstance* Parent, const DisplayObject& O,
                                                      const PlaceObject* P, int Nesting)
{
  const Character* c = MovieOf(Parent).Find(O.Character);
  const bool empty = O.Character == 0 && Parent && FHooks;
  if (!empty && (!c || !std::holds_alternative<Sprite>(*c)))
    return nullptr;
  if (Nesting > MaxNesting || *FLive >= MaxInstances) {
    ++FRefused;
    return nullptr;
  }
  std::shared_ptr<std::size_t> live = FLive;
  ++*live;
  std::shared_ptr<SpriteInstance> s(new SpriteInstance, [live](SpriteInstance* Gone) {
    --*live;
    delete Gone;
  });
  s->Definition = empty ? &EmptySprite() : &std::get<Sprite>(*c);
  s->Parent = Parent;
  s->Depth = O.Depth;
  s->Name = O.Name;
  if (const auto grid = MovieOf(Parent).ScalingGrids.find(O.Character);
      !empty && grid != MovieOf(Parent).ScalingGrids.end())
    s->ScalingGrid = grid->second;
  if (FHooks)
    FHooks->Placed(*s, P);
  // A sprite shows its first frame as soon as it is placed.
  if (FrameCount(*s) > 0) {
    Apply(s.get(), s->List, s->Definition->Frames[0], Nesting);
    Entered(*s);
    RunActions(*s, 0, Nesting, 0);
  }
  return s;
}

void Timeline::Apply(SpriteInstance* Owner, DisplayList& List, const swf::Frame& F, int Nesting)
{
  const bool instantiate = Nesting >= 0;
  for (const auto& change : F.Changes) {
    if (const auto* r = std::get_if<RemoveObject>(&change)) {
      const auto it = FindDepth(List, r->Depth);
      if (it != List.end() && it->Depth == r->Depth) {
        if (instantiate && it->Sprite)
          Detach(*it->Sprite);
        List.erase(it);
      }
      continue;
    }
    const PlaceObject& p = std::get<PlaceObject>(change);
    auto it = FindDepth(List, p.Depth);
    const bool occupied = it != List.end() && it->Depth == p.Depth;
    if (p.Kind == PlaceObject::Action::Modify) {
      if (occupied)
        Update(*it, p);
      continue;
    }
    const swf::Movie& movie = MovieOf(Owner);
    if (!p.Character || !movie.Find(*p.Character))
      continue; // the player ignores a character it does not know
    // The player places only on a free depth and replaces only an object
    // that is there; the other cases change nothing.
    if ((p.Kind == PlaceObject::Action::Place) == occupied)
      continue;
    if (p.Kind == PlaceObject::Action::Replace) {
      // The object stays (its transform and colour too); a shape, morph
      // shape or text takes the new character when it is of its own kind.
      // A sprite or a bitmap keeps what it shows, as in the player.
      if (Replaceable(movie.Find(it->Character), movie.Find(*p.Character)))
        it->Character = *p.Character;
      Update(*it, p);
      continue;
    }
    DisplayObject o;
    o.Depth = p.Depth;
    o.Character = *p.Character;
    if (p.Name)
      o.Name = *p.Name;
    Update(o, p);
    it = List.insert(it, std::move(o));
    if (!instantiate)
      FPlanned.push_back(p.Depth);
    if (instantiate) {
      auto made = NewInstance(Owner, *it, &p, Nesting + 1);
      // Placing may have run nothing yet, but keep the iterator honest.
      it = FindDepth(List, p.Depth);
      if (it != List.end() && it->Depth == p.Depth)
        it->Sprite = std::move(made);
    }
  }
}

void Timeline::Merge(SpriteInstance& S, DisplayList Wanted, bool Rewind, int Nesting)
{
  // Clips script placed (depth 16384 and up, 0 and up in script's numbering)
  // are no part of the frames: a goto keeps them.
  for (const DisplayObject& o : S.List) {
    if (o.Depth < ScriptDepths || (!o.Sprite && !o.Shown))
      continue;
    const auto at = FindDepth(Wanted, o.Depth);
    if (at == Wanted.end() || at->Depth != o.Depth)
      Wanted.insert(at, o);
  }
  // Forwards, the objects that stay carry their sprite instances over from
  // the list the plan started with. Backwards, a sprite survives when the
  // rebuilt frame has an object at its depth with the same ratio: it keeps
  // its playhead and what it shows, and takes that object's properties.
  if (Rewind) {
    for (DisplayObject& o : Wanted) {
      const auto it = FindDepth(S.List, o.Depth);
      if (it != S.List.end() && it->Depth == o.Depth && it->Sprite && it->Ratio == o.Ratio) {
        if (it->ScriptMoved) {
          const std::string name = o.Name;
          o = *it;
          o.Name = name;
        }
        o.Character = it->Character;
        o.Sprite = it->Sprite;
      }
    }
  }
  S.List.swap(Wanted);
  // The objects that went away.
  for (DisplayObject& old : Wanted) {
    if (!old.Sprite)
      continue;
    bool kept = false;
    for (const DisplayObject& o : S.List)
      kept = kept || o.Sprite == old.Sprite;
    if (!kept)
      Detach(*old.Sprite);
  }
  Wanted.clear();
  // New clips are made in the order their frames placed them, as playing
  // through would have made them.
  std::vector<Depth> order;
  order.swap(FPlanned);
  for (const DisplayObject& o : S.List)
    order.push_back(o.Depth);
  for (const Depth d : order) {
    const auto it = FindDepth(S.List, d);
    if (it == S.List.end() || it->Depth != d || it->Sprite)
      continue;
    const DisplayObject o = *it;
    auto made = NewInstance(&S, o, nullptr, Nesting + 1);
    const auto at = FindDepth(S.List, d);
    if (at != S.List.end() && at->Depth == d && !at->Sprite)
      at->Sprite = std::move(made);
  }
}

void Timeline::GotoInstance(SpriteInstance& S, std::uint32_t Frame, int Nesting)
{
  const std::uint32_t count = FrameCount(S);
  if (count == 0)
    return;
  Frame = std::min(Frame, count - 1);
  if (Frame == S.CurrentFrame)
    return;
  // Forwards the frames between are applied to the list as it is;
  // backwards the list is rebuilt from the first frame.
  DisplayList wanted;
  FPlanned.clear();
  std::uint32_t from = 0;
  if (Frame > S.CurrentFrame) {
    wanted = S.List;
    from = S.CurrentFrame + 1;
  }
  for (std::uint32_t f = from; f <= Frame; ++f)
    Apply(&S, wanted, S.Definition->Frames[f], -1);
  const bool rewind = Frame < S.CurrentFrame;
  S.CurrentFrame = Frame;
  Merge(S, std::move(wanted), rewind, Nesting);
}

void Timeline::RunActions(SpriteInstance& S, std::uint32_t Frame, int Nesting, int Chain)
{
  if (FHooks) {
    if (Frame < FrameCount(S))
      FHooks->FrameEntered(S, Frame);
    return;
  }
  if (Chain > MaxActionChain || Frame >= FrameCount(S))
    return;
  for (const FrameAction& a : S.Definition->Frames[Frame].Actions) {
    std::uint32_t target = S.CurrentFrame;
    switch (a.Type) {
    case FrameAction::Kind::Stop: S.Playing = false; continue;
    case FrameAction::Kind::Play: S.Playing = true; continue;
    case FrameAction::Kind::NextFrame: target = S.CurrentFrame + 1; break;
    case FrameAction::Kind::PreviousFrame:
      if (S.CurrentFrame == 0) {
        S.Playing = false;
        continue;
      }
      target = S.CurrentFrame - 1;
      break;
    case FrameAction::Kind::GotoFrame: target = a.Frame; break;
    case FrameAction::Kind::GotoLabel: {
      const auto it = S.Definition->Labels.find(a.Label);
      if (it == S.Definition->Labels.end())
        continue;
      target = it->second;
      break;
    }
    }
    S.Playing = a.AndPlay;
    const std::uint32_t before = S.CurrentFrame;
    GotoInstance(S, target, Nesting);
    // A goto past the end shows the last frame without running its actions.
    if (S.CurrentFrame != before && target < FrameCount(S)) {
      Entered(S);
      RunActions(S, S.CurrentFrame, Nesting, Chain + 1);
    }
  }
}

void Timeline::Step(SpriteInstance& S, int Nesting, bool Forced)
{
  // The children there before this step are stepped after it; those the
  // step places have shown their first frame already.
  std::vector<std::pair<Depth, std::shared_ptr<SpriteInstance>>> children;
  for (const DisplayObject& o : S.List)
    if (o.Sprite)
      children.emplace_back(o.Depth, o.Sprite);
  const std::uint32_t count = FrameCount(S);
  if ((S.Playing || Forced) && count > 1) {
    if (S.CurrentFrame + 1 < count) {
      ++S.CurrentFrame;
      Apply(&S, S.List, S.Definition->Frames[S.CurrentFrame], Nesting);
    } else {
      GotoInstance(S, 0, Nesting);
    }
    if (!Forced) {
      Entered(S);
      RunActions(S, S.CurrentFrame, Nesting, 0);
    }
  }
  for (const auto& [depth, child] : children) {
    const auto it = FindDepth(S.List, depth);
    if (it != S.List.end() && it->Depth == depth && it->Sprite == child && !child->Removed)
      Step(*child, Nesting + 1, false);
  }
}

void Timeline::GotoFrame(std::uint32_t Frame)
{
  const std::uint32_t count = TotalFrames();
  if (count == 0)
    return;
  Frame = std::min(Frame, count - 1);
  if (Frame == FRoot.CurrentFrame)
    return;
  // Seeking shows the frame as playing would: from the first frame, the
  // root steps forward (its own actions do not stop or divert it) and every
  // sprite steps with it.
  if (Frame < FRoot.CurrentFrame) {
    const bool playing = FRoot.Playing;
    FSeeking = true;
    Reset(false);
    FRoot.Playing = playing;
  }
  FSeeking = true;
  while (FRoot.CurrentFrame < Frame)
    Step(FRoot, 0, true);
  FSeeking = false;
}

void Timeline::Advance()
{
  Step(FRoot, 0, false);
  // Levels loaded above the root step after it; a script may remove one.
  const auto levels = FLevels;
  for (const auto& [n, level] : levels)
    if (!level->Removed)
      Step(*level, 0, false);
}

const swf::Movie& Timeline::MovieOf(const SpriteInstance* S) const
{
  for (; S; S = S->Parent)
    if (S->Loaded)
      return *S->Loaded;
  return *FMovie;
}

void Timeline::LoadInto(SpriteInstance& S, std::shared_ptr<const swf::Movie> Movie)
{
  for (DisplayObject& o : S.List)
    if (o.Sprite)
      Detach(*o.Sprite);
  S.List.clear();
  S.CurrentFrame = 0;
  S.Playing = true;
  S.Loaded = std::move(Movie);
  S.Definition = S.Loaded ? &S.Loaded->Root : &EmptySprite();
  if (!S.Loaded || FrameCount(S) == 0)
    return;
  Apply(&S, S.List, S.Definition->Frames[0], NestingOf(S));
  Entered(S);
  RunActions(S, 0, NestingOf(S), 0);
}

SpriteInstance* Timeline::Level(int N)
{
  if (N == 0)
    return &FRoot;
  for (const auto& [n, level] : FLevels)
    if (n == N)
      return level.get();
  return nullptr;
}

SpriteInstance* Timeline::MakeLevel(int N, std::shared_ptr<const swf::Movie> Movie)
{
  if (N <= 0 || N > MaxLevel || !Movie)
    return nullptr;
  RemoveLevel(N);
  auto level = std::make_shared<SpriteInstance>();
  level->Definition = &EmptySprite();
  level->Depth = static_cast<swf::Depth>(N);
  level->Name = "_level" + std::to_string(N);
  auto at = std::find_if(FLevels.begin(), FLevels.end(), [N](const auto& L) { return L.first > N; });
  at = FLevels.insert(at, {N, level});
  if (FHooks)
    FHooks->Placed(*level, nullptr);
  LoadInto(*level, std::move(Movie));
  return level.get();
}

void Timeline::RemoveLevel(int N)
{
  for (auto it = FLevels.begin(); it != FLevels.end(); ++it) {
    if (it->first == N) {
      const std::shared_ptr<SpriteInstance> keep = it->second;
      FLevels.erase(it);
      Detach(*keep);
      return;
    }
  }
}

DisplayList DetachedCopy(const DisplayList& List, int Levels)
{
  DisplayList copy = List;
  for (DisplayObject& o : copy) {
    if (!o.Sprite)
      continue;
    auto sprite = std::make_shared<SpriteInstance>(*o.Sprite);
    sprite->List = Levels > 1 ? DetachedCopy(o.Sprite->List, Levels - 1) : DisplayList{};
    sprite->Parent = nullptr;
    sprite->Script = nullptr;
    o.Sprite = std::move(sprite);
  }
  return copy;
}

} // namespace quenloft::swf
