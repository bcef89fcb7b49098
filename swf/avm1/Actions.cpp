// The action loop itself: one arm per action code.
#include "swf/avm1/Array.h"
#include "swf/avm1/ClipObject.h"
#include "swf/avm1/Interpreter.h"
#include "swf/avm1/Loads.h"
#include "swf/avm1/PlayerImpl.h"

#include <chrono>
#include <cmath>
#include <limits>

namespace quenloft::swf::avm1 {

namespace {

// Characters of UTF-8 text (SWF 6 and later count characters, not bytes).
std::size_t CharCount(std::string_view S)
{
  std::size_t n = 0;
  for (unsigned char c : S)
    if ((c & 0xC0) != 0x80)
      ++n;
  return n;
}

// The byte offset of character Index.
std::size_t ByteOf(std::string_view S, std::size_t Index)
{
  std::size_t i = 0;
  for (std::size_t n = 0; i < S.size(); ++i) {
    if ((static_cast<unsigned char>(S[i]) & 0xC0) != 0x80) {
      if (n == Index)
        return i;
      ++n;
    }
  }
  return S.size();
}

std::string FromCodePoint(std::uint32_t C)
{
  std::string out;
  if (C < 0x80) {
    out.push_back(static_cast<char>(C));
  } else if (C < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (C >> 6)));
    out.push_back(static_cast<char>(0x80 | (C & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xE0 | ((C >> 12) & 0x0F)));
    out.push_back(static_cast<char>(0x80 | ((C >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (C & 0x3F)));
  }
  return out;
}

std::uint32_t FirstCodePoint(std::string_view S)
{
  if (S.empty())
    return 0;
  const auto c = static_cast<unsigned char>(S[0]);
  if (c < 0x80 || S.size() < 2)
    return c;
  if ((c & 0xE0) == 0xC0)
    return (c & 0x1Fu) << 6 | (static_cast<unsigned char>(S[1]) & 0x3Fu);
  if (S.size() < 3)
    return c;
  return (c & 0x0Fu) << 12 | (static_cast<unsigned char>(S[1]) & 0x3Fu) << 6 |
         (static_cast<unsigned char>(S[2]) & 0x3Fu);
}

} // namespace

Value Interpreter::RunRange(Activation& A, std::uint32_t From, std::uint32_t To, bool& Returned)
{
  const ActionBlock& block = *A.Block;
  // Blocks share one stack (what a frame script leaves, the next one finds);
  // a function sees only what it pushed itself.
  const std::size_t base = std::min(A.StackBase, FStack.size());
  const std::uint32_t end = std::min<std::uint32_t>(To, static_cast<std::uint32_t>(block.Actions.size()));
  std::uint32_t pc = From;
  std::uint32_t spent = 0;
  const int version = FM.Version();
  const auto pop = [&]() { return Pop(base); };
  const auto popNumber = [&]() { return pop().ToNumber(FM); };
  const auto popText = [&]() { return pop().ToText(FM); };
  const auto jump = [&](std::uint32_t Target) {
    pc = Target == EndOfBlock ? end : Target;
    // A jump outside this range ends it.
    if (pc < From || pc > end)
      pc = end;
  };
  // Code stops once the clip it belongs to has left the stage: after a
  // call or a `new` that removed it (a method call on undefined or null
  // calls nothing and goes on).
  auto* const baseClip = dynamic_cast<ClipObject*>(A.BaseClip);
  const bool watchClip = baseClip && baseClip->Instance();
  bool checkClip = false;
  while (pc < end) {
    if (++spent == 4096) {
      FM.Spend(spent);
      spent = 0;
    }
    if (checkClip && !baseClip->Instance()) {
      pc = end;
      break;
    }
    const Action& a = block.Actions[pc++];
    checkClip = watchClip && (a.Code == 0x3D || a.Code == 0x9E || a.Code == 0x40 ||
                              ((a.Code == 0x52 || a.Code == 0x53) && FStack.size() >= base + 2 &&
                               !FStack[FStack.size() - 2].IsNullish()));
    switch (a.Code) {
    case 0x00: pc = end; break;
    // --- Timeline ---
    case 0x04:
      if (auto* c = TimelineClip(A))
        c->NextFrame();
      break;
    case 0x05:
      if (auto* c = TimelineClip(A))
        c->PrevFrame();
      break;
    case 0x06:
      if (auto* c = TimelineClip(A))
        c->Play();
      break;
    case 0x07:
      if (auto* c = TimelineClip(A))
        c->Stop();
      break;
    case 0x08: // ToggleQuality
      break;
    case 0x09: // StopSounds
      if (auto* c = dynamic_cast<ClipObject*>(FM.Root()))
        c->Player().Sounds().StopAll();
      break;
    case 0x81:
      if (auto* c = TimelineClip(A))
        c->GotoFrame(a.A, false);
      break;
    case 0x8C:
      if (auto* c = TimelineClip(A))
        c->GotoLabel(FM.Atoms().View(a.A), false);
      break;
    case 0x9F: {
      // An object names its frame by its text (toString, not valueOf).
      Value frame = pop();
      if (frame.IsObject())
        frame = Value(frame.ToString(FM));
      auto* c = dynamic_cast<ClipObject*>(CurrentClip(A));
      const bool play = a.Flags & 0x01;
      Object* target = c;
      std::string_view label;
      std::string text;
      if (frame.IsString()) {
        text = frame.AsString()->Text;
        // "path:frame" names another clip's frame.
        const std::size_t colon = text.rfind(':');
        if (colon != std::string::npos) {
          target = ResolveTarget(A, CurrentClip(A), std::string_view(text).substr(0, colon));
          text = text.substr(colon + 1);
        }
        label = text;
      }
      auto* tc = dynamic_cast<ClipObject*>(target);
      if (!tc)
        break;
      // Only a whole number is a frame number; anything else is looked up
      // as text (a label, or digits).
      const bool whole = frame.IsNumber() && std::trunc(frame.AsNumber()) == frame.AsNumber();
      if (!whole && !frame.IsString()) {
        text = frame.ToText(FM);
        label = text;
      }
      const double n = whole ? frame.AsNumber() : TextToNumber(label, version);
      if (!std::isnan(n) && std::trunc(n) == n) {
        tc->GotoNumber(n, a.Extra, play);
      } else if (std::isnan(n)) {
        tc->GotoLabel(label, play);
      }
      break;
    }
    case 0x8A: // WaitForFrame: every frame is loaded, up to the player's limit
      if (a.A > MaxLoadedFrame)
        pc = a.B;
      break;
    case 0x8D: {
      const Value frame = pop();
      auto* c = TimelineClip(A);
      const double n = frame.ToNumber(FM);
      if (c && (std::isnan(n) || n > c->TotalFrames()))
        pc = a.B;
      break;
    }
    case 0x8B: { // SetTarget
      SetTargetPath(A, FM.Atoms().View(a.A));
      break;
    }
    case 0x20: { // SetTarget2
      const Value t = pop();
      auto* own = dynamic_cast<ClipObject*>(A.BaseClip);
      const bool ownGone = own && !own->Instance();
      if (t.IsUndefined() || ownGone) {
        // tellTarget(undefined) is the code's own clip up to SWF 6 and
        // none after.
        A.Target = nullptr;
        A.NoTarget = version > 6 || ownGone;
      } else if (auto* clip = dynamic_cast<ClipObject*>(t.ObjectOrNull()); clip && clip->Instance()) {
        A.Target = clip;
        A.NoTarget = false;
      } else {
        SetTargetPath(A, t.ToText(FM));
      }
      break;
    }
    case 0x83: { // GetURL
      const std::string url(FM.Atoms().View(a.A));
      const std::string target(FM.Atoms().View(a.B));
      if (FM.Loads())
        FM.Loads()->GetUrl(url, target, nullptr, 0);
      else
        FM.GetHost().Log("getURL(\"" + url + "\", \"" + target + "\") not carried out");
      break;
    }
    case 0x9A: { // GetURL2
      const std::string target = popText();
      const std::string url = popText();
      Object* clip = (a.Flags & 0x40) ? ResolveTarget(A, A.BaseClip, target) : nullptr;
      if (FM.Loads())
        FM.Loads()->GetUrl(url, target, clip, a.Flags);
      else
        FM.GetHost().Log("getURL(\"" + url + "\", \"" + target + "\") not carried out");
      break;
    }
    // --- Stack and values ---
    case 0x96: {
      for (std::uint32_t i = 0; i < a.B; ++i) {
        const PushItem& item = block.Pushes[a.A + i];
        switch (item.Type) {
        case PushItem::Kind::Value: Push(item.Data); break;
        case PushItem::Kind::Register:
          Push(Register(A, item.Index));
          break;
        case PushItem::Kind::Constant:
          if (A.Pool && item.Index < A.Pool->size())
            Push(Value(FM.Text((*A.Pool)[item.Index])));
          else
            Push(Value());
          break;
        }
      }
      break;
    }
    case 0x17: pop(); break;
    case 0x4C: {
      const Value v = pop();
      Push(v);
      Push(v);
      break;
    }
    case 0x4D: {
      const Value x = pop();
      const Value y = pop();
      Push(x);
      Push(y);
      break;
    }
    case 0x87:
      if (FStack.size() > base)
        SetRegister(A, a.A, FStack.back());
      break;
    case 0x88: A.Pool = a.A < block.Pools.size() ? &block.Pools[a.A] : nullptr; break;
    // --- Arithmetic ---
    case 0x0A: { // the operand pushed first is converted first
      const Value y = pop();
      const double x = popNumber();
      Push(Value(x + y.ToNumber(FM)));
      break;
    }
    case 0x0B: {
      const double y = popNumber();
      Push(Value(popNumber() - y));
      break;
    }
    case 0x0C: {
      const Value y = pop();
      const double x = popNumber();
      Push(Value(x * y.ToNumber(FM)));
      break;
    }
    case 0x0D: {
      const double y = popNumber();
      const double x = popNumber();
      if (y == 0 && version < 5)
        Push(Value(FM.Text(FM.Intern("#ERROR#"))));
      else
        Push(Value(x / y));
      break;
    }
    case 0x3F: {
      const double y = popNumber();
      const double x = popNumber();
      Push(Value(std::fmod(x, y)));
      break;
    }
    case 0x47: {
      const Value y = pop();
      const Value x = pop();
      Push(Add2(x, y));
      break;
    }
    case 0x50: Push(Value(popNumber() + 1)); break;
    case 0x51: Push(Value(popNumber() - 1)); break;
    case 0x18: {
      const double d = popNumber();
      Push(Value(std::isfinite(d) ? std::trunc(d) : (std::isnan(d) ? 0.0 : d)));
      break;
    }
    case 0x4A: Push(Value(pop().ToNumber(FM))); break;
    case 0x4B: Push(Value(pop().ToString(FM))); break;
    case 0x60:
    case 0x61:
    case 0x62:
    case 0x63:
    case 0x64:
    case 0x65: {
      const std::int32_t y = pop().ToInt32(FM);
      const std::int32_t x = pop().ToInt32(FM);
      const std::uint32_t ux = static_cast<std::uint32_t>(x);
      switch (a.Code) {
      case 0x60: Push(Value(static_cast<double>(x & y))); break;
      case 0x61: Push(Value(static_cast<double>(x | y))); break;
      case 0x62: Push(Value(static_cast<double>(x ^ y))); break;
      case 0x63: Push(Value(static_cast<double>(static_cast<std::int32_t>(ux << (y & 31))))); break;
      case 0x64: Push(Value(static_cast<double>(x >> (y & 31)))); break;
      default: Push(Value(static_cast<double>(ux >> (y & 31)))); break;
      }
      break;
    }
    // --- Comparison and logic ---
    case 0x0E: { // Equals (SWF 4: numbers)
      const double y = popNumber();
      const double x = popNumber();
      const bool r = x == y;
      Push(Value(r));
      break;
    }
    case 0x0F: {
      const Value yv = pop();
      const double x = popNumber();
      const double y = yv.ToNumber(FM);
      const bool r = x < y;
      Push(Value(r));
      break;
    }
    case 0x10:
    case 0x11: {
      const bool y = pop().ToBoolean(version);
      const bool x = pop().ToBoolean(version);
      const bool r = a.Code == 0x10 ? (x && y) : (x || y);
      Push(Value(r));
      break;
    }
    case 0x12: {
      const bool r = !pop().ToBoolean(version);
      Push(Value(r));
      break;
    }
    case 0x13: {
      const std::string y = popText();
      const bool r = popText() == y;
      Push(Value(r));
      break;
    }
    case 0x29: {
      const std::string y = popText();
      const bool r = popText() < y;
      Push(Value(r));
      break;
    }
    case 0x68: {
      const std::string y = popText();
      Push(Value(popText() > y));
      break;
    }
    case 0x48: {
      const Value y = pop();
      const Value x = pop();
      Push(Less(x, y));
      break;
    }
    case 0x67: {
      const Value y = pop();
      const Value x = pop();
      Push(Less(y, x));
      break;
    }
    case 0x49: {
      const Value y = pop();
      const Value x = pop();
      Push(Value(Equals(x, y)));
      break;
    }
    case 0x66: {
      const Value y = pop();
      const Value x = pop();
      Push(Value(x.StrictEquals(y)));
      break;
    }
    // --- Strings (SWF 4) ---
    case 0x14:
    case 0x31: {
      const std::string s = popText();
      Push(Value(static_cast<double>(CharCount(s))));
      break;
    }
    case 0x21: {
      const std::string y = popText();
      const std::string x = popText();
      Push(Value(FM.NewString(x + y)));
      break;
    }
    case 0x15:
    case 0x35: {
      const std::int32_t count = pop().ToInt32(FM);
      const std::int32_t index = pop().ToInt32(FM);
      const std::string s = popText();
      const std::size_t chars = CharCount(s);
      const std::size_t from = index <= 1 ? 0 : std::min<std::size_t>(static_cast<std::size_t>(index) - 1, chars);
      const std::size_t len = count < 0 ? chars - from : std::min<std::size_t>(static_cast<std::size_t>(count), chars - from);
      const std::size_t b0 = ByteOf(s, from);
      const std::size_t b1 = ByteOf(s, from + len);
      Push(Value(FM.NewString(s.substr(b0, b1 - b0))));
      break;
    }
    case 0x32:
    case 0x36: {
      const std::string s = popText();
      Push(s.empty() ? Value(0.0) : Value(static_cast<double>(FirstCodePoint(s))));
      break;
    }
    case 0x33:
    case 0x37: {
      const double d = popNumber();
      const auto code = static_cast<std::uint32_t>(NumberToInt32(d)) & 0xFFFF;
      Push(Value(FM.NewString(code == 0 ? std::string() : FromCodePoint(code))));
      break;
    }
    // --- Variables ---
    case 0x1C: {
      const Value name = pop();
      const String* s = name.ToString(FM);
      const Atom atom = FM.Atoms().Intern(s);
      Push(GetVariable(A, s->Text, atom));
      break;
    }
    case 0x1D: {
      const Value v = pop();
      const String* s = pop().ToString(FM);
      SetVariable(A, s->Text, FM.Atoms().Intern(s), v);
      break;
    }
    case 0x3C: {
      const Value v = pop();
      DefineNamed(A, FM.Atoms().Intern(pop().ToString(FM)), v);
      break;
    }
    case 0x41: { // DefineLocal2: declares a name not yet there (prototypes count)
      const String* text = pop().ToString(FM);
      const Atom name = FM.Atoms().Intern(text);
      Scope* top = A.Chain;
      if (!InFunctionScope(A) && text->Text.find_first_of(":.") != std::string::npos) {
        // Outside functions a path names a variable as SetVariable does.
        if (GetVariable(A, text->Text, name).IsUndefined())
          SetVariable(A, text->Text, name, Value());
        break;
      }
      Object* t = !top ? nullptr : top->Type == Scope::Kind::Target ? CurrentClip(A) : top->Target;
      if (t && !t->Has(FM, name))
        DefineLocal(A, name, Value());
      break;
    }
    case 0x3A: { // Delete
      const Value name = pop();
      const Value target = pop();
      Object* o = target.ObjectOrNull();
      Push(Value(o ? o->Delete(FM, NameOf(name)) : false));
      break;
    }
    case 0x3B: { // Delete2
      const Value nameValue = pop();
      const std::string text = nameValue.ToText(FM);
      const std::size_t cut = text.find_last_of(".:");
      if (cut != std::string::npos) {
        // A path: delete the variable on the object it names.
        const Value target = GetVariable(A, std::string_view(text).substr(0, cut),
                                         FM.Intern(std::string_view(text).substr(0, cut)));
        Object* o = target.ObjectOrNull();
        Push(Value(o ? o->Delete(FM, FM.Intern(std::string_view(text).substr(cut + 1))) : false));
        break;
      }
      const Atom name = NameOf(nameValue);
      bool done = false;
      for (Scope* s = A.Chain; s && !done; s = s->Parent) {
        Object* t = s->Type == Scope::Kind::Target ? CurrentClip(A) : s->Target;
        if (t && t->Has(FM, name)) {
          Push(Value(t->Delete(FM, name)));
          done = true;
        }
      }
      if (!done)
        Push(Value(false));
      break;
    }
    case 0x22: {
      // An index that is no finite number, or is -1 or less, names nothing.
      const double at = pop().ToNumber(FM);
      const int index = std::isfinite(at) && at > -1 ? static_cast<int>(std::min(at, 1e6)) : -1;
      const Value target = pop();
      Push(GetProperty(A, target, index));
      break;
    }
    case 0x23: {
      const Value v = pop();
      const int index = pop().ToInt32(FM);
      const Value target = pop();
      SetProperty(A, target, index, v);
      break;
    }
    case 0x45: { // TargetPath
      const Value v = pop();
      auto* c = dynamic_cast<ClipObject*>(v.ObjectOrNull());
      Push(c ? Value(FM.NewString(c->DotPath())) : Value());
      break;
    }
    // --- Objects ---
    case 0x4E: {
      const Value name = pop();
      const Value target = pop();
      Push(GetMember(target, name));
      break;
    }
    case 0x4F: {
      const Value v = pop();
      const Value name = pop();
      const Value target = pop();
      SetMember(target, name, v);
      break;
    }
    case 0x42: { // InitArray
      const double n = popNumber();
      const std::size_t count = n > 0 ? static_cast<std::size_t>(std::min(n, 1e9)) : 0;
      if (count > MaxArrayLength)
        FM.Abort("an array literal longer than the player allows");
      std::vector<Value> items;
      items.reserve(std::min(count, FStack.size() - base + 1));
      for (std::size_t i = 0; i < count; ++i)
        items.push_back(pop());
      Push(Value(FM.NewArray(items)));
      FM.CheckHeap();
      break;
    }
    case 0x43: { // InitObject
      const double n = popNumber();
      const std::size_t count = n > 0 ? static_cast<std::size_t>(std::min(n, 1e9)) : 0;
      Object* o = FM.NewObject();
      std::vector<std::pair<Value, Value>> pairs;
      for (std::size_t i = 0; i < count && FStack.size() > base; ++i) {
        const Value v = pop();
        const Value k = pop();
        pairs.emplace_back(k, v);
      }
      // Written as they come off the stack: the last pair first.
      for (const auto& [k, v] : pairs)
        o->Set(FM, NameOf(k), v);
      Push(Value(o));
      FM.CheckHeap();
      break;
    }
    case 0x44: Push(Value(FM.Text(FM.Intern(pop().TypeOf())))); break;
    case 0x54: {
      const Value ctor = pop();
      const Value obj = pop();
      Push(Value(InstanceOf(obj, ctor)));
      break;
    }
    case 0x2B: { // CastOp
      const Value obj = pop();
      const Value ctor = pop();
      Push(InstanceOf(obj, ctor) ? obj : Value::Null());
      break;
    }
    case 0x2C: { // ImplementsOp
      Object* ctor = pop().ObjectOrNull();
      const double n = popNumber();
      const std::size_t count = n > 0 ? static_cast<std::size_t>(std::min(n, 1e6)) : 0;
      std::vector<Object*> interfaces;
      for (std::size_t i = 0; i < count && FStack.size() > base; ++i)
        if (Object* o = pop().ObjectOrNull())
          interfaces.push_back(o);
      if (ctor)
        if (Object* proto = ctor->Get(FM, FM.A.Prototype).ObjectOrNull())
          proto->Interfaces = interfaces;
      break;
    }
    case 0x69: { // Extends
      Object* super = pop().ObjectOrNull();
      Object* sub = pop().ObjectOrNull();
      if (!super || !sub)
        break;
      Object* proto = FM.Heap().Make<Object>(super->Get(FM, FM.A.Prototype).ObjectOrNull());
      proto->Define(FM, FM.A.Constructor, Value(super), DontEnum);
      proto->Define(FM, FM.A.ProtoCtor, Value(super), DontEnum);
      sub->Set(FM, FM.A.Prototype, Value(proto));
      break;
    }
    case 0x46:
    case 0x55: { // Enumerate, Enumerate2
      Value v = pop();
      if (a.Code == 0x46) {
        const String* s = v.ToString(FM);
        v = GetVariable(A, s->Text, FM.Atoms().Intern(s));
      }
      Push(Value());
      if (Object* o = v.ObjectOrNull()) {
        const std::vector<Atom> names = o->EnumerableNames(FM);
        for (auto it = names.rbegin(); it != names.rend(); ++it)
          Push(Value(FM.Text(*it)));
      }
      break;
    }
    case 0x40: { // NewObject
      const Value name = pop();
      const double n = popNumber();
      const std::size_t count = n > 0 ? static_cast<std::size_t>(std::min(n, 1e6)) : 0;
      std::vector<Value> args;
      for (std::size_t i = 0; i < count && FStack.size() > base; ++i)
        args.push_back(pop());
      const String* s = name.ToString(FM);
      const Value ctor = GetVariable(A, s->Text, FM.Atoms().Intern(s));
      Push(NewObject(ctor, args));
      FM.CheckHeap();
      break;
    }
    case 0x53: { // NewMethod
      const Value name = pop();
      const Value target = pop();
      const double n = popNumber();
      const std::size_t count = n > 0 ? static_cast<std::size_t>(std::min(n, 1e6)) : 0;
      std::vector<Value> args;
      for (std::size_t i = 0; i < count && FStack.size() > base; ++i)
        args.push_back(pop());
      const bool noName = name.IsNullish() || (name.IsString() && name.AsString()->Text.empty());
      const Value ctor = noName ? target : GetMember(target, name);
      Push(NewObject(ctor, args));
      FM.CheckHeap();
      break;
    }
    // --- Calls ---
    case 0x3D: { // CallFunction
      const Value name = pop();
      const double n = popNumber();
      const std::size_t count = n > 0 ? static_cast<std::size_t>(std::min(n, 1e6)) : 0;
      std::vector<Value> args;
      args.reserve(std::min<std::size_t>(count, 16));
      for (std::size_t i = 0; i < count && FStack.size() > base; ++i)
        args.push_back(pop());
      const String* s = name.ToString(FM);
      // A function called by name runs with the object of the `with` block
      // or the global object it was found on as `this`, else the clip.
      Object* holder = nullptr;
      const Value fn = GetVariable(A, s->Text, FM.Atoms().Intern(s), &holder);
      Push(FM.Call(fn, holder ? holder : CurrentClip(A), args));
      break;
    }
    case 0x52: { // CallMethod
      const Value name = pop();
      const Value target = pop();
      const double n = popNumber();
      const std::size_t count = n > 0 ? static_cast<std::size_t>(std::min(n, 1e6)) : 0;
      std::vector<Value> args;
      args.reserve(std::min<std::size_t>(count, 16));
      for (std::size_t i = 0; i < count && FStack.size() > base; ++i)
        args.push_back(pop());
      const bool noName = name.IsNullish() || (name.IsString() && name.AsString()->Text.empty());
      if (noName) {
        // super() or calling a function value directly.
        if (auto* sup = dynamic_cast<SuperObject*>(target.ObjectOrNull())) {
          Object* home = sup->Home();
          const Value ctor = home ? home->Get(FM, FM.A.ProtoCtor) : Value();
          Push(FM.CallFrom(ctor, sup->This(), args, home ? home->Proto() : nullptr));
        } else {
          Push(FM.Call(target, nullptr, args));
        }
        break;
      }
      Push(CallMethodValue(target, NameOf(name), args));
      break;
    }
    case 0x3E: { // Return
      Returned = true;
      const Value r = pop();
      FStack.resize(std::min(FStack.size(), base));
      if (spent)
        FM.Spend(spent);
      return r;
    }
    case 0x9B:
    case 0x8E: { // DefineFunction(2)
      const FunctionCode& code = block.Functions[a.A];
      Value f = DefineFunction(A, code);
      if (code.Name != 0)
        DefineNamed(A, code.Name, f);
      else
        Push(f);
      pc = std::max(pc, std::min(code.End, end));
      break;
    }
    case 0x94: { // With
      Object* o = pop().ToObject(FM);
      const std::uint32_t withEnd = a.A == EndOfBlock ? end : std::min(a.A, end);
      int depth = 0;
      for (Scope* s = A.Chain; s; s = s->Parent)
        depth += s->Type == Scope::Kind::With;
      if (!o || depth >= MaxWithDepth) {
        pc = withEnd;
        break;
      }
      Scope* saved = A.Chain;
      A.Chain = FM.Heap().Make<Scope>(Scope::Kind::With, o, saved);
      bool withReturned = false;
      Value r;
      try {
        r = RunRange(A, pc, withEnd, withReturned);
      } catch (...) {
        A.Chain = saved;
        throw;
      }
      A.Chain = saved;
      if (withReturned) {
        Returned = true;
        if (spent)
          FM.Spend(spent);
        return r;
      }
      pc = withEnd;
      break;
    }
    case 0x8F: { // Try
      Value r;
      bool tryReturned = false;
      std::uint32_t at = pc - 1;
      RunTry(A, block.Trys[a.A], at, r, tryReturned);
      if (tryReturned) {
        Returned = true;
        if (spent)
          FM.Spend(spent);
        return r;
      }
      pc = at;
      break;
    }
    case 0x2A: { // Throw
      throw ScriptThrow{pop()};
    }
    // --- Control ---
    case 0x99: jump(a.A); break;
    case 0x9D:
      if (pop().ToBoolean(version))
        jump(a.A);
      break;
    case 0x9E: { // Call: runs a frame's actions
      CallFrame(A, pop());
      break;
    }
    // --- Clips ---
    case 0x24: { // CloneSprite
      const Value depth = pop();
      const Value target = pop();
      const Value source = pop();
      CloneSprite(A, source, target, depth);
      break;
    }
    case 0x25: { // RemoveSprite
      const Value target = pop();
      RemoveSprite(A, target);
      break;
    }
    case 0x27: { // StartDrag: target, lock centre, constrained, then y2, x2, y1, x1
      const Value target = pop();
      const bool lock = pop().ToBoolean(version);
      std::optional<InputRouter::DragBounds> bounds;
      if (pop().ToBoolean(version)) {
        InputRouter::DragBounds b;
        b.Bottom = pop().ToNumber(FM);
        b.Right = pop().ToNumber(FM);
        b.Top = pop().ToNumber(FM);
        b.Left = pop().ToNumber(FM);
        bounds = b;
      }
      if (auto* clip = dynamic_cast<ClipObject*>(TargetFromValue(A, target)))
        clip->Player().Input().StartDrag(clip, lock, bounds);
      break;
    }
    case 0x28: // EndDrag
      if (auto* clip = dynamic_cast<ClipObject*>(CurrentClip(A)))
        clip->Player().Input().StopDrag();
      break;
    // --- Other ---
    case 0x26: { // Trace
      const Value v = pop();
      // undefined is traced by name even where it converts to "".
      FM.GetHost().Trace(v.IsUndefined() ? std::string_view("undefined") : std::string_view(v.ToText(FM)));
      break;
    }
    case 0x30: { // RandomNumber
      const std::int32_t max = pop().ToInt32(FM);
      Push(Value(max <= 0 ? 0.0 : static_cast<double>(FM.Random() % static_cast<std::uint32_t>(max))));
      break;
    }
    case 0x34: Push(Value(FM.Milliseconds())); break;
    default:
      // Unknown actions are skipped, as the player does.
      break;
    }
  }
  if (spent)
    FM.Spend(spent);
  return Value();
}

} // namespace quenloft::swf::avm1
