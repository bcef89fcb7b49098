#include "swf/MovieReader.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>

#include "swf/ActionReader.h"
#include "swf/ButtonReader.h"
#include "swf/DefinitionReader.h"
#include "swf/FilterReader.h"
#include "swf/ShapeReader.h"
#include "swf/SoundReader.h"
#include "swf/TagCodes.h"
#include "swf/TagReader.h"
#include "swf/VideoReader.h"

namespace quenloft::swf {

namespace {

// Sprites may only hold control tags, but files nest them anyway; this
// bounds the recursion a hostile file can ask for.
constexpr int MaxSpriteNesting = 16;

// A hostile body may hold millions of two-byte tags. Frames, display-list
// changes, actions and labels each cost far more memory than their bytes,
// so a movie keeps at most this many of them together; tags that fail to
// read each cost an exception, so reading stops after this many.
constexpr std::size_t MaxTimelineItems = 4u << 20;
constexpr std::size_t MaxBrokenTags = 10000;

BlendMode ToBlend(std::uint8_t V)
{
  // 0 and 1 are both normal; values past hard light are unknown and drawn
  // as normal too.
  if (V < 2 || V > 14)
    return BlendMode::Normal;
  return static_cast<BlendMode>(V - 1);
}

PlaceObject ReadPlaceObject1(TTagReader& R)
{
  PlaceObject p;
  p.Character = R.U16();
  p.Depth = R.U16();
  p.Transform = R.ReadMatrix();
  if (!R.AtEnd())
    p.Color = R.ReadColorTransform(false);
  return p;
}

// The handlers of a placed clip: a reserved word, the union of all event
// flags, then records of event flags (16 bits before SWF 6), a size and the
// actions, until flags of zero.
void ReadClipActions(TTagReader& R, int SwfVersion, std::vector<ClipAction>& Into)
{
  const auto flags = [&]() -> std::uint32_t {
    if (SwfVersion >= 6)
      return R.U32();
    return R.U16();
  };
  R.U16();
  flags();
  while (!R.AtEnd()) {
    ClipAction a;
    a.Events = flags();
    if (a.Events == 0)
      break;
    std::uint32_t size = R.U32();
    if (size > R.Remaining())
      throw ETagError("a clip event's actions run past the tag");
    if (a.Events & ClipKeyPress) {
      if (size == 0)
        throw ETagError("a key-press handler without its key");
      a.KeyCode = R.U8();
      --size;
    }
    const auto bytes = R.Bytes(size);
    a.Actions = std::make_shared<const std::vector<std::uint8_t>>(bytes.begin(), bytes.end());
    Into.push_back(std::move(a));
  }
}

PlaceObject ReadPlaceObject23(TTagReader& R, int Version, int SwfVersion)
{
  PlaceObject p;
  const std::uint8_t flags = R.U8();
  const std::uint8_t flags2 = Version >= 3 ? R.U8() : 0;
  p.Depth = R.U16();
  const bool move = flags & 0x01;
  const bool hasCharacter = flags & 0x02;
  p.Kind = move ? (hasCharacter ? PlaceObject::Action::Replace : PlaceObject::Action::Modify)
                : (hasCharacter ? PlaceObject::Action::Place : PlaceObject::Action::Modify);
  if (Version >= 3 && (flags2 & 0x08))
    R.String(); // class name: a script binding, not drawn
  if (hasCharacter)
    p.Character = R.U16();
  if (flags & 0x04)
    p.Transform = R.ReadMatrix();
  if (flags & 0x08)
    p.Color = R.ReadColorTransform(true);
  if (flags & 0x10)
    p.Ratio = R.U16();
  if (flags & 0x20)
    p.Name = R.String();
  if (flags & 0x40)
    p.ClipDepth = R.U16();
  if (Version < 3) {
    if (flags & 0x80) {
      try {
        ReadClipActions(R, SwfVersion, p.ClipActions);
      } catch (const ETagError&) {
        // A broken handler list loses the handlers, not the placement.
      }
    }
    return p;
  }
  try {
    if (flags2 & 0x01)
      p.Filters = std::make_shared<const FilterList>(ReadFilters(R));
    if (flags2 & 0x02)
      p.Blend = ToBlend(R.U8());
    if (flags2 & 0x04)
      p.CacheAsBitmap = R.U8() != 0;
    if (flags2 & 0x20)
      p.Visible = R.U8() != 0;
    if (flags2 & 0x40)
      p.BackgroundColor = R.ReadRgba();
    if (flags & 0x80)
      ReadClipActions(R, SwfVersion, p.ClipActions);
  } catch (const ETagError&) {
    // Files written by some tools leave these trailing fields out; what
    // was read before still places the object.
  }
  return p;
}

class TMovieReader {
public:
  explicit TMovieReader(Movie& M) : FMovie(M) {}

  void ReadTimeline(TTagReader& R, Sprite& S, int Nesting);
  // Puts the skipped-tag counts into the movie.
  void Finish();

private:
  void Note(const std::string& Error);
  void Count(Tag Code) { ++FSkipped[static_cast<std::size_t>(Code)]; }
  template <typename T>
  void Define(CharacterId Id, T&& Value)
  {
    // The first definition of an id wins, as in the player.
    FMovie.Dictionary.try_emplace(Id, std::forward<T>(Value));
  }
  bool ReadTag(Tag Code, TTagReader& Body, Sprite& S, Frame& Current, int Nesting);
  bool ReadVideoTag(Tag Code, TTagReader& Body);
  void Spend(std::size_t Records);

  Movie& FMovie;
  std::size_t FRecords = 0; // shape records read so far
  std::size_t FItems = 0;   // frames, changes, actions and labels so far
  std::size_t FBroken = 0;  // tags that failed to read
  std::array<std::uint32_t, 1024> FSkipped{};
};

void TMovieReader::Finish()
{
  for (std::size_t code = 0; code < FSkipped.size(); ++code)
    if (FSkipped[code] != 0)
      FMovie.SkippedTags[TagKey(static_cast<Tag>(code))] += FSkipped[code];
}

void TMovieReader::Spend(std::size_t Records)
{
  FRecords += Records;
  if (FRecords > MaxMovieShapeRecords)
    throw ETagError("the movie holds more shape records than the player reads");
}

void TMovieReader::Note(const std::string& Error)
{
  FMovie.ReadError = Error;
}

bool TMovieReader::ReadVideoTag(Tag Code, TTagReader& B)
{
  if (Code == Tag::VideoFrame) {
    ++FItems;
    return ReadVideoFrame(B, FMovie);
  }
  VideoStream stream = ReadVideoStream(B);
  const CharacterId id = stream.Id;
  Define(id, std::move(stream));
  return true;
}

void TMovieReader::ReadTimeline(TTagReader& R, Sprite& S, int Nesting)
{
  Frame current;
  while (!R.AtEnd()) {
    const std::size_t at = R.Position();
    Tag code = Tag::End;
    std::size_t length = 0;
    try {
      const std::uint16_t head = R.U16();
      code = static_cast<Tag>(head >> 6);
      length = head & 0x3F;
      if (length == 0x3F)
        length = R.U32();
    } catch (const ETagError&) {
      if (FMovie.ReadError.empty())
        Note("the data ends inside a tag header at byte " + std::to_string(at));
      break;
    }
    if (length > R.Remaining()) {
      if (FMovie.ReadError.empty())
        Note(TagKey(code) + " at byte " + std::to_string(at) + " claims " + std::to_string(length) +
             " bytes; only " + std::to_string(R.Remaining()) + " remain");
      break;
    }
    TTagReader body = R.Sub(length);
    if (code == Tag::End)
      break;
    if (FItems > MaxTimelineItems || FBroken > MaxBrokenTags) {
      if (FMovie.ReadError.empty())
        Note(FBroken > MaxBrokenTags
                 ? "too many damaged tags; reading stopped at byte " + std::to_string(at)
                 : "more frames and changes than the player keeps; reading stopped at byte " +
                       std::to_string(at));
      break;
    }
    try {
      if (!ReadTag(code, body, S, current, Nesting))
        Count(code);
    } catch (const ETagError& e) {
      ++FBroken;
      if (FMovie.ReadError.empty())
        Note(TagKey(code) + " at byte " + std::to_string(at) + ": " + e.what());
    }
  }
  // A last frame without its ShowFrame still shows what it placed.
  if (!current.Changes.empty() || !current.Actions.empty() || !current.Scripts.empty() ||
      !current.InitScripts.empty() || !current.Sounds.empty() || current.StreamBlock)
    S.Frames.push_back(std::move(current));
}

bool TMovieReader::ReadTag(Tag Code, TTagReader& B, Sprite& S, Frame& Current, int Nesting)
{
  switch (Code) {
  case Tag::ShowFrame:
    ++FItems;
    S.Frames.push_back(std::move(Current));
    Current = Frame{};
    return true;
  case Tag::PlaceObject:
    Current.Changes.emplace_back(ReadPlaceObject1(B));
    ++FItems;
    return true;
  case Tag::PlaceObject2:
  case Tag::PlaceObject3:
    Current.Changes.emplace_back(ReadPlaceObject23(B, Code == Tag::PlaceObject2 ? 2 : 3, FMovie.Version));
    ++FItems;
    if (B.Span().size() > 0 && (B.Span()[0] & 0x80) != 0)
      FMovie.Scripted = true; // clip event handlers
    return true;
  case Tag::RemoveObject:
    B.U16(); // the character id: the depth alone decides
    Current.Changes.emplace_back(RemoveObject{B.U16()});
    ++FItems;
    return true;
  case Tag::RemoveObject2:
    Current.Changes.emplace_back(RemoveObject{B.U16()});
    ++FItems;
    return true;
  case Tag::FrameLabel: {
    const std::string label = B.String();
    if (S.Labels.try_emplace(label, static_cast<std::uint32_t>(S.Frames.size())).second)
      FItems += 1 + label.size() / 16;
    return true;
  }
  case Tag::DoAction: {
    const std::size_t before = Current.Actions.size();
    const auto bytes = B.Span();
    Current.Scripts.push_back(std::make_shared<const std::vector<std::uint8_t>>(bytes.begin(), bytes.end()));
    Current.ScriptsAfter.push_back(static_cast<std::uint32_t>(Current.Changes.size()));
    ReadDoAction(B, Current, FMovie);
    FItems += 1 + Current.Actions.size() - before + bytes.size() / 64;
    return true;
  }
  case Tag::DoInitAction: {
    InitAction init;
    init.Sprite = B.U16();
    const auto rest = B.Rest();
    init.Actions = std::make_shared<const std::vector<std::uint8_t>>(rest.begin(), rest.end());
    Current.InitScripts.push_back(std::move(init));
    FMovie.Scripted = true;
    FItems += 1 + rest.size() / 64;
    return true;
  }
  case Tag::ExportAssets: {
    const std::uint16_t count = B.U16();
    for (std::uint16_t i = 0; i < count && !B.AtEnd(); ++i) {
      const CharacterId id = B.U16();
      FMovie.Exports.try_emplace(B.String(), id);
      ++FItems;
    }
    return true;
  }
  case Tag::DoABC:
  case Tag::DoABC2:
  case Tag::SymbolClass:
    FMovie.Scripted = true;
    FMovie.ScriptedAs3 = true;
    return false;
  case Tag::SetBackgroundColor:
    if (Nesting == 0)
      FMovie.Background = B.ReadRgb();
    return true;
  case Tag::DefineShape:
  case Tag::DefineShape2:
  case Tag::DefineShape3:
  case Tag::DefineShape4: {
    const int version = Code == Tag::DefineShape    ? 1
                        : Code == Tag::DefineShape2 ? 2
                        : Code == Tag::DefineShape3 ? 3
                                                    : 4;
    Shape shape = ReadShape(B, version);
    Spend(shape.Records.size());
    const CharacterId id = shape.Id;
    Define(id, std::move(shape));
    return true;
  }
  case Tag::DefineMorphShape:
  case Tag::DefineMorphShape2: {
    MorphShape morph = ReadMorphShape(B, Code == Tag::DefineMorphShape ? 1 : 2);
    Spend(morph.StartRecords.size() + morph.EndRecords.size());
    const CharacterId id = morph.Id;
    Define(id, std::move(morph));
    return true;
  }
  case Tag::JPEGTables:
    if (FMovie.JpegTables.empty()) {
      const auto rest = B.Rest();
      FMovie.JpegTables.assign(rest.begin(), rest.end());
    }
    return true;
  case Tag::DefineBits:
  case Tag::DefineBitsLossless:
  case Tag::DefineBitsJPEG2:
  case Tag::DefineBitsJPEG3:
  case Tag::DefineBitsLossless2:
  case Tag::DefineBitsJPEG4: {
    Bitmap bitmap = ReadBitmap(B, Code);
    const CharacterId id = bitmap.Id;
    Define(id, std::move(bitmap));
    return true;
  }
  case Tag::DefineFont:
  case Tag::DefineFont2:
  case Tag::DefineFont3: {
    Font font = ReadFont(B, Code);
    for (const Shape& glyph : font.Glyphs)
      Spend(glyph.Records.size() + 1);
    const CharacterId id = font.Id;
    Define(id, std::move(font));
    return true;
  }
  case Tag::DefineFontInfo:
  case Tag::DefineFontInfo2: ReadFontInfo(B, Code, FMovie); return true;
  case Tag::DefineText:
  case Tag::DefineText2: {
    Text text = ReadText(B, Code);
    const CharacterId id = text.Id;
    Define(id, std::move(text));
    return true;
  }
  case Tag::DefineEditText: {
    std::optional<Text> text = ReadEditText(B, FMovie);
    if (!text)
      return false;
    const CharacterId id = text->Id;
    Define(id, std::move(*text));
    return true;
  }
  case Tag::DefineButton:
  case Tag::DefineButton2: {
    Button button = ReadButton(B, Code);
    Spend(button.Records.size() + button.Actions.size());
    const CharacterId id = button.Id;
    Define(id, std::move(button));
    return true;
  }
  case Tag::DefineButtonCxform: ReadButtonCxform(B, FMovie); return true;
  case Tag::DefineScalingGrid: {
    const CharacterId id = B.U16();
    FMovie.ScalingGrids[id] = B.ReadRect();
    return true;
  }
  case Tag::DefineVideoStream:
  case Tag::VideoFrame: return ReadVideoTag(Code, B);
  case Tag::DefineSprite: {
    if (Nesting >= MaxSpriteNesting)
      throw ETagError("sprites nested too deeply");
    Sprite sprite;
    sprite.Id = B.U16();
    sprite.FrameCount = B.U16();
    ReadTimeline(B, sprite, Nesting + 1);
    const CharacterId id = sprite.Id;
    Define(id, std::move(sprite));
    return true;
  }
  case Tag::DefineSound:
  case Tag::StartSound:
  case Tag::DefineButtonSound:
  case Tag::SoundStreamHead:
  case Tag::SoundStreamBlock:
  case Tag::SoundStreamHead2:
  case Tag::StartSound2:
    ++FItems;
    return ReadSoundTag(Code, B, FMovie, S, Current);
  default: return false;
  }
}

} // namespace

std::shared_ptr<Movie> ReadMovie(std::span<const std::uint8_t> Bytes, std::size_t MaxBody)
{
  auto movie = std::make_shared<Movie>();
  std::string error;
  const std::vector<std::uint8_t> body = DecompressBody(Bytes, std::min(MaxBody, MaxMovieBody), error);
  movie->Signature = static_cast<char>(Bytes[0]);
  movie->Version = Bytes[3];
  TTagReader r(body);
  try {
    movie->Stage = r.ReadRect();
    const std::uint16_t rate = r.U16();
    movie->FrameRate = rate / 256.0;
    movie->Root.FrameCount = r.U16();
  } catch (const ETagError&) {
    throw EMovieError("the movie header is cut short",
                      Bytes[0] == 'F' ? MovieFault::CutShort : MovieFault::DamagedCompressed);
  }
  TMovieReader reader(*movie);
  reader.ReadTimeline(r, movie->Root, 0);
  reader.Finish();
  if (!error.empty())
    movie->ReadError = movie->ReadError.empty() ? error : error + "; " + movie->ReadError;
  return movie;
}

std::shared_ptr<Movie> ReadMovieFile(const std::string& FileName)
{
  errno = 0;
  std::ifstream in(FileName, std::ios::binary | std::ios::ate);
  if (!in)
    throw EMovieError("Cannot open file \"" + FileName + "\"" +
                          (errno != 0 ? std::string(". ") + std::strerror(errno) : std::string()),
                      MovieFault::Unreadable);
  // A compressed body never comes out smaller than it went in, so a file
  // larger than the biggest body is not one the player reads.
  const std::streamoff size = in.tellg();
  if (size < 0 || static_cast<std::uint64_t>(size) > MaxMovieBody + 8)
    throw EMovieError("the file is larger than the player reads", MovieFault::TooLarge);
  in.seekg(0);
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
  if (!in.read(reinterpret_cast<char*>(bytes.data()), size))
    throw EMovieError("Cannot read file \"" + FileName + "\"", MovieFault::Unreadable);
  return ReadMovie(bytes);
}

const char* MovieFaultText(MovieFault Fault)
{
  switch (Fault) {
  case MovieFault::Unreadable: return "file cannot be read";
  case MovieFault::Empty: return "empty file";
  case MovieFault::NotFlash: return "not a Flash file";
  case MovieFault::CutShort: return "movie cut short";
  case MovieFault::DamagedCompressed: return "damaged compressed movie";
  case MovieFault::TooLarge: return "file too large";
  case MovieFault::Damaged: break;
  }
  return "damaged movie";
}

} // namespace quenloft::swf
