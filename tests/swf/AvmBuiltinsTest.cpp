// The player's built-in objects as script calls them: broadcasters,
// geometry, colour transforms, Stage, ASnative and Math's argument rules.
#include "swf/avm1/Machine.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace {

using namespace quenloft::swf::avm1;

class NullHost final : public Host {
public:
  void Trace(std::string_view) override {}
  void Log(std::string_view) override {}
};

class AvmBuiltins : public ::testing::Test {
protected:
  explicit AvmBuiltins(int Version = 8) : FMachine(Version, FHost) {}

  Value Global(const char* Path)
  {
    Value at(FMachine.Global());
    std::string part;
    for (const char* c = Path;; ++c) {
      if (*c == '.' || *c == 0) {
        at = at.ObjectOrNull()->Get(FMachine, FMachine.Intern(part));
        part.clear();
        if (*c == 0)
          return at;
      } else {
        part.push_back(*c);
      }
    }
  }
  Value New(const char* Class, std::vector<Value> Args = {}) { return FMachine.Construct(Global(Class), Args); }
  Value Call(Value Target, const char* Method, std::vector<Value> Args = {})
  {
    return FMachine.CallMethod(Target, Method, Args);
  }
  Value Get(Value Target, const char* Name) { return Target.ObjectOrNull()->Get(FMachine, FMachine.Intern(Name)); }
  void Set(Value Target, const char* Name, Value V) { Target.ObjectOrNull()->Set(FMachine, FMachine.Intern(Name), V); }
  std::string Text(Value V) { return V.ToText(FMachine); }
  Value Str(const char* S) { return Value(FMachine.NewString(S)); }

  NullHost FHost;
  Machine FMachine;
};

// What listeners heard: "name(arg,...)" per call.
std::vector<std::string> Heard;

Value Record(Machine& M, Object*, std::span<const Value> Args)
{
  std::string line = "onPing(";
  for (std::size_t i = 0; i < Args.size(); ++i)
    line += (i ? "," : "") + Args[i].ToText(M);
  Heard.push_back(line + ")");
  return Value();
}

TEST_F(AvmBuiltins, BroadcasterAddsOnceRemovesAndCalls)
{
  Heard.clear();
  const Value source(FMachine.NewObject());
  Call(Global("AsBroadcaster"), "initialize", {source});
  const Value listener(FMachine.NewObject());
  Set(listener, "onPing", Value(static_cast<Object*>(FMachine.NewNative(Record))));
  EXPECT_TRUE(Call(source, "addListener", {listener}).AsBool());
  EXPECT_TRUE(Call(source, "addListener", {listener}).AsBool()); // already there: not twice
  EXPECT_EQ(Get(Get(source, "_listeners"), "length").AsNumber(), 1);
  EXPECT_TRUE(Call(source, "broadcastMessage", {Str("onPing"), Value(1), Str("a")}).AsBool());
  EXPECT_TRUE(Call(source, "broadcastMessage").IsUndefined());
  EXPECT_TRUE(Call(source, "removeListener", {listener}).AsBool());
  EXPECT_FALSE(Call(source, "removeListener", {listener}).AsBool());
  Call(source, "broadcastMessage", {Str("onPing")});
  EXPECT_EQ(Heard, std::vector<std::string>{"onPing(1,a)"});
  // The methods are the very functions AsBroadcaster holds.
  EXPECT_EQ(Get(source, "addListener").ObjectOrNull(), Get(Global("AsBroadcaster"), "addListener").ObjectOrNull());
  EXPECT_TRUE(Get(Global("Key"), "_listeners").IsObject());
}

TEST_F(AvmBuiltins, GeometryLivesInFlashGeom)
{
  EXPECT_TRUE(Global("Point").IsUndefined());
  const Value p = New("flash.geom.Point", {Value(3), Value(4)});
  EXPECT_EQ(Get(p, "length").AsNumber(), 5);
  EXPECT_EQ(Text(Call(p, "add", {New("flash.geom.Point", {Value(1), Value(2)})})), "(x=4, y=6)");
  EXPECT_EQ(Text(New("flash.geom.Point", {Value(1)})), "(x=1, y=undefined)");
  EXPECT_EQ(Call(Global("flash.geom.Point"), "distance", {p, New("flash.geom.Point")}).AsNumber(), 5);
  Call(p, "normalize", {Value(10)});
  EXPECT_EQ(Text(p), "(x=6, y=8)");
}

TEST_F(AvmBuiltins, RectangleEdgesAndSetOperations)
{
  struct Case {
    std::vector<double> A, B;
    const char* Intersection;
    const char* Union;
  };
  const Case cases[] = {
      {{0, 0, 10, 10}, {5, 5, 10, 10}, "(x=5, y=5, w=5, h=5)", "(x=0, y=0, w=15, h=15)"},
      {{0, 0, 10, 10}, {20, 20, 1, 1}, "(x=0, y=0, w=0, h=0)", "(x=0, y=0, w=21, h=21)"},
      {{0, 0, 10, 10}, {10, 0, 5, 5}, "(x=0, y=0, w=0, h=0)", "(x=0, y=0, w=15, h=10)"}, // touching edges
  };
  const auto rect = [&](const std::vector<double>& R) {
    return New("flash.geom.Rectangle", {Value(R[0]), Value(R[1]), Value(R[2]), Value(R[3])});
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Text(Call(rect(c.A), "intersection", {rect(c.B)})), c.Intersection);
    EXPECT_EQ(Text(Call(rect(c.A), "union", {rect(c.B)})), c.Union);
  }
  const Value r = rect({1, 2, 5, 8});
  Set(r, "left", Value(0));
  Set(r, "bottom", Value(20));
  EXPECT_EQ(Text(r), "(x=0, y=2, w=6, h=18)");
  EXPECT_TRUE(Call(r, "contains", {Value(0), Value(2)}).AsBool());
  EXPECT_FALSE(Call(r, "contains", {Value(6), Value(2)}).AsBool()); // the right edge is outside
  EXPECT_TRUE(Call(r, "contains", {Value(std::nan("")), Value(2)}).IsUndefined());
}

TEST_F(AvmBuiltins, ColorTransformRgbAndConcat)
{
  const Value ct = New("flash.geom.ColorTransform", {Value(0.5), Value(0.5), Value(0.5), Value(0.5), Value(10),
                                                     Value(20), Value(30), Value(40)});
  const Value other = New("flash.geom.ColorTransform", {Value(2), Value(2), Value(2), Value(2), Value(100),
                                                        Value(100), Value(100), Value(100)});
  Call(ct, "concat", {other});
  EXPECT_EQ(Text(ct), "(redMultiplier=1, greenMultiplier=1, blueMultiplier=1, alphaMultiplier=1, "
                      "redOffset=60, greenOffset=70, blueOffset=80, alphaOffset=90)");
  Set(ct, "rgb", Value(0x102030));
  EXPECT_EQ(Get(ct, "rgb").AsNumber(), 0x102030);
  EXPECT_EQ(Get(ct, "redMultiplier").AsNumber(), 0);
  EXPECT_EQ(Get(ct, "alphaMultiplier").AsNumber(), 1);
}

TEST_F(AvmBuiltins, MatrixMapsPoints)
{
  const Value m = New("flash.geom.Matrix");
  Call(m, "scale", {Value(2), Value(3)});
  Call(m, "translate", {Value(10), Value(20)});
  EXPECT_EQ(Text(Call(m, "transformPoint", {New("flash.geom.Point", {Value(1), Value(1)})})), "(x=12, y=23)");
  EXPECT_EQ(Text(Call(m, "deltaTransformPoint", {New("flash.geom.Point", {Value(1), Value(1)})})), "(x=2, y=3)");
  Call(m, "invert");
  EXPECT_EQ(Text(m), "(a=0.5, b=0, c=0, d=0.333333333333333, tx=-5, ty=-6.66666666666667)");
}

TEST_F(AvmBuiltins, StageAlignAndScaleMode)
{
  struct Case {
    const char* Align;
    const char* Reads;
  };
  const Case cases[] = {{"tl", "LT"}, {"BRx", "RB"}, {"", ""}, {"bbtlrr", "LTRB"}};
  const Value stage = Global("Stage");
  for (const Case& c : cases) {
    Set(stage, "align", Str(c.Align));
    EXPECT_EQ(Text(Get(stage, "align")), c.Reads) << c.Align;
  }
  Set(stage, "scaleMode", Str("NOSCALE"));
  EXPECT_EQ(Text(Get(stage, "scaleMode")), "noScale");
  Set(stage, "scaleMode", Str("sideways"));
  EXPECT_EQ(Text(Get(stage, "scaleMode")), "showAll");
  Set(stage, "width", Value(1));
  EXPECT_EQ(Get(stage, "width").AsNumber(), 550);
}

TEST_F(AvmBuiltins, AsNativeTables)
{
  const Value getTime = Call(Value(FMachine.Global()), "ASnative", {Value(103), Value(16)});
  const Value date = New("Date", {Value(1234)});
  Set(date, "t", getTime);
  EXPECT_EQ(Call(date, "t").AsNumber(), 1234);
  EXPECT_TRUE(Call(Value(FMachine.Global()), "ASnative", {Value(103), Value(99)}).IsUndefined());
  // Math's table answers every number, unknown ones with NaN.
  const Value pow = Call(Value(FMachine.Global()), "ASnative", {Value(200), Value(17)});
  EXPECT_EQ(FMachine.Call(pow, nullptr, std::vector<Value>{Value(2), Value(10)}).AsNumber(), 1024);
  const Value unknown = Call(Value(FMachine.Global()), "ASnative", {Value(200), Value(50)});
  EXPECT_TRUE(std::isnan(FMachine.Call(unknown, nullptr, {}).AsNumber()));
  Call(Value(FMachine.Global()), "ASSetNative", {date, Value(103), Str(",,later"), Value(14)});
  EXPECT_EQ(Call(date, "later").AsNumber(), 1234); // the empty names took 14 and 15
}

TEST_F(AvmBuiltins, MathLooksAtTwoArguments)
{
  const Value math = Global("Math");
  EXPECT_EQ(Call(math, "min", {Value(3), Value(2), Value(1)}).AsNumber(), 2);
  EXPECT_EQ(Call(math, "max").AsNumber(), -INFINITY);
  EXPECT_TRUE(std::isnan(Call(math, "min", {Value(1)}).AsNumber()));
  EXPECT_EQ(Call(math, "round", {Value(-2.5)}).AsNumber(), -2);
}

class AvmBuiltinsSwf6 : public AvmBuiltins {
protected:
  AvmBuiltinsSwf6() : AvmBuiltins(6) {}
};

TEST_F(AvmBuiltinsSwf6, MathChecksArityAndFlashIsHidden)
{
  const Value math = Global("Math");
  EXPECT_TRUE(std::isnan(Call(math, "abs").AsNumber()));
  EXPECT_TRUE(std::isnan(Call(math, "pow", {Value(2)}).AsNumber()));
  EXPECT_EQ(Call(math, "pow", {Value(1)}).AsNumber(), 1);
  EXPECT_TRUE(Global("flash").IsUndefined());
  EXPECT_EQ(Text(Get(Global("System.capabilities"), "language")), "en-US");
}

TEST_F(AvmBuiltins, SharedObjectIsKeptInMemory)
{
  const Value so = Call(Global("SharedObject"), "getLocal", {Str("scores")});
  Set(Get(so, "data"), "best", Value(42));
  EXPECT_TRUE(Call(so, "flush").AsBool());
  const Value again = Call(Global("SharedObject"), "getLocal", {Str("scores")});
  EXPECT_EQ(Get(Get(again, "data"), "best").AsNumber(), 42);
  EXPECT_TRUE(Call(Global("SharedObject"), "getLocal", {Str("bad name")}).IsNull());
  EXPECT_EQ(Text(Get(Global("System.capabilities"), "version")).substr(0, 7), "LNX 10,");
}

} // namespace
