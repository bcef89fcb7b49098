// FileReference's argument checks and BitmapData's pixel rules, which the
// shared script cases reach only behind a file dialog or not at all.
#include "swf/avm1/Machine.h"

#include <gtest/gtest.h>

#include <functional>

using namespace quenloft::swf::avm1;

namespace {

class QuietHost final : public Host {
public:
  void Trace(std::string_view) override {}
  void Log(std::string_view Message) override { Notes += std::string(Message) + "\n"; }
  std::string Notes;
};

struct Fixture {
  QuietHost Host;
  Machine M{10, Host};
  Value Member(Value O, std::string_view Name) { return O.ObjectOrNull()->Get(M, M.Intern(Name)); }
  Value Class(std::string_view Package, std::string_view Name)
  {
    return Member(Member(Member(Value(M.Global()), "flash"), Package), Name);
  }
  Value Str(const char* S) { return Value(M.NewString(S)); }
  // { description: D, extension: E } inside an array.
  Value Filters(const char* D, const char* E)
  {
    Object* filter = M.NewObject();
    if (D)
      filter->Set(M, M.Intern("description"), Str(D));
    if (E)
      filter->Set(M, M.Intern("extension"), Str(E));
    const Value item[] = {Value(filter)};
    return M.Construct(Member(Value(M.Global()), "Array"), item);
  }
};

} // namespace

TEST(ServicesTest, FileReferenceRefusesBadArgumentsAndCancelsTheRest)
{
  Fixture f;
  const Value ref = f.M.Construct(f.Class("net", "FileReference"), {});
  ASSERT_TRUE(ref.IsObject());
  struct Case {
    const char* Method;
    std::function<std::vector<Value>(Fixture&)> Args;
    bool Result;
  };
  const Case cases[] = {
      {"browse", [](Fixture&) { return std::vector<Value>{}; }, true},
      {"browse", [](Fixture& F) { return std::vector<Value>{F.Filters("Text", "*.txt")}; }, true},
      {"browse", [](Fixture& F) { return std::vector<Value>{F.Filters("", "*.txt")}; }, false},
      {"browse", [](Fixture& F) { return std::vector<Value>{F.Filters("Text", nullptr)}; }, false},
      {"browse", [](Fixture& F) { return std::vector<Value>{F.Str("*.txt")}; }, false},
      {"download", [](Fixture&) { return std::vector<Value>{}; }, false},
      {"download", [](Fixture& F) { return std::vector<Value>{F.Str("baddomain")}; }, false},
      {"download", [](Fixture& F) { return std::vector<Value>{F.Str("@")}; }, false},
      {"download", [](Fixture& F) { return std::vector<Value>{F.Str("http://example.com/a.txt")}; }, true},
      {"upload", [](Fixture& F) { return std::vector<Value>{F.Str("http://example.com/")}; }, false},
  };
  for (const Case& c : cases) {
    const std::vector<Value> args = c.Args(f);
    EXPECT_EQ(f.M.CallMethod(ref, c.Method, args).ToBoolean(10), c.Result) << c.Method;
  }
  // Whatever was asked for is in the log, and nothing was fetched.
  EXPECT_NE(f.Host.Notes.find("FileReference.download(http://example.com/a.txt)"), std::string::npos);
}

TEST(ServicesTest, BitmapDataPixels)
{
  Fixture f;
  const Value opaqueArgs[] = {Value(4), Value(3), Value(false), Value(0x00112233)};
  const Value opaque = f.M.Construct(f.Class("display", "BitmapData"), opaqueArgs);
  const Value clearArgs[] = {Value(4), Value(3), Value(true), Value(0)};
  const Value clear = f.M.Construct(f.Class("display", "BitmapData"), clearArgs);
  ASSERT_TRUE(opaque.IsObject() && clear.IsObject());
  const auto pixel32 = [&](Value B, int X, int Y) {
    const Value at[] = {Value(X), Value(Y)};
    return f.M.CallMethod(B, "getPixel32", at).ToNumber(f.M);
  };
  const auto set32 = [&](Value B, int X, int Y, double C) {
    const Value args[] = {Value(X), Value(Y), Value(C)};
    f.M.CallMethod(B, "setPixel32", args);
  };
  // An opaque bitmap keeps alpha at 0xFF whatever it is given.
  EXPECT_EQ(pixel32(opaque, 0, 0), static_cast<double>(static_cast<std::int32_t>(0xFF112233u)));
  set32(opaque, 1, 1, 0x10ABCDEF);
  EXPECT_EQ(pixel32(opaque, 1, 1), static_cast<double>(static_cast<std::int32_t>(0xFFABCDEFu)));
  set32(clear, 1, 1, 0x10ABCDEF);
  EXPECT_EQ(pixel32(clear, 1, 1), static_cast<double>(0x10ABCDEF));
  // Outside the bitmap: reads 0, writes go nowhere.
  set32(clear, 4, 0, 0xFFFFFFFF);
  EXPECT_EQ(pixel32(clear, 4, 0), 0);
  EXPECT_EQ(pixel32(clear, -1, 0), 0);
  // A half-transparent source drawn over the opaque one blends evenly.
  set32(clear, 0, 0, 0x80FF0000);
  f.M.CallMethod(opaque, "draw", std::vector<Value>{clear});
  EXPECT_EQ(pixel32(opaque, 0, 0), static_cast<double>(static_cast<std::int32_t>(0xFF881119u)));
  // A disposed bitmap answers -1.
  f.M.CallMethod(opaque, "dispose", {});
  EXPECT_EQ(f.Member(opaque, "width").ToNumber(f.M), -1);
  EXPECT_EQ(pixel32(opaque, 0, 0), -1);
}
