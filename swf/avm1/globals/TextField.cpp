// TextField: the accessors and methods on TextField.prototype, and
// MovieClip.createTextField.
#include "swf/avm1/ClipObject.h"
#include "swf/avm1/Machine.h"
#include "swf/avm1/PlayerImpl.h"
#include "swf/avm1/globals/Globals.h"
#include "swf/avm1/globals/TextFields.h"

#include <cmath>

namespace quenloft::swf::avm1 {

namespace {

TextFieldObject* Self(Object* This)
{
  return dynamic_cast<TextFieldObject*>(This);
}

Value Str(Machine& M, std::string S)
{
  return Value(M.NewString(std::move(S)));
}

// Whole pixels, cut toward zero.
double Pixels(double Twips)
{
  return std::trunc(Twips / 20);
}

std::uint32_t Rgb(Machine& M, Value V)
{
  return V.ToUInt32(M) & 0xFFFFFF;
}

// Each accessor: a getter returning Get and a setter running Set with the
// field as f and the new value as v.
#define QL_FIELD(Name, Read, Write)                                                                                       \
  Value Get##Name(Machine& M, Object* This, std::span<const Value>)                                                   \
  {                                                                                                                    \
    TextFieldObject* f = Self(This);                                                                                   \
    if (!f)                                                                                                            \
      return Value();                                                                                                  \
    (void)M;                                                                                                           \
    return Read;                                                                                                       \
  }                                                                                                                    \
  Value Set##Name(Machine& M, Object* This, std::span<const Value> Args)                                              \
  {                                                                                                                    \
    TextFieldObject* f = Self(This);                                                                                   \
    [[maybe_unused]] const Value v = Arg(Args, 0);                                                                     \
    (void)M;                                                                                                           \
    if (f) {                                                                                                           \
      Write;                                                                                                           \
    }                                                                                                                  \
    return Value();                                                                                                    \
  }

#define QL_FLAG(Name, Member)                                                                                          \
  QL_FIELD(Name, Value(f->Member), f->Member = v.ToBoolean(M.Version()); f->Changed(M))

QL_FLAG(Multiline, Multiline)
QL_FLAG(WordWrap, WordWrap)
QL_FLAG(Password, Password)
QL_FLAG(Selectable, Selectable)
QL_FLAG(Border, Border)
QL_FLAG(Background, Background)
QL_FLAG(EmbedFonts, EmbedFonts)
QL_FLAG(CondenseWhite, CondenseWhite)
QL_FLAG(MouseWheelEnabled, MouseWheelEnabled)
QL_FLAG(Html, Html)

QL_FIELD(Text, Str(M, EncodeUtf8(f->Text())), f->SetText(M, DecodeUtf8(v.ToText(M))))
QL_FIELD(HtmlText, f->Html ? Str(M, f->HtmlText()) : Str(M, EncodeUtf8(f->Text())),
         if (f->Html) f->SetHtmlText(M, v.ToText(M)); else f->SetText(M, DecodeUtf8(v.ToText(M))))
QL_FIELD(BorderColor, Value(static_cast<double>(f->BorderColor)), f->BorderColor = Rgb(M, v); f->Changed(M))
QL_FIELD(BackgroundColor, Value(static_cast<double>(f->BackgroundColor)), f->BackgroundColor = Rgb(M, v);
         f->Changed(M))
QL_FIELD(TextColor, Value(static_cast<double>(f->NewFormat.Color.value_or(0))),
         FieldFormat c; c.Color = Rgb(M, v); f->NewFormat.Color = c.Color;
         f->SetFormat(M, 0, f->Text().size(), c))
QL_FIELD(MaxChars, f->MaxChars > 0 ? Value(static_cast<double>(f->MaxChars)) : Value::Null(),
         f->MaxChars = std::max(0, v.ToInt32(M)))
QL_FIELD(Type, Str(M, f->Input ? "input" : "dynamic"), {
  const std::string t = v.ToText(M);
  if (t == "input" || t == "dynamic")
    f->Input = t == "input";
})
QL_FIELD(Variable, f->Variable.empty() ? Value::Null() : Str(M, f->Variable),
         f->Variable = v.IsNullish() ? std::string() : v.ToText(M))
QL_FIELD(Restrict, f->Restrict ? Str(M, *f->Restrict) : Value::Null(),
         if (v.IsNullish()) f->Restrict.reset(); else f->Restrict = v.ToText(M))
QL_FIELD(StyleSheet, f->StyleSheet ? Value(f->StyleSheet) : Value(),
         f->StyleSheet = v.IsObject() ? v.AsObject() : nullptr)
QL_FIELD(TabIndex, f->TabIndex, f->TabIndex = v)
QL_FIELD(Scroll, Value(static_cast<double>(f->Scroll)), {
  // The player keeps the line index (scroll - 1) in 32 bits, wrapping.
  const auto line = static_cast<std::int32_t>(static_cast<std::uint32_t>(v.ToInt32(M)) - 1u);
  f->Scroll = std::clamp(line, 0, f->MaxScroll() - 1) + 1;
})
QL_FIELD(HScroll, Value(static_cast<double>(f->HScroll)), f->HScroll = 0)
QL_FIELD(AutoSizeMode,
         Str(M, f->Fit == AutoSize::Left     ? "left"
                : f->Fit == AutoSize::Right  ? "right"
                : f->Fit == AutoSize::Center ? "center"
                                             : "none"),
         {
           std::string s = v.IsBool() ? (v.ToBoolean(M.Version()) ? "left" : "none") : v.ToText(M);
           for (char& c : s)
             c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
           f->Fit = s == "left" ? AutoSize::Left : s == "right" ? AutoSize::Right : s == "center" ? AutoSize::Center
                                                                                                  : AutoSize::None;
           f->Changed(M);
         })
QL_FIELD(GridFitType, Str(M, "pixel"), (void)v)
QL_FIELD(AntiAliasType, Str(M, "normal"), (void)v)
QL_FIELD(Thickness, Value(0.0), (void)v)
QL_FIELD(Sharpness, Value(0.0), (void)v)
QL_FIELD(Filters, Value(M.NewArray()), (void)v)

#undef QL_FLAG
#undef QL_FIELD

Value GetLength(Machine&, Object* This, std::span<const Value>)
{
  TextFieldObject* f = Self(This);
  return f ? Value(static_cast<double>(f->Text().size())) : Value();
}
Value GetTextWidth(Machine&, Object* This, std::span<const Value>)
{
  TextFieldObject* f = Self(This);
  return f ? Value(Pixels(f->TextWidth())) : Value();
}
Value GetTextHeight(Machine&, Object* This, std::span<const Value>)
{
  TextFieldObject* f = Self(This);
  return f ? Value(Pixels(f->TextHeight())) : Value();
}
Value GetMaxScroll(Machine&, Object* This, std::span<const Value>)
{
  TextFieldObject* f = Self(This);
  return f ? Value(static_cast<double>(f->MaxScroll())) : Value();
}
Value GetBottomScroll(Machine&, Object* This, std::span<const Value>)
{
  TextFieldObject* f = Self(This);
  return f ? Value(static_cast<double>(f->BottomScroll())) : Value();
}
Value GetMaxHScroll(Machine&, Object* This, std::span<const Value>)
{
  return Self(This) ? Value(0.0) : Value();
}

// The range a getTextFormat or setTextFormat call names: none (all),
// one index, or begin and end.
std::pair<std::size_t, std::size_t> Range(Machine& M, const TextFieldObject& F, std::span<const Value> Args,
                                          std::size_t Count)
{
  const std::size_t len = F.Text().size();
  const auto index = [&](Value V) {
    const double d = V.ToNumber(M);
    return std::isnan(d) || d < 0 ? std::size_t{0} : static_cast<std::size_t>(std::min(d, double(len)));
  };
  if (Count == 0 || (Count == 1 && Arg(Args, 0).IsUndefined()))
    return {0, len};
  if (Count == 1) {
    const std::size_t b = index(Args[0]);
    return {b, b + 1};
  }
  std::size_t b = Arg(Args, 0).IsUndefined() ? 0 : index(Args[0]);
  std::size_t e = Arg(Args, 1).IsUndefined() ? len : index(Args[1]);
  return {b, e};
}

Value GetTextFormat(Machine& M, Object* This, std::span<const Value> Args)
{
  TextFieldObject* f = Self(This);
  if (!f)
    return Value();
  std::size_t count = Args.size();
  while (count > 0 && Args[count - 1].IsUndefined())
    --count;
  const auto [b, e] = Range(M, *f, Args, std::min<std::size_t>(count, 2));
  return Value(NewTextFormat(M, b >= f->Text().size() && b > 0 ? f->FormatOf(b - 1, b) : f->FormatOf(b, e)));
}

Value SetTextFormat(Machine& M, Object* This, std::span<const Value> Args)
{
  TextFieldObject* f = Self(This);
  if (!f || Args.empty())
    return Value();
  auto* format = dynamic_cast<TextFormatObject*>(Args.back().IsObject() ? Args.back().AsObject() : nullptr);
  if (!format)
    return Value();
  const auto [b, e] = Range(M, *f, Args, Args.size() - 1);
  f->SetFormat(M, b, e, format->Format);
  return Value();
}

Value GetNewTextFormat(Machine& M, Object* This, std::span<const Value>)
{
  TextFieldObject* f = Self(This);
  return f ? Value(NewTextFormat(M, f->NewFormat)) : Value();
}

Value SetNewTextFormat(Machine&, Object* This, std::span<const Value> Args)
{
  TextFieldObject* f = Self(This);
  auto* format = dynamic_cast<TextFormatObject*>(Arg(Args, 0).IsObject() ? Args[0].AsObject() : nullptr);
  if (f && format)
    f->NewFormat.Apply(format->Format);
  return Value();
}

Value ReplaceText(Machine& M, Object* This, std::span<const Value> Args)
{
  TextFieldObject* f = Self(This);
  if (!f || Args.size() < 3)
    return Value();
  const double b = Args[0].ToNumber(M), e = Args[1].ToNumber(M);
  if (std::isnan(b) || std::isnan(e) || b < 0 || e < b)
    return Value();
  f->Replace(M, static_cast<std::size_t>(b), static_cast<std::size_t>(e), DecodeUtf8(Args[2].ToText(M)));
  return Value();
}

Value ReplaceSel(Machine& M, Object* This, std::span<const Value> Args)
{
  // Nothing has the focus, so the caret rests at the end.
  TextFieldObject* f = Self(This);
  if (f && !Args.empty())
    f->Replace(M, f->Text().size(), f->Text().size(), DecodeUtf8(Args[0].ToText(M)));
  return Value();
}

Value RemoveTextField(Machine&, Object* This, std::span<const Value>)
{
  TextFieldObject* f = Self(This);
  DisplayObject* o = f ? f->Placement() : nullptr;
  ClipObject* parent = f ? f->ParentClip() : nullptr;
  if (!o || !parent || o->Depth < 16384)
    return Value();
  auto& list = parent->Instance()->List;
  list.erase(list.begin() + (o - list.data()));
  f->Detach();
  return Value();
}

Value GetDepth(Machine&, Object* This, std::span<const Value>)
{
  TextFieldObject* f = Self(This);
  const DisplayObject* o = f ? f->Placement() : nullptr;
  return o ? Value(static_cast<double>(o->Depth) - 16384) : Value();
}

Value Construct(Machine&, Object* This, std::span<const Value>)
{
  return Value(This);
}

constexpr std::uint16_t Hidden = DontEnum | DontDelete;
constexpr std::uint16_t P = 0;

const Member Members[] = {
    Method("replaceSel", ReplaceSel, Hidden | OnlySwf6),
    Method("getTextFormat", GetTextFormat, Hidden | OnlySwf6),
    Method("setTextFormat", SetTextFormat, Hidden | OnlySwf6),
    Method("removeTextField", RemoveTextField, Hidden | OnlySwf6),
    Method("getNewTextFormat", GetNewTextFormat, Hidden | OnlySwf6),
    Method("setNewTextFormat", SetNewTextFormat, Hidden | OnlySwf6),
    Method("getDepth", GetDepth, Hidden | ReadOnly | OnlySwf6),
    Method("replaceText", ReplaceText, Hidden | OnlySwf7),
    Accessor("gridFitType", GetGridFitType, SetGridFitType, OnlySwf8),
    Accessor("antiAliasType", GetAntiAliasType, SetAntiAliasType, OnlySwf8),
    Accessor("thickness", GetThickness, SetThickness, OnlySwf8),
    Accessor("sharpness", GetSharpness, SetSharpness, OnlySwf8),
    Accessor("filters", GetFilters, SetFilters, DontDelete | OnlySwf8),
    Accessor("scroll", GetScroll, SetScroll, P),
    Accessor("maxscroll", GetMaxScroll, nullptr, P),
    Accessor("borderColor", GetBorderColor, SetBorderColor, P),
    Accessor("backgroundColor", GetBackgroundColor, SetBackgroundColor, P),
    Accessor("textColor", GetTextColor, SetTextColor, P),
    Accessor("tabIndex", GetTabIndex, SetTabIndex, P),
    Accessor("autoSize", GetAutoSizeMode, SetAutoSizeMode, P),
    Accessor("text", GetText, SetText, P),
    Accessor("type", GetType, SetType, P),
    Accessor("htmlText", GetHtmlText, SetHtmlText, P),
    Accessor("variable", GetVariable, SetVariable, P),
    Accessor("hscroll", GetHScroll, SetHScroll, P),
    Accessor("maxhscroll", GetMaxHScroll, nullptr, P),
    Accessor("maxChars", GetMaxChars, SetMaxChars, P),
    Accessor("embedFonts", GetEmbedFonts, SetEmbedFonts, P),
    Accessor("html", GetHtml, SetHtml, P),
    Accessor("border", GetBorder, SetBorder, P),
    Accessor("background", GetBackground, SetBackground, P),
    Accessor("wordWrap", GetWordWrap, SetWordWrap, P),
    Accessor("password", GetPassword, SetPassword, P),
    Accessor("multiline", GetMultiline, SetMultiline, P),
    Accessor("selectable", GetSelectable, SetSelectable, P),
    Accessor("length", GetLength, nullptr, P),
    Accessor("bottomScroll", GetBottomScroll, nullptr, P),
    Accessor("textWidth", GetTextWidth, nullptr, P),
    Accessor("textHeight", GetTextHeight, nullptr, P),
    Accessor("restrict", GetRestrict, SetRestrict, P),
    Accessor("condenseWhite", GetCondenseWhite, SetCondenseWhite, P),
    Accessor("mouseWheelEnabled", GetMouseWheelEnabled, SetMouseWheelEnabled, P),
    Accessor("styleSheet", GetStyleSheet, SetStyleSheet, P),
};

} // namespace

Value CreateTextField(Machine& M, Object* This, std::span<const Value> Args)
{
  auto* clip = dynamic_cast<ClipObject*>(This);
  if (!clip || Args.size() < 6)
    return Value();
  const auto twips = [&](std::size_t I) {
    const double d = Args[I].ToNumber(M);
    return std::isfinite(d) ? static_cast<std::int32_t>(std::clamp(std::round(d * 20), -1e9, 1e9)) : 0;
  };
  const std::int32_t x = twips(2), y = twips(3);
  const Rect box{x, x + std::max(0, twips(4)), y, y + std::max(0, twips(5))};
  TextFieldObject* made = clip->Player().Texts().Create(M, *clip, Args[0].ToText(M), Args[1].ToNumber(M), box);
  return made && M.Version() >= 8 ? Value(static_cast<Object*>(made)) : Value();
}

extern const ClassSpec TextFieldClass = {.Name = "TextField", .Construct = Construct, .Prototype = Members};

} // namespace quenloft::swf::avm1
