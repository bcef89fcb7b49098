#include "swf/MovieReader.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>

#include "swf/ActionReader.h"
#include "swf/DefinitionReader.h"
#include "swf/ShapeReader.h"
#include "swf/TagReader.h"

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

const char* TagName(int Code)
{
  switch (Code) {
  case 0: return "End";
  case 1: return "ShowFrame";
  case 2: return "DefineShape";
  case 4: return "PlaceObject";
  case 5: return "RemoveObject";
  case 6: return "DefineBits";
  case 7: return "DefineButton";
  case 8: return "JPEGTables";
  case 9: return "SetBackgroundColor";
  case 10: return "DefineFont";
  case 11: return "DefineText";
  case 12: return "DoAction";
  case 13: return "DefineFontInfo";
  case 14: return "DefineSound";
  case 15: return "StartSound";
  case 17: return "DefineButtonSound";
  case 18: return "SoundStreamHead";
  case 19: return "SoundStreamBlock";
  case 20: return "DefineBitsLossless";
  case 21: return "DefineBitsJPEG2";
  case 22: return "DefineShape2";
  case 23: return "DefineButtonCxform";
  case 24: return "Protect";
  case 26: return "PlaceObject2";
  case 28: return "RemoveObject2";
  case 32: return "DefineShape3";
  case 33: return "DefineText2";
  case 34: return "DefineButton2";
  case 35: return "DefineBitsJPEG3";
  case 36: return "DefineBitsLossless2";
  case 37: return "DefineEditText";
  case 39: return "DefineSprite";
  case 41: return "ProductInfo";
  case 43: return "FrameLabel";
  case 45: return "SoundStreamHead2";
  case 46: return "DefineMorphShape";
  case 48: return "DefineFont2";
  case 56: return "ExportAssets";
  case 57: return "ImportAssets";
  case 58: return "EnableDebugger";
  case 59: return "DoInitAction";
  case 60: return "DefineVideoStream";
  case 61: return "VideoFrame";
  case 62: return "DefineFontInfo2";
  case 63: return "DebugID";
  case 64: return "EnableDebugger2";
  case 65: return "ScriptLimits";
  case 66: return "SetTabIndex";
  case 69: return "FileAttributes";
  case 70: return "PlaceObject3";
  case 71: return "ImportAssets2";
  case 72: return "DoABC";
  case 73: return "DefineFontAlignZones";
  case 74: return "CSMTextSettings";
  case 75: return "DefineFont3";
  case 76: return "SymbolClass";
  case 77: return "Metadata";
  case 78: return "DefineScalingGrid";
  case 82: return "DoABC2";
  case 83: return "DefineShape4";
  case 84: return "DefineMorphShape2";
  case 86: return "DefineSceneAndFrameLabelData";
  case 87: return "DefineBinaryData";
  case 88: return "DefineFontName";
  case 89: return "StartSound2";
  case 90: return "DefineBitsJPEG4";
  case 91: return "DefineFont4";
  case 93: return "EnableTelemetry";
  case 94: return "PlaceObject4";
  default: return nullptr;
  }
}

std::string TagKey(int Code)
{
  const char* name = TagName(Code);
  return name ? std::string(name) : "tag " + std::to_string(Code);
}

BlendMode ToBlend(std::uint8_t V)
{
  // 0 and 1 are both normal; values past hard light are unknown and drawn
  // as normal too.
  if (V < 2 || V > 14)
    return BlendMode::Normal;
  return static_cast<BlendMode>(V - 1);
}

void SkipFilters(TTagReader& R)
{
  const std::uint8_t count = R.U8();
  for (int i = 0; i < count; ++i) {
    switch (R.U8()) {
    case 0: R.Skip(23); break; // drop shadow
    case 1: R.Skip(9); break;  // blur
    case 2: R.Skip(15); break; // glow
    case 3: R.Skip(27); break; // bevel
    case 4:                    // gradient glow
    case 7: {                  // gradient bevel
      const std::uint8_t colors = R.U8();
      R.Skip(colors * 5u + 19u);
      break;
    }
    case 5: { // convolution
      const std::uint8_t x = R.U8();
      const std::uint8_t y = R.U8();
      R.Skip(8u + 4u * x * y + 4u + 1u);
      break;
    }
    case 6: R.Skip(80); break; // colour matrix
    default: throw ETagError("unknown filter");
    }
  }
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
      SkipFilters(R);
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
  void Count(int Code) { ++FSkipped[static_cast<std::size_t>(Code)]; }
  template <typename T>
  void Define(CharacterId Id, T&& Value)
  {
    // The first definition of an id wins, as in the player.
    FMovie.Dictionary.try_emplace(Id, std::forward<T>(Value));
  }
  bool ReadTag(int Code, TTagReader& Body, Sprite& S, Frame& Current, int Nesting);
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
      FMovie.SkippedTags[TagKey(static_cast<int>(code))] += FSkipped[code];
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

void TMovieReader::ReadTimeline(TTagReader& R, Sprite& S, int Nesting)
{
  Frame current;
  while (!R.AtEnd()) {
    const std::size_t at = R.Position();
    int code = 0;
    std::size_t length = 0;
    try {
      const std::uint16_t head = R.U16();
      code = head >> 6;
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
    if (code == 0)
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
      !current.InitScripts.empty())
    S.Frames.push_back(std::move(current));
}

bool TMovieReader::ReadTag(int Code, TTagReader& B, Sprite& S, Frame& Current, int Nesting)
{
  switch (Code) {
  case 1: // ShowFrame
    ++FItems;
    S.Frames.push_back(std::move(Current));
    Current = Frame{};
    return true;
  case 4:
    Current.Changes.emplace_back(ReadPlaceObject1(B));
    ++FItems;
    return true;
  case 26:
  case 70:
    Current.Changes.emplace_back(ReadPlaceObject23(B, Code == 26 ? 2 : 3, FMovie.Version));
    ++FItems;
    if (B.Span().size() > 0 && (B.Span()[0] & 0x80) != 0)
      FMovie.Scripted = true; // clip event handlers
    return true;
  case 5:
    B.U16(); // the character id: the depth alone decides
    Current.Changes.emplace_back(RemoveObject{B.U16()});
    ++FItems;
    return true;
  case 28:
    Current.Changes.emplace_back(RemoveObject{B.U16()});
    ++FItems;
    return true;
  case 43: {
    const std::string label = B.String();
    if (S.Labels.try_emplace(label, static_cast<std::uint32_t>(S.Frames.size())).second)
      FItems += 1 + label.size() / 16;
    return true;
  }
  case 12: {
    const std::size_t before = Current.Actions.size();
    const auto bytes = B.Span();
    Current.Scripts.push_back(std::make_shared<const std::vector<std::uint8_t>>(bytes.begin(), bytes.end()));
    ReadDoAction(B, Current, FMovie);
    FItems += 1 + Current.Actions.size() - before + bytes.size() / 64;
    return true;
  }
  case 59: { // DoInitAction
    InitAction init;
    init.Sprite = B.U16();
    const auto rest = B.Rest();
    init.Actions = std::make_shared<const std::vector<std::uint8_t>>(rest.begin(), rest.end());
    Current.InitScripts.push_back(std::move(init));
    FMovie.Scripted = true;
    FItems += 1 + rest.size() / 64;
    return true;
  }
  case 56: { // ExportAssets
    const std::uint16_t count = B.U16();
    for (std::uint16_t i = 0; i < count && !B.AtEnd(); ++i) {
      const CharacterId id = B.U16();
      FMovie.Exports.try_emplace(B.String(), id);
      ++FItems;
    }
    return true;
  }
  case 72: // DoABC
  case 82: // DoABC2
  case 76: // SymbolClass
    FMovie.Scripted = true;
    FMovie.ScriptedAs3 = true;
    return false;
  case 9:
    if (Nesting == 0)
      FMovie.Background = B.ReadRgb();
    return true;
  case 2:
  case 22:
  case 32:
  case 83: {
    const int version = Code == 2 ? 1 : Code == 22 ? 2 : Code == 32 ? 3 : 4;
    Shape shape = ReadShape(B, version);
    Spend(shape.Records.size());
    const CharacterId id = shape.Id;
    Define(id, std::move(shape));
    return true;
  }
  case 46:
  case 84: {
    MorphShape morph = ReadMorphShape(B, Code == 46 ? 1 : 2);
    Spend(morph.StartRecords.size() + morph.EndRecords.size());
    const CharacterId id = morph.Id;
    Define(id, std::move(morph));
    return true;
  }
  case 8:
    if (FMovie.JpegTables.empty()) {
      const auto rest = B.Rest();
      FMovie.JpegTables.assign(rest.begin(), rest.end());
    }
    return true;
  case 6:
  case 20:
  case 21:
  case 35:
  case 36:
  case 90: {
    Bitmap bitmap = ReadBitmap(B, Code);
    const CharacterId id = bitmap.Id;
    Define(id, std::move(bitmap));
    return true;
  }
  case 10:
  case 48:
  case 75: {
    Font font = ReadFont(B, Code);
    for (const Shape& glyph : font.Glyphs)
      Spend(glyph.Records.size() + 1);
    const CharacterId id = font.Id;
    Define(id, std::move(font));
    return true;
  }
  case 13:
  case 62: ReadFontInfo(B, Code, FMovie); return true;
  case 11:
  case 33: {
    Text text = ReadText(B, Code);
    const CharacterId id = text.Id;
    Define(id, std::move(text));
    return true;
  }
  case 37: {
    std::optional<Text> text = ReadEditText(B, FMovie);
    if (!text)
      return false;
    const CharacterId id = text->Id;
    Define(id, std::move(*text));
    return true;
  }
  case 39: {
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
    throw EMovieError("the movie header is cut short");
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
                      (errno != 0 ? std::string(". ") + std::strerror(errno) : std::string()));
  // A compressed body never comes out smaller than it went in, so a file
  // larger than the biggest body is not one the player reads.
  const std::streamoff size = in.tellg();
  if (size < 0 || static_cast<std::uint64_t>(size) > MaxMovieBody + 8)
    throw EMovieError("the file is larger than the player reads");
  in.seekg(0);
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
  if (!in.read(reinterpret_cast<char*>(bytes.data()), size))
    throw EMovieError("Cannot read file \"" + FileName + "\"");
  return ReadMovie(bytes);
}

} // namespace quenloft::swf
