#include "swf/avm1/Loads.h"

#include "swf/BitmapDecoder.h"
#include "swf/MovieReader.h"
#include "swf/avm1/ClipObject.h"
#include "swf/avm1/Machine.h"
#include "swf/avm1/PlayerImpl.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace quenloft::swf::avm1 {

namespace {

// GetURL2's flags.
constexpr std::uint8_t LoadTargetFlag = 0x40;
constexpr std::uint8_t LoadVariablesFlag = 0x80;

// Completions that start further loads are bounded, so a movie that loads
// itself from its first frame cannot hold the player in one frame.
constexpr std::size_t MaxCompletionsPerFrame = 256;
// Dialog answers waiting for the end of the frame: a script that browses
// in a loop adds no more than this.
constexpr std::size_t MaxPendingLoads = 4096;

int Hex(char C)
{
  if (C >= '0' && C <= '9')
    return C - '0';
  if (C >= 'a' && C <= 'f')
    return C - 'a' + 10;
  if (C >= 'A' && C <= 'F')
    return C - 'A' + 10;
  return -1;
}

std::string Unescape(std::string_view Text)
{
  std::string out;
  for (std::size_t i = 0; i < Text.size(); ++i) {
    if (Text[i] == '+') {
      out.push_back(' ');
    } else if (Text[i] == '%' && i + 2 < Text.size() && Hex(Text[i + 1]) >= 0 && Hex(Text[i + 2]) >= 0) {
      out.push_back(static_cast<char>(Hex(Text[i + 1]) * 16 + Hex(Text[i + 2])));
      i += 2;
    } else {
      out.push_back(Text[i]);
    }
  }
  return out;
}

// Text as the movie reads it: a UTF-8 byte order mark is dropped.
std::string TextOf(const std::string& Bytes)
{
  if (Bytes.size() >= 3 && std::memcmp(Bytes.data(), "\xEF\xBB\xBF", 3) == 0)
    return Bytes.substr(3);
  return Bytes;
}

bool IsMovie(const std::string& Bytes)
{
  return Bytes.size() >= 8 && (Bytes.compare(0, 3, "FWS") == 0 || Bytes.compare(0, 3, "CWS") == 0 ||
                               Bytes.compare(0, 3, "ZWS") == 0);
}

// A movie that shows nothing for a loaded image: its frame holds no
// character yet, so the clip plays one empty frame. Its version is 0, as
// the player's for an image (getSWFVersion answers -1).
std::shared_ptr<const Movie> EmptyMovie(int Version)
{
  auto movie = std::make_shared<Movie>();
  movie->Version = static_cast<std::uint8_t>(Version);
  movie->Root.FrameCount = 1;
  movie->Root.Frames.resize(1);
  return movie;
}

} // namespace

std::vector<std::pair<std::string, std::string>> DecodeForm(std::string_view Text)
{
  std::vector<std::pair<std::string, std::string>> out;
  std::size_t start = 0;
  while (start <= Text.size()) {
    const std::size_t end = std::min(Text.find('&', start), Text.size());
    const std::string_view pair = Text.substr(start, end - start);
    if (!pair.empty()) {
      const std::size_t eq = pair.find('=');
      if (eq == std::string_view::npos)
        out.emplace_back(Unescape(pair), std::string());
      else
        out.emplace_back(Unescape(pair.substr(0, eq)), Unescape(pair.substr(eq + 1)));
    }
    start = end + 1;
  }
  return out;
}

std::string EscapeForm(std::string_view Text)
{
  static const char* const Digits = "0123456789ABCDEF";
  std::string out;
  for (const char c : Text) {
    const auto u = static_cast<unsigned char>(c);
    if ((u >= '0' && u <= '9') || (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z')) {
      out.push_back(c);
    } else {
      out.push_back('%');
      out.push_back(Digits[u >> 4]);
      out.push_back(Digits[u & 15]);
    }
  }
  return out;
}

int LevelNumber(std::string_view Target)
{
  if (Target.size() <= 6 || Target.substr(0, 6) != "_level")
    return -1;
  int n = 0;
  for (const char c : Target.substr(6)) {
    if (c < '0' || c > '9' || n > Timeline::MaxLevel)
      return -1;
    n = n * 10 + (c - '0');
  }
  return n <= Timeline::MaxLevel ? n : -1;
}

Loads::Loads(PlayerImpl& Player, Machine& M, std::shared_ptr<const FileLoader> Files)
    : FPlayer(Player), FM(M), FFiles(std::move(Files))
{
}

LoadedFile Loads::Fetch(const std::string& Url, std::string_view What)
{
  LoadedFile file;
  if (FFiles) {
    file = FFiles->Load(Url);
  } else {
    file.Result = LoadedFile::Outcome::Missing;
    file.Why = "this player reads no files";
  }
  if (!file.Ok())
    FM.GetHost().Log(std::string(What) + "(\"" + Url + "\") not carried out: " + file.Why);
  return file;
}

void Loads::GetUrl(const std::string& Url, const std::string& Target, Object* Clip, std::uint8_t Flags)
{
  const int level = LevelNumber(Target);
  if (Flags & LoadVariablesFlag) {
    Object* into = (Flags & LoadTargetFlag) ? Clip : Level(level);
    if (into)
      LoadVariables(into, Url);
    else
      FM.GetHost().Log("loadVariables(\"" + Url + "\", \"" + Target + "\"): no such clip");
    return;
  }
  if (Flags & LoadTargetFlag) {
    if (!Clip) {
      FM.GetHost().Log("loadMovie(\"" + Url + "\", \"" + Target + "\"): no such clip");
      return;
    }
    if (Url.empty())
      Unload(Clip, -1);
    else
      LoadMovie(Clip, -1, Url, nullptr);
    return;
  }
  if (level >= 0) {
    if (Url.empty())
      Unload(nullptr, level);
    else
      LoadMovie(nullptr, level, Url, nullptr);
    return;
  }
  if (Url.starts_with("FSCommand:"))
    FM.GetHost().Log("fscommand(\"" + Url.substr(10) + "\", \"" + Target + "\") not carried out");
  else
    FM.GetHost().Log("getURL(\"" + Url + "\", \"" + Target + "\") not carried out");
}

void Loads::LoadText(Object* Loader, const std::string& Url, std::string_view What)
{
  Pending p;
  p.Type = Pending::Kind::Text;
  p.Target = Loader;
  p.Url = Url;
  p.File = Fetch(Url, What);
  FPending.push_back(std::move(p));
}

void Loads::LoadVariables(Object* Clip, const std::string& Url)
{
  Pending p;
  p.Type = Pending::Kind::Variables;
  p.Target = Clip;
  p.Url = Url;
  p.File = Fetch(Url, "loadVariables");
  FPending.push_back(std::move(p));
}

bool Loads::LoadMovie(Object* Clip, int Level, const std::string& Url, Object* Listener)
{
  if (!Clip && Level < 0)
    return false;
  // A newer load into the same place replaces one still on its way.
  std::erase_if(FPending, [&](const Pending& P) {
    return P.Type == Pending::Kind::Movie && P.Target == Clip && P.Level == Level;
  });
  Pending p;
  p.Type = Pending::Kind::Movie;
  p.Target = Clip;
  p.Level = Clip ? -1 : Level;
  p.Listener = Listener;
  p.Url = Url;
  p.File = Fetch(Url, "loadMovie");
  FPending.push_back(std::move(p));
  return true;
}

void Loads::Unload(Object* Clip, int Level)
{
  for (Pending& p : FPending)
    if (p.Type == Pending::Kind::Movie && ((Clip && p.Target == Clip) || (!Clip && p.Level == Level)))
      p.Cancelled = true;
  Pending p;
  p.Type = Pending::Kind::Unload;
  p.Target = Clip;
  p.Level = Clip ? -1 : Level;
  FPending.push_back(std::move(p));
}

void Loads::CompleteUnload(Pending& P)
{
  swf::Timeline& timeline = FPlayer.Timeline();
  auto* clip = dynamic_cast<ClipObject*>(P.Target);
  SpriteInstance* s = clip ? clip->Instance() : timeline.Level(P.Level);
  if (!s)
    return;
  if (!s->Parent && s != &timeline.Root()) {
    timeline.RemoveLevel(static_cast<int>(s->Depth));
    return;
  }
  timeline.LoadInto(*s, nullptr);
  ClipObject* object = FPlayer.ObjectOf(s);
  const Value handler = object ? object->Get(FM, FM.Intern("onUnload")) : Value();
  if (handler.IsObject())
    FM.RunFunction(handler, object, {});
}

Object* Loads::Level(int N)
{
  SpriteInstance* s = N >= 0 ? FPlayer.Timeline().Level(N) : nullptr;
  return s ? FPlayer.ObjectOf(s) : nullptr;
}

double Loads::BytesOf(Object* Clip) const
{
  for (const Arrived& a : FArrived)
    if (a.Clip == Clip)
      return a.Bytes;
  return -1;
}

std::string Loads::UrlOf(Object* Clip) const
{
  for (const Arrived& a : FArrived)
    if (a.Clip == Clip)
      return a.Url;
  return {};
}

void Loads::Notify(Object* Listener, std::string_view Event, std::vector<Value> Args)
{
  if (!Listener)
    return;
  std::vector<Value> all;
  all.emplace_back(FM.NewString(std::string(Event)));
  all.insert(all.end(), Args.begin(), Args.end());
  const Value broadcast = Listener->Get(FM, FM.Intern("broadcastMessage"));
  if (broadcast.IsObject())
    FM.RunFunction(broadcast, Listener, all);
}

void Loads::CompleteText(Pending& P)
{
  const Value handler = P.Target->Get(FM, FM.Intern("onData"));
  const double size = P.File.Ok() ? static_cast<double>(P.File.Bytes.size()) : 0;
  P.Target->Set(FM, FM.Intern("_bytesLoaded"), Value(size));
  P.Target->Set(FM, FM.Intern("_bytesTotal"), P.File.Ok() ? Value(size) : Value());
  if (!handler.IsObject())
    return;
  std::vector<Value> args;
  if (P.File.Ok())
    args.emplace_back(FM.NewString(TextOf(P.File.Bytes)));
  FM.RunFunction(handler, P.Target, args);
}

void Loads::CompleteVariables(Pending& P)
{
  if (!P.File.Ok())
    return;
  for (const auto& [name, value] : DecodeForm(TextOf(P.File.Bytes)))
    P.Target->Set(FM, FM.Intern(name), Value(FM.NewString(value)));
  const Value handler = P.Target->Get(FM, FM.Intern("onData"));
  if (handler.IsObject())
    FM.RunFunction(handler, P.Target, {});
}

void Loads::CompleteMovie(Pending& P)
{
  swf::Timeline& timeline = FPlayer.Timeline();
  // A clip removed while its load was on the way takes nothing.
  if (auto* clip = dynamic_cast<ClipObject*>(P.Target); P.Target && (!clip || !clip->Instance()))
    return;
  Object* target = P.Target ? P.Target : Level(P.Level);
  const Value targetValue = target ? Value(target) : Value();
  if (!P.File.Ok()) {
    if (!P.Cancelled)
      Notify(P.Listener, "onLoadError", {targetValue, Value(FM.NewString("URLNotFound"))});
    return;
  }
  std::shared_ptr<const Movie> movie;
  if (IsMovie(P.File.Bytes)) {
    try {
      movie = ReadMovie(std::span(reinterpret_cast<const std::uint8_t*>(P.File.Bytes.data()), P.File.Bytes.size()));
    } catch (const std::exception& e) {
      FM.GetHost().Log("loadMovie(\"" + P.Url + "\"): not a movie that can be read: " + e.what());
    }
  } else if (DetectContainer(std::span(reinterpret_cast<const std::uint8_t*>(P.File.Bytes.data()),
                                       P.File.Bytes.size())) != ImageContainer::Unknown) {
    movie = EmptyMovie(0);
  }
  if (!movie) {
    Notify(P.Listener, "onLoadError", {targetValue, Value(FM.NewString("LoadNeverCompleted"))});
    return;
  }
  const double size = static_cast<double>(P.File.Bytes.size());
  Notify(P.Listener, "onLoadStart", {targetValue});
  if (P.Cancelled)
    return;
  Notify(P.Listener, "onLoadProgress", {targetValue, Value(size), Value(size)});
  Notify(P.Listener, "onLoadComplete", {targetValue, Value(0)});
  // The clip's variables go with what it showed.
  if (auto* clip = dynamic_cast<ClipObject*>(target)) {
    std::vector<Atom> names;
    for (const Property& prop : clip->OwnProperties())
      names.push_back(prop.Name);
    for (const Atom name : names)
      clip->Delete(FM, name);
  }
  SpriteInstance* into = nullptr;
  if (auto* clip = dynamic_cast<ClipObject*>(target); clip && clip->Instance() && clip->Instance()->Parent) {
    into = clip->Instance();
    timeline.LoadInto(*into, movie);
  } else {
    const int level = P.Level >= 0 ? P.Level : 0;
    if (level == 0) {
      into = &timeline.Root();
      timeline.LoadInto(*into, movie);
    } else {
      into = timeline.MakeLevel(level, movie);
    }
  }
  ClipObject* loaded = into ? FPlayer.ObjectOf(into) : nullptr;
  if (into == &timeline.Root()) {
    // A new main movie brings its stage size.
    Machine::Screen screen = FM.Display();
    screen.StageWidth = std::round((movie->Stage.XMax - movie->Stage.XMin) / 20.0);
    screen.StageHeight = std::round((movie->Stage.YMax - movie->Stage.YMin) / 20.0);
    FM.SetDisplay(screen);
  }
  if (loaded) {
    // The address's query holds variables for the new movie, set before
    // its first frame runs.
    const std::size_t query = P.Url.find('?');
    if (query != std::string::npos) {
      const std::string_view rest = std::string_view(P.Url).substr(query + 1);
      for (const auto& [name, value] : DecodeForm(rest.substr(0, rest.find('#'))))
        loaded->Set(FM, FM.Intern(name), Value(FM.NewString(value)));
    }
    std::erase_if(FArrived, [&](const Arrived& A) { return A.Clip == loaded; });
    FArrived.push_back({loaded, size, P.Url});
  }
  FPlayer.RunQueue();
  Notify(P.Listener, "onLoadInit", {loaded ? Value(static_cast<Object*>(loaded)) : targetValue});
}

void Loads::Announce(Object* Broadcaster, std::string Event)
{
  if (FPending.size() >= MaxPendingLoads)
    return;
  Pending p;
  p.Type = Pending::Kind::Event;
  p.Target = Broadcaster;
  p.Url = std::move(Event);
  FPending.push_back(std::move(p));
}

void Loads::Complete()
{
  for (std::size_t done = 0; !FPending.empty() && done < MaxCompletionsPerFrame; ++done) {
    Pending p = std::move(FPending.front());
    FPending.pop_front();
    switch (p.Type) {
    case Pending::Kind::Text: CompleteText(p); break;
    case Pending::Kind::Variables: CompleteVariables(p); break;
    case Pending::Kind::Movie: CompleteMovie(p); break;
    case Pending::Kind::Unload: CompleteUnload(p); break;
    case Pending::Kind::Event: Notify(p.Target, p.Url, {Value(p.Target)}); break;
    }
    FPlayer.RunQueue();
  }
}

void Loads::Trace(Marker& M) const
{
  for (const Pending& p : FPending) {
    M.Mark(p.Target);
    M.Mark(p.Listener);
  }
  for (const Arrived& a : FArrived)
    M.Mark(a.Clip);
}

} // namespace quenloft::swf::avm1
