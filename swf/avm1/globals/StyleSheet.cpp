// TextField.StyleSheet: named styles kept as script objects in `_css`
// (what setStyle was given, copied) beside the text formats they turn into
// in `_styles`; parse reads CSS text into styles, load reads a CSS file
// beside the movie and calls parse and onLoad.
#include "swf/avm1/Loads.h"
#include "swf/avm1/Machine.h"
#include "swf/avm1/TextFormat.h"
#include "swf/avm1/globals/CssParser.h"
#include "swf/avm1/globals/Globals.h"
#include "swf/avm1/globals/TextFields.h"

#include <array>
#include <cmath>

namespace quenloft::swf::avm1 {

namespace {

// A plain object with the enumerable properties of V, or null when V is
// no object.
Value ShallowCopy(Machine& M, Value V)
{
  Object* from = V.ObjectOrNull();
  if (!from)
    return Value::Null();
  Object* to = M.NewObject();
  for (Atom name : from->EnumerableNames(M))
    to->Set(M, name, from->Get(M, name));
  return Value(to);
}

// `_css` or `_styles`, made an empty array first when absent.
Object* Table(Machine& M, Object* This, std::string_view Name, bool Make)
{
  const Atom name = M.Intern(Name);
  if (Make && !This->Has(M, name))
    This->Set(M, name, Value(M.NewArray()));
  return This->Get(M, name).ToObject(M);
}

Value SetStyle(Machine& M, Object* This, std::span<const Value> Args)
{
  if (!This)
    return Value();
  Object* styles = Table(M, This, "_styles", true);
  Object* css = Table(M, This, "_css", true);
  const Atom name = M.Intern(Arg(Args, 0).ToText(M));
  if (css)
    css->Set(M, name, ShallowCopy(M, Arg(Args, 1)));
  const std::array<Value, 1> copy{ShallowCopy(M, Arg(Args, 1))};
  const Value format = M.CallMethod(Value(This), "transform", copy);
  if (styles)
    styles->Set(M, name, format);
  return Value();
}

Value GetStyle(Machine& M, Object* This, std::span<const Value> Args)
{
  Object* css = This ? Table(M, This, "_css", false) : nullptr;
  if (!css)
    return Value::Null();
  return ShallowCopy(M, css->Get(M, M.Intern(Arg(Args, 0).ToText(M))));
}

Value GetStyleNames(Machine& M, Object* This, std::span<const Value>)
{
  std::vector<Value> names;
  if (Object* css = This ? Table(M, This, "_css", false) : nullptr)
    for (Atom name : css->EnumerableNames(M))
      names.emplace_back(M.Text(name));
  return Value(M.NewArray(names));
}

Value Clear(Machine& M, Object* This, std::span<const Value>)
{
  if (This) {
    This->Set(M, M.Intern("_styles"), Value(M.NewArray()));
    This->Set(M, M.Intern("_css"), Value(M.NewArray()));
  }
  return Value();
}

Value Parse(Machine& M, Object* This, std::span<const Value> Args)
{
  const std::optional<std::vector<CssRule>> rules = ParseCss(Arg(Args, 0).ToText(M));
  if (!rules)
    return Value(false);
  for (const CssRule& r : *rules) {
    Object* style = M.NewObject();
    for (const auto& [key, value] : r.Properties)
      style->Set(M, M.Intern(CamelCase(key)), Value(M.NewString(value)));
    const std::array<Value, 2> args{Value(M.NewString(r.Selector)), Value(style)};
    SetStyle(M, This, args);
  }
  return Value(true);
}

// What a finished load hands over: the file's text, or nothing when it
// could not be read.
Value OnData(Machine& M, Object* This, std::span<const Value> Args)
{
  if (!This)
    return Value();
  Value ok(false);
  if (!Arg(Args, 0).IsUndefined()) {
    const std::array<Value, 1> text{Args[0]};
    ok = M.CallMethod(Value(This), "parse", text);
  }
  const std::array<Value, 1> result{ok};
  M.CallMethod(Value(This), "onLoad", result);
  return Value();
}

Value Load(Machine& M, Object* This, std::span<const Value> Args)
{
  if (!This || Args.empty())
    return Value(false);
  const std::string url = Args[0].ToText(M);
  if (M.Loads())
    M.Loads()->LoadText(This, url, "StyleSheet.load");
  else
    M.GetHost().Log("StyleSheet.load(\"" + url + "\") not carried out: this player reads no files");
  return Value(true);
}

// --- transform: a style object's CSS properties as a TextFormat ---

Value Stored(Machine& M, Object& Style, std::string_view Name)
{
  return Style.Get(M, M.Intern(Name));
}

// parseInt without a radix, as CSS lengths ("12px") are read.
double IntPrefix(Machine& M, Value V)
{
  return ParseIntOf(M, V);
}

std::optional<std::uint32_t> HexColor(std::string_view S)
{
  if (S.size() != 7 || S[0] != '#')
    return std::nullopt;
  std::uint32_t c = 0;
  for (char ch : S.substr(1)) {
    const int d = ch >= '0' && ch <= '9' ? ch - '0' : ch >= 'a' && ch <= 'f' ? ch - 'a' + 10
                                                   : ch >= 'A' && ch <= 'F' ? ch - 'A' + 10
                                                                            : -1;
    if (d < 0)
      return std::nullopt;
    c = c << 4 | static_cast<std::uint32_t>(d);
  }
  return c;
}

std::string Lower(std::string S)
{
  for (char& c : S)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return S;
}

Value Transform(Machine& M, Object*, std::span<const Value> Args)
{
  if (Args.empty() || Args[0].IsNullish())
    return Value::Null();
  FieldFormat f;
  f.Kerning = false;
  f.Display = TextDisplay::Block;
  Object* style = Args[0].ObjectOrNull();
  if (style) {
    const auto truthy = [&](Value V) { return !V.IsUndefined() && V.ToBoolean(M.Version()); };
    if (Value c = Stored(M, *style, "color"); c.IsString())
      if (auto rgb = HexColor(c.ToText(M)))
        f.Color = *rgb;
    if (Value d = Stored(M, *style, "display"); !d.IsUndefined()) {
      const std::string s = d.ToText(M);
      f.Display = s == "none" ? TextDisplay::None : s == "inline" ? TextDisplay::Inline : TextDisplay::Block;
    }
    if (Value family = Stored(M, *style, "fontFamily"); truthy(family))
      f.Font = FontList(family.ToText(M));
    if (Value size = Stored(M, *style, "fontSize"); !size.IsUndefined()) {
      const std::int32_t s = NumberToInt32(IntPrefix(M, size));
      if (s > 0)
        f.Size = s;
    }
    const std::string italic = Stored(M, *style, "fontStyle").ToText(M);
    if (italic == "normal" || italic == "italic")
      f.Italic = italic == "italic";
    const std::string bold = Stored(M, *style, "fontWeight").ToText(M);
    if (bold == "normal" || bold == "bold")
      f.Bold = bold == "bold";
    if (Value k = Stored(M, *style, "kerning"); !k.IsUndefined())
      f.Kerning = (k.IsString() && k.ToText(M) == "true") || NumberToInt32(IntPrefix(M, k)) != 0;
    if (Value l = Stored(M, *style, "leading"); truthy(l))
      f.Leading = NumberToInt32(IntPrefix(M, l));
    if (Value s = Stored(M, *style, "letterSpacing"); truthy(s))
      f.LetterSpacing = IntPrefix(M, s);
    if (Value l = Stored(M, *style, "marginLeft"); truthy(l))
      f.LeftMargin = std::max(NumberToInt32(IntPrefix(M, l)), 0);
    if (Value r = Stored(M, *style, "marginRight"); truthy(r))
      f.RightMargin = std::max(NumberToInt32(IntPrefix(M, r)), 0);
    if (Value a = Stored(M, *style, "textAlign"); !a.IsUndefined()) {
      const std::string s = Lower(a.ToText(M));
      if (s == "left" || s == "center" || s == "right" || s == "justify")
        f.Align = AlignFromName(s);
    }
    const Value decoration = Stored(M, *style, "textDecoration");
    if (!decoration.IsUndefined()) {
      const std::string s = decoration.ToText(M);
      if (s == "none" || s == "underline")
        f.Underline = s == "underline";
    }
    if (Value i = Stored(M, *style, "textIndent"); truthy(i))
      f.Indent = NumberToInt32(IntPrefix(M, i));
  }
  return Value(NewTextFormat(M, f));
}

Value Construct(Machine&, Object* This, std::span<const Value>)
{
  return Value(This);
}

constexpr std::uint16_t Fixed = DontEnum | DontDelete | ReadOnly | OnlySwf7;

const Member Methods[] = {
    Method("setStyle", SetStyle, Fixed),
    Method("clear", Clear, Fixed),
    Method("getStyleNames", GetStyleNames, Fixed),
    Method("load", Load, Fixed),
    Method("getStyle", GetStyle, Fixed),
    Method("transform", Transform, Fixed),
    Method("parseCSS", Parse, Fixed),
    Method("parse", Parse, Fixed),
    Method("onData", OnData, Fixed),
};

const ClassSpec StyleSheetClass = {.Name = "StyleSheet", .Construct = Construct, .Prototype = Methods};

} // namespace

void InstallStyleSheet(Machine& M)
{
  FunctionObject* made = M.Install(StyleSheetClass);
  M.Global()->Delete(M, M.Intern("StyleSheet"));
  if (Object* field = M.Global()->Get(M, M.Intern("TextField")).ObjectOrNull())
    field->Define(M, M.Intern("StyleSheet"), Value(static_cast<Object*>(made)), DontEnum | OnlySwf7);
}

} // namespace quenloft::swf::avm1
