#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>

#include "swf/MovieReader.h"
#include "swf/ShapeReader.h"
#include "swf/Timeline.h"
#include "tests/swf/MovieBuilder.h"

namespace quenloft::swf {
namespace {

using namespace test;

// The shared fixtures beside the project; QUENLOFT_FIXTURES names another
// place (a worktree kept elsewhere).
const std::filesystem::path Fixtures = [] {
  const char* env = std::getenv("QUENLOFT_FIXTURES");
  return std::filesystem::path(env && *env ? env : QUENLOFT_SOURCE_DIR "/../shared/fixtures");
}();

const Shape& ShapeOf(const Movie& M, CharacterId Id)
{
  const Character* c = M.Find(Id);
  if (!c || !std::holds_alternative<Shape>(*c))
    throw std::runtime_error("no shape " + std::to_string(Id));
  return std::get<Shape>(*c);
}

TEST(MovieReader, ContainersAndTagHeadersReadAlike)
{
  // The same tags in short and long header form, in each container.
  for (const bool longTags : {false, true}) {
    const TBytes tags = Join({Tag(9, {1, 2, 3}, longTags), RectShape(1, 200, 100), Place2(1, 1, 40, 60),
                              Tag(1, {}, longTags), End()});
    for (const char sig : {'F', 'C', 'Z'}) {
      SCOPED_TRACE(std::string(1, sig) + (longTags ? " long" : " short"));
      const auto m = ReadMovie(MovieFile(tags, sig));
      EXPECT_EQ(m->Signature, sig);
      EXPECT_EQ(m->ReadError, "");
      EXPECT_EQ(m->Stage, (Rect{0, 11000, 0, 8000}));
      EXPECT_EQ(m->FrameRate, 24.0);
      EXPECT_EQ(m->Background, (Rgba{1, 2, 3, 255}));
      ASSERT_EQ(m->Root.Frames.size(), 1u);
      const auto& place = std::get<PlaceObject>(m->Root.Frames[0].Changes.at(0));
      EXPECT_EQ(place.Transform->Tx, 40);
      EXPECT_EQ(ShapeOf(*m, 1).Records.size(), 5u);
      EXPECT_TRUE(m->SkippedTags.empty());
    }
  }
}

TEST(MovieReader, RefusesWhatIsNotAMovie)
{
  const TBytes zlibCut = MovieFile(Join({ShowFrame(), End()}), 'C');
  const struct {
    TBytes Bytes;
    MovieFault Fault;
  } cases[] = {
      {{}, MovieFault::Empty},
      {{'F', 'W'}, MovieFault::NotFlash},
      {{'G', 'W', 'S', 10, 8, 0, 0, 0}, MovieFault::NotFlash},
      {{'F', 'W', 'S', 10, 8, 0, 0}, MovieFault::CutShort},                    // prefix cut
      {{'F', 'W', 'S', 10, 9, 0, 0, 0}, MovieFault::CutShort},                 // no body
      {{'F', 'W', 'S', 10, 9, 0, 0, 0, 0x80}, MovieFault::CutShort},           // the rectangle cut
      {{'C', 'W', 'S', 10, 8, 0}, MovieFault::DamagedCompressed},              // prefix cut
      {{'C', 'W', 'S', 10, 99, 0, 0, 0, 1, 2}, MovieFault::DamagedCompressed}, // not zlib
      {{'Z', 'W', 'S', 10, 99, 0, 0, 0, 1, 0}, MovieFault::DamagedCompressed}, // no LZMA properties
      {TBytes(zlibCut.begin(), zlibCut.begin() + 11), MovieFault::DamagedCompressed},
  };
  for (const auto& c : cases) {
    try {
      ReadMovie(c.Bytes);
      ADD_FAILURE() << c.Bytes.size();
    } catch (const EMovieError& e) {
      EXPECT_EQ(e.Fault(), c.Fault) << c.Bytes.size() << ": " << e.what();
    }
  }
  try {
    ReadMovieFile("/nonexistent/movie.swf");
    ADD_FAILURE();
  } catch (const EMovieError& e) {
    EXPECT_STREQ(e.what(), "Cannot open file \"/nonexistent/movie.swf\". No such file or directory");
    EXPECT_EQ(e.Fault(), MovieFault::Unreadable);
  }
}

TEST(MovieReader, KeepsWhatCameBeforeABreak)
{
  const TBytes good = Join({RectShape(1, 200, 100), Place2(1, 1), ShowFrame()});
  struct Case {
    const char* Name;
    TBytes Tail;
    const char* Error;
  };
  const Case cases[] = {
      {"tag claiming gigabytes", TBitWriter().U16(2 << 6 | 0x3F).U32(0xFFFFFFF0).U8(1).Out, "claims"},
      {"shape cut inside", Tag(2, {5, 0, 0x80}), "DefineShape at byte"},
      {"unknown fill type", Tag(2, TBitWriter().U16(2).Rect(0, 1, 0, 1).U8(1).U8(0x77).Out),
       "fill style type"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    const auto m = ReadMovie(MovieFile(Join({good, c.Tail, Place2(2, 1), ShowFrame()})));
    EXPECT_NE(m->ReadError.find(c.Error), std::string::npos) << m->ReadError;
    ASSERT_GE(m->Root.Frames.size(), 1u);
    EXPECT_NE(m->Find(1), nullptr);
  }
  const auto cut = ReadMovie(MovieFile(Join({good, {0x3F}})));
  EXPECT_NE(cut->ReadError.find("inside a tag header"), std::string::npos) << cut->ReadError;
  EXPECT_EQ(cut->Root.Frames.size(), 1u);
  // Every prefix of a movie reads or is refused; none crashes.
  const TBytes file = MovieFile(Join({good, good, End()}), 'C');
  for (std::size_t n = 0; n < file.size(); ++n) {
    try {
      ReadMovie(std::span(file).first(n));
    } catch (const EMovieError&) {
    }
  }
}

TEST(MovieReader, StyleChangesAndNewStyles)
{
  // DefineShape2: fill bits 2, line bits 1; a record with every field and
  // then a new style set with one line style.
  TBitWriter w;
  w.U16(7).Rect(0, 100, 0, 100);
  w.U8(2).U8(0).U8(1).U8(2).U8(3).U8(0).U8(4).U8(5).U8(6); // two solid fills
  w.U8(1).U16(20).U8(9).U8(9).U8(9);                       // one line
  w.Bits(2, 4).Bits(1, 4);
  // Style change: new styles, line, fill1, fill0, move (flags 11111).
  w.Bits(0, 1).Bits(0b11111, 5).Bits(8, 5).SBits(-5, 8).SBits(7, 8);
  w.Bits(2, 2).Bits(1, 2).Bits(1, 1);
  w.Align().U8(0).U8(1).U16(40).U8(1).U8(1).U8(1).Bits(0, 4).Bits(1, 4);
  // A curve after the new styles: control (3,-4), anchor (+2,+6) from it.
  w.Bits(1, 1).Bits(0, 1).Bits(2, 4).SBits(3, 4).SBits(-4, 4).SBits(2, 4).SBits(6, 4);
  // Vertical line of -9; a line with only the new line style.
  w.Bits(1, 1).Bits(1, 1).Bits(3, 4).Bits(0, 1).Bits(1, 1).SBits(-9, 5);
  w.Bits(0, 1).Bits(0b01000, 5).Bits(1, 1);
  w.Bits(0, 6).Align();
  const auto m = ReadMovie(MovieFile(Join({Tag(22, w.Out), End()})));
  ASSERT_EQ(m->ReadError, "");
  const Shape& s = ShapeOf(*m, 7);
  EXPECT_EQ(s.Version, 2);
  ASSERT_EQ(s.Styles.Fills.size(), 2u);
  EXPECT_EQ(s.Styles.Fills[1].Color, (Rgba{4, 5, 6, 255}));
  ASSERT_EQ(s.Records.size(), 4u);
  const ShapeRecord& r = s.Records[0];
  EXPECT_TRUE(r.HasMove);
  EXPECT_EQ(std::pair(r.MoveX, r.MoveY), std::pair(-5, 7));
  EXPECT_EQ(r.Fill0, 2u);
  EXPECT_EQ(r.Fill1, 1u);
  EXPECT_EQ(r.Line, 1u);
  ASSERT_EQ(r.NewStyles, 0u);
  ASSERT_EQ(s.NewStyles.size(), 1u);
  EXPECT_EQ(s.NewStyles[0].Lines.at(0).Width, 40);
  EXPECT_EQ(s.Records[1].Type, ShapeRecord::Kind::CurvedEdge);
  EXPECT_EQ(std::tuple(s.Records[1].ControlDx, s.Records[1].ControlDy, s.Records[1].AnchorDx,
                       s.Records[1].AnchorDy),
            std::tuple(3, -4, 5, 2));
  EXPECT_EQ(std::pair(s.Records[2].AnchorDx, s.Records[2].AnchorDy), std::pair(0, -9));
  EXPECT_EQ(s.Records[3].Line, 1u);
  EXPECT_FALSE(s.Records[3].Fill0.has_value());
}

TEST(MovieReader, ExtendedStyleCounts)
{
  // 0xFF means 255 fills in DefineShape; from DefineShape2 on it is
  // followed by the real count.
  const std::pair<int, std::size_t> cases[] = {{2, 255}, {22, 300}};
  for (const auto& [code, fills] : cases) {
    TBitWriter w;
    w.U16(4).Rect(0, 10, 0, 10).U8(0xFF);
    if (code != 2)
      w.U16(static_cast<std::uint16_t>(fills));
    for (std::size_t i = 0; i < fills; ++i)
      w.U8(0).U8(static_cast<std::uint8_t>(i)).U8(0).U8(0);
    w.U8(0).Bits(0, 8).Bits(0, 6).Align();
    const auto m = ReadMovie(MovieFile(Join({Tag(code, w.Out), End()})));
    ASSERT_EQ(m->ReadError, "") << code;
    const auto& styles = std::get<Shape>(*m->Find(4)).Styles.Fills;
    ASSERT_EQ(styles.size(), fills) << code;
    EXPECT_EQ(styles.back().Color.R, static_cast<std::uint8_t>(fills - 1));
  }
}

TEST(MovieReader, PlaceObjectForms)
{
  TBitWriter p3; // PlaceObject3: move, blend, cache, visible, a filter, then a colour transform
  p3.U8(0x01 | 0x08).U8(0x01 | 0x02 | 0x04 | 0x20).U16(3);
  p3.Align().Bits(1, 1).Bits(1, 1).Bits(9, 4); // colour transform with alpha
  for (const int v : {128, 256, 256, 64, 10, 0, 0, 0})
    p3.SBits(v, 9);
  p3.Align().U8(1).U8(1); // one blur filter
  for (int i = 0; i < 9; ++i)
    p3.U8(0);
  p3.U8(3).U8(1).U8(0); // multiply, cached, hidden
  const auto m = ReadMovie(
      MovieFile(Join({Tag(4, TBitWriter().U16(5).U16(2).Matrix(20, 40).Out), Place2(4, -1, 7, 8, true, 300),
                      Tag(70, p3.Out), Tag(5, TBitWriter().U16(5).U16(2).Out), ShowFrame()})));
  ASSERT_EQ(m->ReadError, "");
  const auto& changes = m->Root.Frames.at(0).Changes;
  ASSERT_EQ(changes.size(), 4u);
  const auto& a = std::get<PlaceObject>(changes[0]);
  EXPECT_EQ(a.Kind, PlaceObject::Action::Place);
  EXPECT_EQ(std::tuple(*a.Character, a.Depth, a.Transform->Ty), std::tuple(5, 2, 40.0));
  const auto& b = std::get<PlaceObject>(changes[1]);
  EXPECT_EQ(b.Kind, PlaceObject::Action::Modify);
  EXPECT_EQ(b.Ratio, 300);
  const auto& c = std::get<PlaceObject>(changes[2]);
  EXPECT_EQ(c.Kind, PlaceObject::Action::Modify);
  EXPECT_EQ(c.Color->RMul, 0.5);
  EXPECT_EQ(c.Color->AMul, 0.25);
  EXPECT_EQ(c.Color->RAdd, 10);
  EXPECT_EQ(c.Blend, BlendMode::Multiply);
  EXPECT_EQ(c.CacheAsBitmap, true);
  EXPECT_EQ(c.Visible, false);
  EXPECT_EQ(std::get<RemoveObject>(changes[3]).Depth, 2);
}

TEST(MovieReader, FrameActionsAndScript)
{
  struct Case {
    const char* Name;
    TBytes Actions;
    std::vector<FrameAction::Kind> Obeyed;
    bool Scripted;
  };
  const Case cases[] = {
      {"stop and play",
       {0x07, 0x06, 0x04, 0x05},
       {FrameAction::Kind::Stop, FrameAction::Kind::Play, FrameAction::Kind::NextFrame,
        FrameAction::Kind::PreviousFrame},
       false},
      {"goto frame 3", {0x81, 2, 0, 3, 0}, {FrameAction::Kind::GotoFrame}, false},
      {"goto label", {0x8C, 2, 0, 'a', 0}, {FrameAction::Kind::GotoLabel}, false},
      {"constant GotoFrame2",
       {0x96, 5, 0, 7, 4, 0, 0, 0, 0x9F, 1, 0, 1},
       {FrameAction::Kind::GotoFrame},
       false},
      {"trace beside stop", {0x07, 0x96, 3, 0, 0, 'x', 0, 0x26}, {FrameAction::Kind::Stop}, true},
      {"a jump drops them", {0x07, 0x99, 2, 0, 0, 0}, {}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    const auto m = ReadMovie(MovieFile(Join({DoAction(c.Actions), ShowFrame()})));
    ASSERT_EQ(m->ReadError, "");
    std::vector<FrameAction::Kind> kinds;
    for (const FrameAction& a : m->Root.Frames.at(0).Actions)
      kinds.push_back(a.Type);
    EXPECT_EQ(kinds, c.Obeyed);
    EXPECT_EQ(m->Scripted, c.Scripted);
  }
  // Clip event handlers on a placed object are script too, kept with the
  // placement; a damaged list loses the handlers, not the placement.
  const auto clip = ReadMovie(MovieFile(Join(
      {RectShape(1, 20, 20),
       Tag(26, {0x82, 1, 0, 1, 0, 0, 0, 0x01, 0, 0, 0, 0x01, 0, 0, 0, 2, 0, 0, 0, 0x07, 0x00, 0, 0, 0, 0}),
       Tag(26, {0x82, 2, 0, 1, 0, 0, 0, 0, 0, 0}), ShowFrame()})));
  EXPECT_TRUE(clip->Scripted);
  const auto& placed = clip->Root.Frames.at(0).Changes;
  ASSERT_EQ(placed.size(), 2u);
  const auto& handlers = std::get<PlaceObject>(placed[0]).ClipActions;
  ASSERT_EQ(handlers.size(), 1u);
  EXPECT_EQ(handlers[0].Events, ClipLoad);
  EXPECT_EQ(*handlers[0].Actions, (std::vector<std::uint8_t>{0x07, 0x00}));
  EXPECT_TRUE(std::get<PlaceObject>(placed[1]).ClipActions.empty());
  EXPECT_EQ(std::get<PlaceObject>(placed[1]).Depth, 2);
  const auto g =
      ReadMovie(MovieFile(Join({DoAction({0x96, 5, 0, 7, 4, 0, 0, 0, 0x9F, 1, 0, 1}), ShowFrame()})));
  EXPECT_EQ(g->Root.Frames[0].Actions.at(0).Frame, 3u); // frame 4 counted from 1
  EXPECT_TRUE(g->Root.Frames[0].Actions[0].AndPlay);
}

TEST(MovieReader, DecompressionStopsAtTheLimit)
{
  // 4 MiB of zeros after the header, behind a length that claims 4 GiB.
  TBitWriter tags;
  tags.Raw(Tag(77, TBytes(4u << 20, 0), true));
  for (const char sig : {'C', 'Z'}) {
    TBytes file = MovieFile(tags.Out, sig);
    file[4] = file[5] = file[6] = file[7] = 0xFF;
    std::string error;
    EXPECT_EQ(DecompressBody(file, 64u << 10, error).size(), 64u << 10) << sig;
    // Read whole, the body ends where the stream does.
    const auto m = ReadMovie(file);
    EXPECT_EQ(m->SkippedTags.at("Metadata"), 1u) << sig;
  }
}

TEST(MovieReader, HostileShapesAndStages)
{
  // A shape of more edges than the player reads: refused, the rest kept.
  TBitWriter w;
  w.U16(3).Rect(0, 1, 0, 1).U8(0).U8(0).Bits(0, 8);
  for (std::size_t i = 0; i <= MaxShapeRecords; ++i)
    w.Bits(1, 1).Bits(1, 1).Bits(0, 4).Bits(0, 1).Bits(0, 1).SBits(1, 2);
  w.Bits(0, 6);
  const auto big = ReadMovie(MovieFile(Join({RectShape(1, 20, 20), Tag(2, w.Out), End()})));
  EXPECT_NE(big->ReadError.find("too many records"), std::string::npos) << big->ReadError;
  EXPECT_NE(big->Find(1), nullptr);
  EXPECT_EQ(big->Find(3), nullptr);
  // Stages of no, negative and huge size are kept as the file gives them;
  // style indices past the styles are kept for the renderer to ignore.
  for (const std::int32_t side : {0, -100, 100000}) {
    const auto m = ReadMovie(MovieFile(Join({RectShape(1, 20, 20), End()}), 'F', 1, side, side));
    EXPECT_EQ(m->Stage.XMax, side * 20);
  }
}

TEST(MovieReader, FontsAndTextRecords)
{
  // DefineFont2 with two glyphs (a square, an empty one), wide codes and
  // layout; then DefineText whose second record gives only a Y offset and
  // its third only a colour: each inherits the rest.
  TBitWriter glyph;
  glyph.Bits(1, 4).Bits(0, 4).Bits(0, 1).Bits(0b00011, 5).Bits(10, 5).SBits(0, 10).SBits(0, 10).Bits(1, 1);
  glyph.Bits(1, 1).Bits(1, 1).Bits(10, 4).Bits(1, 1).SBits(500, 12).SBits(-500, 12).Bits(0, 6).Align();
  const TBytes square = glyph.Out;
  const TBytes empty{0x10, 0x00};
  TBitWriter font;
  font.U16(7).U8(0x80 | 0x04).U8(0).U8(3).Raw({'A', 'b', 0}).U16(2);
  const std::uint16_t first = 6; // two offsets and the code table offset
  font.U16(first).U16(static_cast<std::uint16_t>(first + square.size()));
  font.U16(static_cast<std::uint16_t>(first + square.size() + empty.size()));
  font.Raw(square).Raw(empty).U16('A').U16(' ').U16(900).U16(200).U16(0).U16(1024).U16(300);
  TBitWriter text;
  text.U16(8).Rect(0, 2000, 0, 600).Matrix(0, 0).U8(1).U8(12);
  text.U8(0x8F).U16(7).U8(10).U8(20).U8(30).U16(100).U16(400).U16(480); // font, colour, x, y, height
  text.U8(2).Bits(0, 1).SBits(300, 12).Bits(1, 1).SBits(250, 12).Align();
  text.U8(0x82).U16(900).U8(1).Bits(1, 1).SBits(-40, 12).Align();        // y only
  text.U8(0x84).U8(1).U8(2).U8(3).U8(1).Bits(0, 1).SBits(0, 12).Align(); // colour only
  text.U8(0);
  const auto m = ReadMovie(MovieFile(Join({Tag(48, font.Out, true), Tag(11, text.Out, true), End()})));
  ASSERT_EQ(m->ReadError, "");
  const Font& f = std::get<Font>(*m->Find(7));
  EXPECT_EQ(f.Name, "Ab");
  ASSERT_EQ(f.Glyphs.size(), 2u);
  EXPECT_EQ(f.Glyphs[0].Records.size(), 2u);
  EXPECT_TRUE(f.Glyphs[1].Records.empty());
  EXPECT_EQ(f.CodeTable, (std::vector<std::uint16_t>{'A', ' '}));
  EXPECT_EQ(f.Advances, (std::vector<std::int16_t>{1024, 300}));
  const Text& t = std::get<Text>(*m->Find(8));
  ASSERT_EQ(t.Records.size(), 3u);
  struct Want {
    Rgba Color;
    std::int32_t X, Y;
  };
  const Want want[] = {
      {{10, 20, 30, 255}, 100, 400}, {{10, 20, 30, 255}, 650, 900}, {{1, 2, 3, 255}, 610, 900}};
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    const TextRecord& r = t.Records[static_cast<std::size_t>(i)];
    EXPECT_EQ(r.FontId, 7);
    EXPECT_EQ(r.Height, 480);
    EXPECT_EQ(r.Color, want[i].Color);
    EXPECT_EQ(std::pair(r.X, r.Y), std::pair(want[i].X, want[i].Y));
  }
  EXPECT_EQ(t.Records[0].Glyphs.at(1).Index, 1u);
  EXPECT_EQ(t.Records[0].Glyphs.at(1).Advance, 250);
}

TEST(MovieReader, EditTextWithTheFontsOutlinesIsLaidOutAsStaticText)
{
  // The font of FontsAndTextRecords: 'A' advances 1024, ' ' 300; ascent
  // 900, descent 200.
  TBitWriter font;
  font.U16(7).U8(0x80 | 0x04).U8(0).U8(1).Raw({'f'}).U16(2);
  font.U16(6).U16(8).U16(10).Raw({0x10, 0x00}).Raw({0x10, 0x00});
  font.U16('A').U16(' ').U16(900).U16(200).U16(0).U16(1024).U16(300);
  const auto edit = [](std::uint16_t Id, std::uint8_t Flags2, const std::string& Text) {
    TBitWriter e;
    e.U16(Id).Rect(-40, 4000, -40, 2000).U8(0x80 | 0x04 | 0x01).U8(Flags2 | 0x20);
    e.U16(7).U16(490).U8(1).U8(2).U8(3).U8(255);             // font, height, colour
    e.U8(0).U16(0).U16(0).U16(0).U16(40).Str("v").Str(Text); // layout: leading 40
    return Tag(37, e.Out, true);
  };
  const auto m = ReadMovie(MovieFile(
      Join({Tag(48, font.Out, true), edit(9, 0x01, "A A\nA"), edit(10, 0x01 | 0x02, "<p>A</p>"), End()})));
  ASSERT_EQ(m->ReadError, "");
  const Text& t = std::get<Text>(*m->Find(9));
  ASSERT_EQ(t.Records.size(), 2u);
  // Two pixels inside the box; the baseline an ascent (900 * 490 / 1024 =
  // 430.7, cut to 430) below, the next line ascent, descent (95.7) and
  // leading lower.
  EXPECT_EQ(std::pair(t.Records[0].X, t.Records[0].Y), std::pair(0, 430));
  EXPECT_EQ(std::pair(t.Records[1].X, t.Records[1].Y), std::pair(0, 430 + 430 + 95 + 40));
  ASSERT_EQ(t.Records[0].Glyphs.size(), 3u);
  EXPECT_EQ(t.Records[0].Glyphs[1].Index, 1u);
  EXPECT_EQ(t.Records[0].Glyphs[1].Advance, 143); // 143.55, cut to whole twips
  EXPECT_EQ(t.Records[0].Color, (Rgba{1, 2, 3, 255}));
  // The same in HTML.
  const Text& html = std::get<Text>(*m->Find(10));
  ASSERT_EQ(html.Records.size(), 1u);
  EXPECT_EQ(std::pair(html.Records[0].X, html.Records[0].Y), std::pair(0, 430));
  EXPECT_EQ(m->SkippedTags.count("DefineEditText"), 0u);
}

TEST(MovieReader, FixtureContainersGiveTheSameMovie)
{
  const auto dir = Fixtures / "ruffle-extra/swf-crate";
  if (!std::filesystem::exists(dir))
    GTEST_SKIP() << "fixtures absent";
  const auto plain = ReadMovieFile((dir / "uncompressed.swf").string());
  for (const char* name : {"zlib.swf", "lzma.swf"}) {
    const auto m = ReadMovieFile((dir / name).string());
    EXPECT_EQ(m->ReadError, "") << name;
    EXPECT_EQ(m->Stage, plain->Stage);
    EXPECT_EQ(m->Dictionary.size(), plain->Dictionary.size());
    EXPECT_EQ(m->SkippedTags, plain->SkippedTags);
  }
  for (const char* name : {"lzma-length-too-large.swf", "lzma-malformed-length.swf"}) {
    // Their length fields lie; the stream itself decides.
    const auto m = ReadMovieFile((dir / name).string());
    EXPECT_EQ(m->Stage, (Rect{0, 11000, 0, 8000})) << name;
  }
}

TEST(MovieReader, EveryFixtureReadsWhole)
{
  if (!std::filesystem::exists(Fixtures / "ruffle"))
    GTEST_SKIP() << "fixtures absent";
  std::set<std::string> broken{"lzma-length-too-large.swf", "lzma-malformed-length.swf"};
  int read = 0;
  // The timeline and tag samples; the script cases hold movies broken on
  // purpose and files that are no movie at all.
  for (const char* folder : {"ruffle", "ruffle-extra", "ruffle-features"}) {
    if (!std::filesystem::exists(Fixtures / folder))
      continue;
    for (const auto& e : std::filesystem::recursive_directory_iterator(Fixtures / folder)) {
      if (e.path().extension() != ".swf" || broken.count(e.path().filename().string()))
        continue;
      SCOPED_TRACE(e.path().string());
      const auto m = ReadMovieFile(e.path().string());
      EXPECT_EQ(m->ReadError, "");
      EXPECT_FALSE(m->Root.Frames.empty() && m->Root.FrameCount > 1);
      Timeline t(m);
      for (std::uint32_t i = 0; i < t.TotalFrames() + 2; ++i)
        t.Advance();
      ++read;
    }
  }
  EXPECT_GT(read, 100);
}

} // namespace
} // namespace quenloft::swf
