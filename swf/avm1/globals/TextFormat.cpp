// TextFormat: a bag of optional text attributes with the player's
// conversions on every write (sizes and margins made whole, align and
// display checked against their names, font names cut to 64 characters).
#include "swf/avm1/TextFormat.h"

#include "swf/avm1/Machine.h"
#include "swf/avm1/globals/Globals.h"
#include "swf/avm1/globals/TextFields.h"

#include <cmath>

namespace quenloft::swf::avm1 {

void FieldFormat::Apply(const FieldFormat& O)
{
  const auto take = [](auto& Mine, const auto& Theirs) {
    if (Theirs)
      Mine = Theirs;
  };
  take(Font, O.Font), take(Size, O.Size), take(Color, O.Color), take(Bold, O.Bold), take(Italic, O.Italic);
  take(Underline, O.Underline), take(Url, O.Url), take(Target, O.Target), take(Align, O.Align);
  take(LeftMargin, O.LeftMargin), take(RightMargin, O.RightMargin), take(Indent, O.Indent);
  take(Leading, O.Leading), take(BlockIndent, O.BlockIndent), take(TabStops, O.TabStops);
  take(Bullet, O.Bullet), take(Kerning, O.Kerning), take(LetterSpacing, O.LetterSpacing);
  take(Display, O.Display);
}

void FieldFormat::Intersect(const FieldFormat& O)
{
  const auto keep = [](auto& Mine, const auto& Theirs) {
    if (Mine != Theirs)
      Mine.reset();
  };
  keep(Font, O.Font), keep(Size, O.Size), keep(Color, O.Color), keep(Bold, O.Bold), keep(Italic, O.Italic);
  keep(Underline, O.Underline), keep(Url, O.Url), keep(Target, O.Target), keep(Align, O.Align);
  keep(LeftMargin, O.LeftMargin), keep(RightMargin, O.RightMargin), keep(Indent, O.Indent);
  keep(Leading, O.Leading), keep(BlockIndent, O.BlockIndent), keep(TabStops, O.TabStops);
  keep(Bullet, O.Bullet), keep(Kerning, O.Kerning), keep(LetterSpacing, O.LetterSpacing);
  keep(Display, O.Display);
}

Object* TextFormatObject::CreateInstance(Machine& M, Object* Proto)
{
  return M.Heap().Make<TextFormatObject>(Proto);
}

TextFormatObject* NewTextFormat(Machine& M, const FieldFormat& F)
{
  auto* o = M.Heap().Make<TextFormatObject>(M.Prototype("TextFormat"));
  o->Format = F;
  return o;
}

namespace {

FieldFormat* Self(Object* This)
{
  auto* t = dynamic_cast<TextFormatObject*>(This);
  return t ? &t->Format : nullptr;
}

bool Unset(Value V)
{
  return V.IsUndefined() || V.IsNull();
}

// Round half to even, as the player makes SWF 8 sizes whole.
double RoundEven(double D)
{
  return std::nearbyint(D);
}

// A whole-number attribute: an integer before SWF 8, rounded after;
// margins never go below zero.
std::optional<double> Whole(Machine& M, Value V, bool NotNegative)
{
  if (Unset(V))
    return std::nullopt;
  double d = M.Version() < 8 ? static_cast<double>(V.ToInt32(M)) : RoundEven(V.ToNumber(M));
  if (NotNegative && !(d >= 0))
    d = 0;
  return d;
}

std::optional<bool> Flag(Machine& M, Value V)
{
  return Unset(V) ? std::nullopt : std::optional<bool>(V.ToBoolean(M.Version()));
}

std::optional<std::string> Text(Machine& M, Value V, std::size_t Max = std::string::npos)
{
  if (Unset(V))
    return std::nullopt;
  std::string s = V.ToText(M);
  // Max counts characters, not bytes.
  std::size_t chars = 0, i = 0;
  for (; i < s.size(); ++i)
    if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80 && chars++ == Max)
      break;
  s.resize(std::min(i, s.size()));
  return s;
}

Value Opt(Machine& M, const std::optional<std::string>& S)
{
  return S ? Value(M.NewString(*S)) : Value::Null();
}
Value Opt(const std::optional<double>& D)
{
  return D ? Value(*D) : Value::Null();
}
Value Opt(const std::optional<bool>& B)
{
  return B ? Value(*B) : Value::Null();
}

} // namespace

std::string_view AlignName(TextAlign A)
{
  switch (A) {
  case TextAlign::Right: return "right";
  case TextAlign::Center: return "center";
  case TextAlign::Justify: return "justify";
  default: return "left";
  }
}

std::optional<TextAlign> AlignFromName(std::string_view S)
{
  std::string l(S);
  for (char& c : l)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (l == "left")
    return TextAlign::Left;
  if (l == "right")
    return TextAlign::Right;
  if (l == "center")
    return TextAlign::Center;
  if (l == "justify")
    return TextAlign::Justify;
  return std::nullopt;
}

namespace {

#define QL_GETSET(Name, Read, Write)                                                                                      \
  Value Get##Name(Machine& M, Object* This, std::span<const Value>)                                                   \
  {                                                                                                                    \
    FieldFormat* f = Self(This);                                                                                       \
    if (!f)                                                                                                            \
      return Value();                                                                                                  \
    Read;                                                                                                              \
  }                                                                                                                    \
  Value Set##Name(Machine& M, Object* This, std::span<const Value> Args)                                              \
  {                                                                                                                    \
    FieldFormat* f = Self(This);                                                                                       \
    const Value v = Arg(Args, 0);                                                                                      \
    if (f) {                                                                                                           \
      Write;                                                                                                           \
    }                                                                                                                  \
    return Value();                                                                                                    \
  }

QL_GETSET(Font, return Opt(M, f->Font), f->Font = Text(M, v, 64))
QL_GETSET(Size, (void)M; return Opt(f->Size), f->Size = Whole(M, v, false))
QL_GETSET(Color, (void)M; return f->Color ? Value(static_cast<double>(*f->Color)) : Value::Null(),
          f->Color = Unset(v) ? std::nullopt : std::optional<std::uint32_t>(v.ToUInt32(M)))
QL_GETSET(Url, return Opt(M, f->Url), f->Url = Text(M, v))
QL_GETSET(Target, return Opt(M, f->Target), f->Target = Text(M, v))
QL_GETSET(Bold, (void)M; return Opt(f->Bold), f->Bold = Flag(M, v))
QL_GETSET(Italic, (void)M; return Opt(f->Italic), f->Italic = Flag(M, v))
QL_GETSET(Underline, (void)M; return Opt(f->Underline), f->Underline = Flag(M, v))
QL_GETSET(Bullet, (void)M; return Opt(f->Bullet), f->Bullet = Flag(M, v))
QL_GETSET(Kerning, (void)M; return Opt(f->Kerning), f->Kerning = Flag(M, v))
QL_GETSET(Align, return f->Align ? Value(M.NewString(std::string(AlignName(*f->Align)))) : Value::Null(),
          if (!Unset(v)) if (auto a = AlignFromName(v.ToText(M))) f->Align = a)
QL_GETSET(LeftMargin, (void)M; return Opt(f->LeftMargin), f->LeftMargin = Whole(M, v, true))
QL_GETSET(RightMargin, (void)M; return Opt(f->RightMargin), f->RightMargin = Whole(M, v, true))
QL_GETSET(Indent, (void)M; return Opt(f->Indent), f->Indent = Whole(M, v, M.Version() < 8))
QL_GETSET(Leading, (void)M; return Opt(f->Leading), f->Leading = Whole(M, v, M.Version() < 8))
QL_GETSET(BlockIndent, (void)M; return Opt(f->BlockIndent), f->BlockIndent = Whole(M, v, M.Version() < 8))
QL_GETSET(LetterSpacing, (void)M; return Opt(f->LetterSpacing),
          f->LetterSpacing = Unset(v) ? std::nullopt : std::optional<double>(v.ToNumber(M)))
QL_GETSET(Display,
          if (!f->Display) return Value::Null();
          return Value(M.NewString(*f->Display == TextDisplay::Inline ? "inline"
                                   : *f->Display == TextDisplay::None ? "none"
                                                                       : "block")),
          const std::string s = Unset(v) ? std::string() : v.ToText(M);
          f->Display = s == "inline" ? TextDisplay::Inline : s == "none" ? TextDisplay::None : TextDisplay::Block)

#undef QL_GETSET

Value GetTabStops(Machine& M, Object* This, std::span<const Value>)
{
  FieldFormat* f = Self(This);
  if (!f || !f->TabStops)
    return f ? Value::Null() : Value();
  std::vector<Value> items(f->TabStops->begin(), f->TabStops->end());
  return Value(M.NewArray(items));
}

Value SetTabStops(Machine& M, Object* This, std::span<const Value> Args)
{
  FieldFormat* f = Self(This);
  if (!f)
    return Value();
  Object* list = Arg(Args, 0).IsObject() ? Arg(Args, 0).AsObject() : nullptr;
  if (!list) {
    f->TabStops.reset();
    return Value();
  }
  std::vector<double> stops;
  const double n = list->Get(M, M.A.Length).ToNumber(M);
  for (double i = 0; i < n && i < 1024; ++i)
    stops.push_back(RoundEven(list->Get(M, M.Intern(NumberToText(i))).ToNumber(M)));
  f->TabStops = std::move(stops);
  return Value();
}

Value GetTextExtent(Machine& M, Object* This, std::span<const Value> Args)
{
  FieldFormat* f = Self(This);
  if (!f)
    return Value();
  return TextExtent(M, *f, Arg(Args, 0).ToText(M), Arg(Args, 1));
}

Value Construct(Machine& M, Object* This, std::span<const Value> Args)
{
  FieldFormat* f = Self(This);
  if (!f)
    return Value();
  const auto integer = [&](std::size_t I) {
    const Value v = Arg(Args, I);
    return Unset(v) ? std::nullopt : std::optional<double>(v.ToInt32(M));
  };
  const auto set = [&](NativeFn Fn, std::size_t I) {
    const Value v = Arg(Args, I);
    Fn(M, This, std::span<const Value>(&v, 1));
  };
  set(SetFont, 0);
  f->Size = integer(1);
  set(SetColor, 2);
  set(SetBold, 3);
  set(SetItalic, 4);
  set(SetUnderline, 5);
  set(SetUrl, 6);
  set(SetTarget, 7);
  set(SetAlign, 8);
  f->LeftMargin = integer(9);
  f->RightMargin = integer(10);
  f->Indent = integer(11);
  f->Leading = integer(12);
  f->Display = TextDisplay::Block;
  return Value(This);
}

Object* MakeProto(Machine& M, Object* Base)
{
  return M.Heap().Make<TextFormatObject>(Base);
}

constexpr std::uint16_t P = 0;

const Member Members[] = {
    Method("getTextExtent", GetTextExtent, DontEnum | DontDelete),
    Accessor("font", GetFont, SetFont, P),
    Accessor("size", GetSize, SetSize, P),
    Accessor("color", GetColor, SetColor, P),
    Accessor("url", GetUrl, SetUrl, P),
    Accessor("target", GetTarget, SetTarget, P),
    Accessor("bold", GetBold, SetBold, P),
    Accessor("italic", GetItalic, SetItalic, P),
    Accessor("underline", GetUnderline, SetUnderline, P),
    Accessor("align", GetAlign, SetAlign, P),
    Accessor("leftMargin", GetLeftMargin, SetLeftMargin, P),
    Accessor("rightMargin", GetRightMargin, SetRightMargin, P),
    Accessor("indent", GetIndent, SetIndent, P),
    Accessor("leading", GetLeading, SetLeading, P),
    Accessor("blockIndent", GetBlockIndent, SetBlockIndent, P),
    Accessor("tabStops", GetTabStops, SetTabStops, P),
    Accessor("bullet", GetBullet, SetBullet, P),
    Accessor("display", GetDisplay, SetDisplay, P),
    Accessor("kerning", GetKerning, SetKerning, P),
    Accessor("letterSpacing", GetLetterSpacing, SetLetterSpacing, P),
};

} // namespace

extern const ClassSpec TextFormatClass = {
    .Name = "TextFormat", .Construct = Construct, .Prototype = Members, .MakePrototype = MakeProto};

} // namespace quenloft::swf::avm1
