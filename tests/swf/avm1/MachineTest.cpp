// The machine on action blocks: names and case, objects and flags, calls,
// exceptions, and every limit ending a block cleanly.
#include "swf/avm1/Array.h"
#include "swf/avm1/Decoder.h"
#include "swf/avm1/Machine.h"
#include "tests/swf/avm1/ActionBuilder.h"

#include <gtest/gtest.h>

#include <optional>

using namespace quenloft::swf::avm1;
using quenloft::swf::avm1::testing::TActions;

namespace {

class RecordingHost final : public Host {
public:
  void Trace(std::string_view Line) override { Lines += std::string(Line) + "\n"; }
  void Log(std::string_view Message) override { Notes += std::string(Message) + "\n"; }
  std::string Lines;
  std::string Notes;
};

struct Outcome {
  std::string Lines;
  std::string Notes;
};

Outcome RunBlock(const TActions& Code, int Version = 8, std::uint64_t Budget = 2'000'000)
{
  RecordingHost host;
  Machine machine(Version, host);
  machine.SetBlockBudget(Budget);
  machine.RunBlock(Decode(Code.Bytes, machine.Atoms(), Version), RunContext{});
  machine.Collect();
  return {host.Lines, host.Notes};
}

} // namespace

TEST(MachineTest, RunsScriptsAsThePlayerDoes)
{
  const struct {
    const char* What;
    TActions Code;
    int Version;
    const char* Lines;
  } rows[] = {
      {"add of strings and numbers", TActions().Str("a").Int(1).Op(0x47).Trace(), 7, "a1\n"},
      {"numbers add", TActions().Int(2).Int(3).Op(0x47).Trace(), 7, "5\n"},
      {"undefined traces by name", TActions().Undefined().Trace(), 6, "undefined\n"},
      {"names ignore case before SWF 7", TActions().SetVar("Foo", 3).GetVar("foo").Trace(), 6, "3\n"},
      {"names keep case from SWF 7", TActions().SetVar("Foo", 3).GetVar("foo").Trace(), 7, "undefined\n"},
      {"typeof", TActions().Str("Math").Op(0x1C).Op(0x44).Trace(), 7, "object\n"},
      {"a function's result",
       TActions().Function("f", TActions().Int(9).Op(0x3E)).Call("f").Trace(), 7, "9\n"},
      {"string methods", TActions().Int(0).Str("abc").Str("toUpperCase").Op(0x52).Trace(), 7, "ABC\n"},
      {"a caught throw",
       TActions()
           .Op(0x8F, {0x01, 7, 0, 7, 0, 0, 0, 'e', 0}) // try 7 bytes, catch 7, into "e"
           .Str("x")
           .Op(0x2A) // try: throw "x"
           .Str("e")
           .Op(0x1C) // catch: trace(e)
           .Trace(),
       7, "x\n"},
      {"an array's length and join",
       TActions().Int(3).Int(2).Int(1).Int(3).Op(0x42).Op(0x4C).Str("length").Op(0x4E).Trace().Trace(), 7,
       "3\n1,2,3\n"},
  };
  for (const auto& r : rows)
    EXPECT_EQ(RunBlock(r.Code, r.Version).Lines, r.Lines) << r.What;
}

TEST(MachineTest, EveryLimitEndsTheBlockAndTheMachineGoesOn)
{
  // s = "ab"; loop: s = s + s
  TActions doubling;
  doubling.Str("s").Str("ab").Op(0x1D);
  TActions step;
  step.Str("s").GetVar("s").GetVar("s").Op(0x47).Op(0x1D);
  doubling.Bytes.insert(doubling.Bytes.end(), step.Bytes.begin(), step.Bytes.end());
  doubling.Branch(0x99, static_cast<std::int16_t>(-(static_cast<int>(step.Bytes.size()) + 5)));
  // function f() { f(); } f();
  TActions recursion;
  recursion.Function("f", TActions().Call("f")).Call("f");
  const struct {
    const char* What;
    TActions Code;
    const char* Note;
  } rows[] = {
      {"an endless loop", TActions().Branch(0x99, -5), "ran longer"},
      {"endless recursion", recursion, "256 levels of recursion"},
      {"a doubling string", doubling, "string longer"},
      // new Array(2147483647).join(): the length alone costs nothing, walking it does.
      {"a huge array", TActions().Int(0).Int(2147483647).Int(1).Str("Array").Op(0x40).Str("join").Op(0x52),
       "array longer"},
      {"an uncaught throw", TActions().Str("oops").Op(0x2A), "nobody caught"},
  };
  for (const auto& r : rows) {
    const Outcome o = RunBlock(TActions(r.Code).Str("after").Trace(), 8, 5'000'000);
    EXPECT_NE(o.Notes.find(r.Note), std::string::npos) << r.What << ": " << o.Notes;
    EXPECT_EQ(o.Lines, "") << r.What << ": the block ends there";
  }
}

TEST(MachineTest, DamagedBlocksDecodeUpToTheDamage)
{
  RecordingHost host;
  Machine machine(8, host);
  const struct {
    const char* What;
    std::vector<std::uint8_t> Bytes;
    bool Damaged;
  } rows[] = {
      {"length past the end", {0x96, 0x20, 0x00, 0x00}, true},
      {"unknown push type", {0x96, 0x02, 0x00, 0x0B, 0x00}, true},
      {"function body past the end", {0x9B, 0x05, 0x00, 'f', 0, 0, 0, 0x40, 0x00}, true},
      {"jump far outside", {0x99, 0x02, 0x00, 0x00, 0x70, 0x26}, false},
      {"constant beyond the pool", {0x96, 0x02, 0x00, 0x08, 0x09, 0x26}, false},
      {"empty", {}, false},
  };
  for (const auto& r : rows) {
    const auto block = Decode(r.Bytes, machine.Atoms(), 8);
    EXPECT_EQ(!block->Error.empty(), r.Damaged) << r.What << ": " << block->Error;
    ASSERT_FALSE(block->Actions.empty()) << r.What;
    machine.RunBlock(block, RunContext{});
  }
  EXPECT_EQ(host.Lines, "undefined\n") << "only the constant-pool case traces";
  // A thousand nested function definitions stop decoding, not the stack.
  std::vector<std::uint8_t> nested;
  for (int i = 0; i < 1000; ++i) {
    const std::vector<std::uint8_t> head{0x9B, 0x05, 0x00, 0, 0, 0, 0, 0};
    nested.insert(nested.end(), head.begin(), head.end());
  }
  // Each declares a body of all that follows it.
  for (int i = 0; i < 1000; ++i) {
    const std::size_t at = static_cast<std::size_t>(i) * 8;
    const std::size_t rest = nested.size() - at - 8;
    nested[at + 6] = static_cast<std::uint8_t>(rest);
    nested[at + 7] = static_cast<std::uint8_t>(rest >> 8);
  }
  const auto deep = Decode(nested, machine.Atoms(), 8);
  EXPECT_NE(deep->Error.find("nested"), std::string::npos) << deep->Error;
  machine.RunBlock(deep, RunContext{});
}

TEST(MachineTest, PropertyFlagsGettersAndWatchers)
{
  RecordingHost host;
  Machine m(8, host);
  Object* o = m.NewObject();
  const Atom a = m.Intern("a");
  const Atom b = m.Intern("b");
  o->Define(m, a, Value(1), ReadOnly | DontDelete);
  o->Set(m, a, Value(2));
  EXPECT_EQ(o->Get(m, a).AsNumber(), 1) << "read-only";
  EXPECT_FALSE(o->Delete(m, a)) << "don't delete";
  o->Define(m, b, Value(3), DontEnum);
  o->Set(m, m.Intern("c"), Value(4));
  o->Set(m, m.Intern("d"), Value(5));
  std::vector<std::string> names;
  for (Atom n : o->EnumerableNames(m))
    names.emplace_back(m.Atoms().View(n));
  EXPECT_EQ(names, (std::vector<std::string>{"d", "c", "a"})) << "newest first, b hidden";
  // A property of SWF 8 is hidden from SWF 7 movies.
  Machine v7(7, host);
  Object* p = v7.NewObject();
  p->Define(v7, v7.Intern("x"), Value(1), OnlySwf8);
  EXPECT_TRUE(p->Get(v7, v7.Intern("x")).IsUndefined());
  EXPECT_FALSE(HiddenFrom(OnlySwf8, 8));
  EXPECT_TRUE(HiddenFrom(OnlySwf6, 5));
  // A prototype cycle ends the block that looks a name up through it.
  Object* q = m.NewObject();
  q->SetProto(q);
  EXPECT_THROW(q->Get(m, m.Intern("missing")), ScriptAbort);
}

TEST(MachineTest, ArrayIndexNamesWrapTo32Bits)
{
  const struct {
    const char* Name;
    std::optional<std::int32_t> Index;
  } rows[] = {
      {"0", 0},           {"17", 17},         {" 5", 5},   {"-5", -5},
      {"+3", 3},          {"4294967295", -1}, {"2147483648", -2147483647 - 1},
      {"", std::nullopt}, {"1a", std::nullopt}, {"length", std::nullopt}, {"-", std::nullopt},
  };
  for (const auto& r : rows)
    EXPECT_EQ(ArrayIndexOf(r.Name), r.Index) << r.Name;
}

TEST(MachineTest, ArrayElementsAreOrdinaryProperties)
{
  RecordingHost host;
  Machine m(8, host);
  const auto names = [&](Object* O) {
    std::string out;
    for (Atom n : O->EnumerableNames(m))
      out += std::string(m.Atoms().View(n)) + ",";
    return out;
  };
  const auto length = [&](Object* O) { return O->Get(m, m.A.Length).ToText(m); };
  Object* a = m.NewArray();
  a->Set(m, m.Intern("1"), Value(1));
  a->Set(m, m.Intern("foo"), Value(2));
  a->Set(m, m.Intern("4"), Value(3));
  EXPECT_EQ(length(a), "5") << "an index past the end moves length";
  EXPECT_EQ(names(a), "4,foo,1,") << "holes are not listed; newest first";
  a->Set(m, m.A.Length, Value(2));
  EXPECT_EQ(names(a), "foo,1,") << "a shorter length deletes what is past it";
  a->Set(m, m.Intern("-3"), Value(4));
  EXPECT_EQ(length(a), "2") << "a negative index is an ordinary name";

  // The methods read stored data, not getters: push counts from the stored
  // length even when a getter answers for `length`.
  Object* b = m.NewArray(std::vector<Value>{Value(1), Value(2), Value(3)});
  auto* ten = m.NewNative([](Machine&, Object*, std::span<const Value>) { return Value(10); });
  b->DefineAccessor(m, m.A.Length, ten, nullptr, DontEnum | DontDelete);
  EXPECT_EQ(length(b), "10");
  const Value pushed[] = {Value(4)};
  EXPECT_EQ(m.CallMethod(Value(b), "push", pushed).ToText(m), "4");

  // The methods are generic: they work on any object with a length.
  Object* o = m.NewObject();
  o->Set(m, m.A.Length, Value(2));
  o->Set(m, m.Intern("0"), Value(m.NewString("x")));
  const Value join[] = {Value(m.NewString("-"))};
  EXPECT_EQ(m.Call(m.Prototype("Array")->Get(m, m.Intern("join")), o, join).ToText(m), "x-undefined");
}

TEST(MachineTest, ExternalInterfaceReachesNoPage)
{
  RecordingHost host;
  Machine m(8, host);
  const auto member = [&](Value O, const char* Name) { return O.ObjectOrNull()->Get(m, m.Intern(Name)); };
  const Value bridge = member(member(member(Value(m.Global()), "flash"), "external"), "ExternalInterface");
  ASSERT_TRUE(bridge.IsObject());
  EXPECT_FALSE(member(bridge, "available").ToBoolean(8));
  const Value args[] = {Value(m.NewString("alert")), Value(m.NewString("hi"))};
  EXPECT_TRUE(m.CallMethod(bridge, "call", args).IsNull());
  EXPECT_FALSE(m.CallMethod(bridge, "addCallback", args).ToBoolean(8));
  EXPECT_NE(host.Notes.find("ExternalInterface.call(alert)"), std::string::npos) << host.Notes;
}
