// Decoding runs in two passes: the first reads every action and notes the
// byte offset each starts at; the second turns byte offsets (jumps, function
// bodies, with and try ranges) into action indices.
#include "swf/avm1/Decoder.h"

#include "swf/TagReader.h"
#include "swf/avm1/Limits.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>

namespace quenloft::swf::avm1 {

namespace {

// Movies before SWF 6 hold text in the system's code page; Latin-1 is the
// one their authors almost always used.
// Later movies hold UTF-8, where a byte that is not part of a character
// reads as U+FFFD.
std::string ToUtf8(std::string Text, int Version)
{
  bool plain = true;
  for (unsigned char c : Text)
    if (c >= 0x80)
      plain = false;
  if (plain)
    return Text;
  if (Version >= 6)
    return ValidUtf8(Text);
  std::string out;
  out.reserve(Text.size() * 2);
  for (unsigned char c : Text) {
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
    } else {
      out.push_back(static_cast<char>(0xC0 | (c >> 6)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
  }
  return out;
}

double ReadDouble(TTagReader& R)
{
  // Two little-endian words, the high word first.
  const std::uint64_t hi = R.U32();
  const std::uint64_t lo = R.U32();
  const std::uint64_t bits = hi << 32 | lo;
  double d;
  std::memcpy(&d, &bits, sizeof d);
  return d;
}

struct Fixup {
  enum class Kind : std::uint8_t { ActionA, FunctionEnd, TryEnd, CatchEnd, FinallyEnd };
  Kind Type;
  std::size_t Index;      // the action, function or try entry
  std::int64_t Offset;    // the byte offset it refers to
};

class TDecoder {
public:
  TDecoder(std::span<const std::uint8_t> Bytes, AtomTable& Atoms, int Version)
      : FBytes(Bytes), FAtoms(Atoms), FVersion(Version)
  {
    FBlock->Version = Version;
  }

  std::shared_ptr<const ActionBlock> Run();

private:
  void ReadAction(TTagReader& R, std::uint8_t Code, TTagReader& Data, std::size_t End);
  Atom Name(TTagReader& R) { return FAtoms.Intern(ToUtf8(R.String(), FVersion)); }
  std::uint32_t Resolve(std::int64_t Offset) const;

  std::span<const std::uint8_t> FBytes;
  AtomTable& FAtoms;
  int FVersion;
  std::shared_ptr<ActionBlock> FBlock = std::make_shared<ActionBlock>();
  std::vector<std::size_t> FOffsets; // byte offset of each action
  std::unordered_map<std::size_t, std::uint32_t> FIndexOf;
  std::vector<Fixup> FFixups;
  std::vector<std::size_t> FOpenBodies; // byte ends of enclosing function bodies
};

std::uint32_t TDecoder::Resolve(std::int64_t Offset) const
{
  if (Offset < 0)
    return EndOfBlock;
  const auto it = FIndexOf.find(static_cast<std::size_t>(Offset));
  if (it != FIndexOf.end())
    return it->second;
  // At or past the last action: the block's end.
  if (!FOffsets.empty() && static_cast<std::size_t>(Offset) >= FOffsets.back())
    return static_cast<std::uint32_t>(FBlock->Actions.size() - 1);
  return EndOfBlock;
}

void TDecoder::ReadAction(TTagReader& R, std::uint8_t Code, TTagReader& D, std::size_t End)
{
  ActionBlock& b = *FBlock;
  Action a;
  a.Code = Code;
  const std::size_t index = b.Actions.size();
  switch (Code) {
  case 0x81: a.A = D.U16(); break;                 // GotoFrame
  case 0x83:                                       // GetURL
    a.A = Name(D);
    a.B = Name(D);
    break;
  case 0x8A:                                       // WaitForFrame
    a.A = D.U16();
    a.B = D.U8();
    break;
  case 0x8B: a.A = Name(D); break;                 // SetTarget
  case 0x8C: a.A = Name(D); break;                 // GotoLabel
  case 0x8D: a.B = D.U8(); break;                  // WaitForFrame2
  case 0x87: a.A = D.U8(); break;                  // StoreRegister
  case 0x9A: a.Flags = D.U8(); break;              // GetURL2
  case 0x9F:                                       // GotoFrame2
    a.Flags = D.U8();
    if (a.Flags & 0x02)
      a.Extra = D.U16();
    break;
  case 0x88: {                                     // ConstantPool
    const std::uint16_t count = D.U16();
    std::vector<Atom> pool;
    pool.reserve(std::min<std::size_t>(count, D.Remaining()));
    for (std::uint16_t i = 0; i < count && !D.AtEnd(); ++i)
      pool.push_back(Name(D));
    a.A = static_cast<std::uint32_t>(b.Pools.size());
    b.Pools.push_back(std::move(pool));
    break;
  }
  case 0x96: {                                     // Push
    a.A = static_cast<std::uint32_t>(b.Pushes.size());
    while (!D.AtEnd()) {
      PushItem item;
      switch (D.U8()) {
      case 0: item.Data = Value(FAtoms.Text(Name(D))); break;
      case 1: {
        const std::uint32_t bits = D.U32();
        float f;
        std::memcpy(&f, &bits, sizeof f);
        item.Data = Value(static_cast<double>(f));
        break;
      }
      case 2: item.Data = Value::Null(); break;
      case 3: break;
      case 4:
        item.Type = PushItem::Kind::Register;
        item.Index = D.U8();
        break;
      case 5: item.Data = Value(D.U8() != 0); break;
      case 6: item.Data = Value(ReadDouble(D)); break;
      case 7: item.Data = Value(static_cast<double>(static_cast<std::int32_t>(D.U32()))); break;
      case 8:
        item.Type = PushItem::Kind::Constant;
        item.Index = D.U8();
        break;
      case 9:
        item.Type = PushItem::Kind::Constant;
        item.Index = D.U16();
        break;
      default: throw ETagError("a push of an unknown type");
      }
      b.Pushes.push_back(item);
    }
    a.B = static_cast<std::uint32_t>(b.Pushes.size()) - a.A;
    break;
  }
  case 0x99:                                       // Jump
  case 0x9D:                                       // If
    FFixups.push_back({Fixup::Kind::ActionA, index, static_cast<std::int64_t>(End) + D.S16()});
    break;
  case 0x94: {                                     // With
    const std::uint16_t size = D.U16();
    FFixups.push_back({Fixup::Kind::ActionA, index, static_cast<std::int64_t>(End) + size});
    break;
  }
  case 0x9B:                                       // DefineFunction
  case 0x8E: {                                     // DefineFunction2
    FunctionCode f;
    f.Version2 = Code == 0x8E;
    f.Name = Name(D);
    const std::uint16_t params = D.U16();
    if (f.Version2) {
      f.RegisterCount = D.U8();
      f.Flags = D.U16();
    }
    for (std::uint16_t i = 0; i < params; ++i) {
      FunctionParam p;
      if (f.Version2)
        p.Register = D.U8();
      p.Name = Name(D);
      f.Params.push_back(p);
    }
    const std::uint16_t size = D.U16();
    if (End + size > FBytes.size())
      throw ETagError("a function body runs past the block");
    while (!FOpenBodies.empty() && FOpenBodies.back() <= End)
      FOpenBodies.pop_back();
    if (static_cast<int>(FOpenBodies.size()) >= MaxFunctionNesting)
      throw ETagError("functions nested too deeply");
    FOpenBodies.push_back(End + size);
    f.Start = static_cast<std::uint32_t>(index + 1);
    a.A = static_cast<std::uint32_t>(b.Functions.size());
    FFixups.push_back({Fixup::Kind::FunctionEnd, b.Functions.size(), static_cast<std::int64_t>(End + size)});
    b.Functions.push_back(std::move(f));
    break;
  }
  case 0x8F: {                                     // Try
    TryCode t;
    const std::uint8_t flags = D.U8();
    t.HasCatch = flags & 0x01;
    t.HasFinally = flags & 0x02;
    t.CatchInRegister = flags & 0x04;
    const std::uint16_t trySize = D.U16();
    const std::uint16_t catchSize = D.U16();
    const std::uint16_t finallySize = D.U16();
    if (t.CatchInRegister)
      t.Register = D.U8();
    else
      t.Name = Name(D);
    const std::size_t tryEnd = End + trySize;
    const std::size_t catchEnd = tryEnd + catchSize;
    const std::size_t finallyEnd = catchEnd + finallySize;
    a.A = static_cast<std::uint32_t>(b.Trys.size());
    FFixups.push_back({Fixup::Kind::TryEnd, b.Trys.size(), static_cast<std::int64_t>(tryEnd)});
    FFixups.push_back({Fixup::Kind::CatchEnd, b.Trys.size(), static_cast<std::int64_t>(catchEnd)});
    FFixups.push_back({Fixup::Kind::FinallyEnd, b.Trys.size(), static_cast<std::int64_t>(finallyEnd)});
    b.Trys.push_back(t);
    break;
  }
  default: break;
  }
  (void)R;
  b.Actions.push_back(a);
}

std::shared_ptr<const ActionBlock> TDecoder::Run()
{
  ActionBlock& b = *FBlock;
  TTagReader r(FBytes);
  while (!r.AtEnd()) {
    const std::size_t at = r.Position();
    try {
      const std::uint8_t code = r.U8();
      if (code == 0)
        break;
      TTagReader data(std::span<const std::uint8_t>{});
      if (code >= 0x80) {
        const std::uint16_t length = r.U16();
        if (length > r.Remaining())
          throw ETagError("an action's length runs past the block");
        data = r.Sub(length);
      }
      FIndexOf.emplace(at, static_cast<std::uint32_t>(b.Actions.size()));
      FOffsets.push_back(at);
      ReadAction(r, code, data, r.Position());
    } catch (const ETagError& e) {
      b.Error = std::string(e.what()) + " at byte " + std::to_string(at);
      if (FOffsets.size() > b.Actions.size())
        FOffsets.pop_back();
      FIndexOf.erase(at);
      break;
    }
  }
  // The end: every jump to or past it lands here.
  const std::size_t endAt = b.Error.empty() ? r.Position() : FBytes.size();
  FIndexOf.emplace(endAt, static_cast<std::uint32_t>(b.Actions.size()));
  FOffsets.push_back(endAt);
  b.Actions.push_back(Action{});
  const auto end = static_cast<std::uint32_t>(b.Actions.size() - 1);
  for (const Fixup& f : FFixups) {
    std::uint32_t target = Resolve(f.Offset);
    switch (f.Type) {
    case Fixup::Kind::ActionA: b.Actions[f.Index].A = target; break;
    case Fixup::Kind::FunctionEnd: b.Functions[f.Index].End = target == EndOfBlock ? end : target; break;
    case Fixup::Kind::TryEnd: b.Trys[f.Index].TryEnd = target == EndOfBlock ? end : target; break;
    case Fixup::Kind::CatchEnd: b.Trys[f.Index].CatchEnd = target == EndOfBlock ? end : target; break;
    case Fixup::Kind::FinallyEnd: b.Trys[f.Index].FinallyEnd = target == EndOfBlock ? end : target; break;
    }
  }
  for (FunctionCode& f : b.Functions)
    for (std::uint32_t i = f.Start; i < f.End && i < b.Actions.size(); ++i)
      if (b.Actions[i].Code == 0x9B || b.Actions[i].Code == 0x8E)
        f.DefinesFunctions = true;
  const auto mentions = [&](Atom A) {
    const std::string_view text = FAtoms.View(A);
    b.MentionsArguments = b.MentionsArguments || text == "arguments";
    b.MentionsSuper = b.MentionsSuper || text == "super";
  };
  for (const PushItem& p : b.Pushes)
    if (p.Type == PushItem::Kind::Value && p.Data.IsString())
      mentions(FAtoms.Intern(p.Data.AsString()));
  for (const auto& pool : b.Pools)
    for (Atom a : pool)
      mentions(a);
  // A WaitForFrame skips a count of actions, not bytes.
  for (std::size_t i = 0; i < b.Actions.size(); ++i) {
    Action& a = b.Actions[i];
    if (a.Code == 0x8A || a.Code == 0x8D)
      a.B = static_cast<std::uint32_t>(std::min<std::size_t>(i + 1 + a.B, end));
  }
  return FBlock;
}

} // namespace

std::shared_ptr<const ActionBlock> Decode(std::span<const std::uint8_t> Bytes, AtomTable& Atoms, int Version)
{
  return TDecoder(Bytes, Atoms, Version).Run();
}

} // namespace quenloft::swf::avm1
