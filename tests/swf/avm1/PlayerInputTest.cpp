// The pointer and the keys reaching a movie: a button's transitions in the
// player's order, key presses, clip events and the Key object's state, and
// the inverse matrices the pointer's hit tests rest on.
#include "swf/MovieReader.h"
#include "swf/avm1/HitTest.h"
#include "swf/avm1/Player.h"
#include "tests/swf/MovieBuilder.h"
#include "tests/swf/avm1/ActionBuilder.h"
#include "tests/swf/avm1/InputScript.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace quenloft::swf;
using namespace quenloft::swf::test;
using quenloft::swf::avm1::testing::TActions;

namespace {

TBytes Traced(const std::string& Text)
{
  TBytes b = TActions().Str(Text).Trace().Bytes;
  b.push_back(0);
  return b;
}

// DefineButton2 2: shape 1 as its up and hit states, and one condition
// record per (flags, trace text).
TBytes ButtonTag(const std::vector<std::pair<std::uint16_t, std::string>>& Conditions)
{
  TBitWriter w;
  w.U16(2).U8(0).U16(Conditions.empty() ? 0 : 12); // 12: the records' size from the offset field on
  w.U8(0x09).U16(1).U16(1).Matrix(0, 0).U8(0);     // up + hit, shape 1, depth 1, no colour change
  w.U8(0);
  for (std::size_t i = 0; i < Conditions.size(); ++i) {
    const TBytes actions = Traced(Conditions[i].second);
    const bool last = i + 1 == Conditions.size();
    w.U16(last ? 0 : static_cast<std::uint16_t>(4 + actions.size()));
    w.U8(static_cast<std::uint8_t>(Conditions[i].first))
        .U8(static_cast<std::uint8_t>(Conditions[i].first >> 8));
    w.Raw(actions);
  }
  return Tag(34, w.Out);
}

// PlaceObject2 of sprite Character at Depth with onClipEvent handlers.
TBytes PlaceWithEvents(std::uint16_t Depth, std::uint16_t Character,
                       const std::vector<std::pair<std::uint32_t, TBytes>>& Handlers)
{
  TBitWriter w;
  w.U8(0x80 | 0x02 | 0x04).U16(Depth).U16(Character).Matrix(0, 0);
  std::uint32_t all = 0;
  for (const auto& h : Handlers)
    all |= h.first;
  w.U16(0).U32(all);
  for (const auto& [events, actions] : Handlers) {
    TBytes body = actions;
    body.push_back(0);
    w.U32(events).U32(static_cast<std::uint32_t>(body.size())).Raw(body);
  }
  w.U32(0);
  return Tag(26, w.Out);
}

std::string PlayWithInput(const TBytes& Tags, const std::string& Input)
{
  std::string out;
  avm1::PlayerOutput output;
  output.Trace = [&out](std::string_view Line) { out += std::string(Line) + "\n"; };
  avm1::Player player(ReadMovie(MovieFile(Tags, 'F', 1, 100, 100, 8)), output);
  const auto steps = avm1::conformance::ParseInputScript(Input);
  for (std::size_t next = 0; next < steps.size();)
    next = avm1::conformance::PlayInputFrame(player, steps, next);
  return out;
}

std::string Move(int X, int Y)
{
  return R"({"type": "MouseMove", "pos": [)" + std::to_string(X) + ", " + std::to_string(Y) + "]},";
}
std::string Down(int X, int Y)
{
  return R"({"type": "MouseDown", "btn": "Left", "pos": [)" + std::to_string(X) + ", " + std::to_string(Y) +
         "]},";
}
std::string Up(int X, int Y)
{
  return R"({"type": "MouseUp", "btn": "Left", "pos": [)" + std::to_string(X) + ", " + std::to_string(Y) +
         "]},";
}
std::string List(const std::string& Events)
{
  return "[" + Events + R"({"type": "Wait"}])";
}

} // namespace

TEST(PlayerInputTest, ButtonHearsTheTransitionsInOrder)
{
  // A 40 x 40 pixel button at (10, 10).
  const TBytes tags = Join({RectShape(1, 800, 800),
                            ButtonTag({{1u << 0, "over"},
                                       {1u << 1, "out"},
                                       {1u << 2, "press"},
                                       {1u << 3, "release"},
                                       {1u << 4, "dragOut"},
                                       {1u << 5, "dragOver"},
                                       {1u << 6, "releaseOutside"},
                                       {13u << 9, "enter"}}),
                            Place2(1, 2, 200, 200), ShowFrame()});
  const struct {
    const char* What;
    std::string Input;
    const char* Lines;
  } rows[] = {
      {"a click", Move(20, 20) + Down(20, 20) + Up(20, 20) + Move(80, 80), "over\npress\nrelease\nout\n"},
      {"pressed, dragged off and let go", Move(20, 20) + Down(20, 20) + Move(80, 80) + Up(80, 80),
       "over\npress\ndragOut\nreleaseOutside\n"},
      {"dragged off and back", Move(20, 20) + Down(20, 20) + Move(80, 80) + Move(30, 30) + Up(30, 30),
       "over\npress\ndragOut\ndragOver\nrelease\n"},
      {"pressed elsewhere, let go over it", Down(80, 80) + Move(20, 20) + Up(20, 20), "dragOver\nover\n"},
      {"moves that miss it", Move(5, 5) + Move(55, 20) + Down(55, 20) + Up(55, 20), ""},
      {"a move within it is no new roll-over", Move(20, 20) + Move(21, 21), "over\n"},
      {"its key, wherever the pointer is", R"({"type": "KeyDown", "key": "Enter"},)", "enter\n"},
      {"another key", R"({"type": "KeyDown", "key": "Escape"},)", ""},
  };
  for (const auto& r : rows)
    EXPECT_EQ(PlayWithInput(tags, List(r.Input)), r.Lines) << r.What;
}

TEST(PlayerInputTest, ClipEventsAndKeyState)
{
  // trace(Key.isDown(65)); trace(Key.getCode()); trace(Key.isToggled(20))
  const TActions state = TActions()
                             .Int(65)
                             .Int(1)
                             .GetVar("Key")
                             .Str("isDown")
                             .Op(0x52)
                             .Trace()
                             .Int(0)
                             .GetVar("Key")
                             .Str("getCode")
                             .Op(0x52)
                             .Trace()
                             .Int(20)
                             .Int(1)
                             .GetVar("Key")
                             .Str("isToggled")
                             .Op(0x52)
                             .Trace();
  const TBytes tags = Join({SpriteTag(3, 1, ShowFrame()),
                            PlaceWithEvents(1, 3,
                                            {{ClipKeyDown, TActions().Str("keyDown").Trace().Bytes},
                                             {ClipKeyUp, TActions().Str("keyUp").Trace().Bytes},
                                             {ClipMouseDown, TActions().Str("mouseDown").Trace().Bytes},
                                             {ClipMouseUp, TActions().Str("mouseUp").Trace().Bytes},
                                             {ClipKeyDown | ClipKeyUp, state.Bytes}}),
                            ShowFrame()});
  const struct {
    const char* What;
    std::string Input;
    const char* Lines;
  } rows[] = {
      {"a key held and let go",
       R"({"type": "KeyDown", "key": {"Char": "a"}}, {"type": "KeyUp", "key": {"Char": "a"}},)",
       "keyDown\ntrue\n65\nfalse\nkeyUp\nfalse\n65\nfalse\n"},
      {"caps lock toggles on its press",
       R"({"type": "KeyDown", "key": "CapsLock"}, {"type": "KeyUp", "key": "CapsLock"},)",
       "keyDown\nfalse\n20\ntrue\nkeyUp\nfalse\n20\ntrue\n"},
      {"the mouse button anywhere", Down(90, 90) + Up(1, 1), "mouseDown\nmouseUp\n"},
      {"a right click is no mouseDown", R"({"type": "MouseDown", "btn": "Right", "pos": [5, 5]},)", ""},
  };
  for (const auto& r : rows)
    EXPECT_EQ(PlayWithInput(tags, List(r.Input)), r.Lines) << r.What;
}

TEST(PlayerInputTest, InverseUndoesTheMatrix)
{
  const Matrix rows[] = {
      {},
      {2, 0, 0, 0.5, 100, -40},
      {0.6, 0.8, -0.8, 0.6, 3, 4},
      {1, 2, 3, 4, -7, 9},
  };
  const Point p{123, -45};
  for (const Matrix& m : rows) {
    const auto inverse = avm1::Inverse(m);
    ASSERT_TRUE(inverse);
    const Point back = inverse->Apply(m.Apply(p));
    EXPECT_NEAR(back.X, p.X, 1e-9);
    EXPECT_NEAR(back.Y, p.Y, 1e-9);
  }
  EXPECT_FALSE(avm1::Inverse(Matrix{1, 2, 2, 4, 0, 0})) << "a matrix that squashes the plane flat";
}

TEST(PlayerInputTest, FocusMovesBetweenClips)
{
  const auto selection = [](const std::string& Method, TActions Args, int Count) {
    return Args.Int(Count).GetVar("Selection").Str(Method).Op(0x52).Trace();
  };
  TActions a;
  a.Function("onSet", TActions().Str("set").Trace()).Function("onKill", TActions().Str("kill").Trace());
  a.GetVar("kid").Str("onSetFocus").GetVar("onSet").Op(0x4F);
  a.GetVar("kid").Str("onKillFocus").GetVar("onKill").Op(0x4F);
  const auto append = [&a](const TActions& Step) {
    a.Bytes.insert(a.Bytes.end(), Step.Bytes.begin(), Step.Bytes.end());
  };
  append(selection("setFocus", TActions().GetVar("kid"), 1));
  a.GetVar("kid").Str("focusEnabled").Int(1).Op(0x4F);
  for (const TActions& step :
       {selection("setFocus", TActions().GetVar("kid"), 1), selection("getFocus", {}, 0),
        selection("setFocus", TActions().GetVar("kid"), 1),
        selection("setFocus", TActions().Op(0x96, {2}), 1), selection("getFocus", {}, 0),
        selection("setFocus", TActions().GetVar("_root"), 1)})
    a.Bytes.insert(a.Bytes.end(), step.Bytes.begin(), step.Bytes.end());
  const TBytes tags = Join({SpriteTag(3, 1, ShowFrame()),
                            Tag(26, TBitWriter().U8(0x26).U16(1).U16(3).Matrix(0, 0).Str("kid").Out),
                            DoAction(a.Bytes), ShowFrame()});
  // Not focusable until focusEnabled; handlers only when the focus moves;
  // the root never takes it.
  EXPECT_EQ(PlayWithInput(tags, "[]"), "false\nset\ntrue\n_level0.kid\ntrue\nkill\ntrue\nnull\nfalse\n");
}

TEST(PlayerInputTest, ButtonObjectsTakeKeysAndTabs)
{
  // Buttons b1 at (10, 10) and b2 at (60, 10); b1 has the focus, a handler
  // for its keys, b2 one for taking the focus.
  const auto placeNamed = [](std::uint16_t Depth, std::int32_t Tx, const std::string& Name) {
    return Tag(26, TBitWriter().U8(0x26).U16(Depth).U16(2).Matrix(Tx, 200).Str(Name).Out);
  };
  TActions a;
  a.GetVar("b1").Op(0x44).Trace();
  a.Function("kd", TActions().Str("b1 key").Trace()).Function("sf", TActions().Str("b2 focus").Trace());
  a.GetVar("b1").Str("onKeyDown").GetVar("kd").Op(0x4F);
  a.GetVar("b2").Str("onSetFocus").GetVar("sf").Op(0x4F);
  a.GetVar("b1").Int(1).GetVar("Selection").Str("setFocus").Op(0x52).Op(0x17);
  const TBytes tags = Join({RectShape(1, 800, 800), ButtonTag({{1u << 2, "press"}, {1u << 3, "release"}}),
                            placeNamed(1, 200, "b1"), placeNamed(2, 1200, "b2"), DoAction(a.Bytes), ShowFrame()});
  const std::string key = R"({"type": "KeyDown", "key": {"Char": "a"}},)";
  const struct {
    const char* What;
    std::string Input;
    const char* Lines;
  } rows[] = {
      {"no input", "", "object\n"},
      {"a key reaches the focused button", key, "object\nb1 key\n"},
      {"Tab: the key, then the focus moves right", R"({"type": "KeyDown", "key": "Tab"},)",
       "object\nb1 key\nb2 focus\n"},
      {"Enter presses and releases it", R"({"type": "KeyDown", "key": "Enter"},)",
       "object\nb1 key\npress\nrelease\n"},
      {"after the mouse moves keys no longer reach it", Move(90, 90) + key, "object\n"},
  };
  for (const auto& r : rows)
    EXPECT_EQ(PlayWithInput(tags, List(r.Input)), r.Lines) << r.What;
}
