// flash.filters: the filter objects script makes and hands to clips. Each
// holds its settings as properties, filled from the constructor's
// arguments in the player's order with the player's defaults, and clones
// itself; the renderer reads them from a clip's `filters`.
#include "swf/avm1/Machine.h"
#include "swf/avm1/globals/Globals.h"
#include "swf/avm1/globals/Services.h"
#include "swf/avm1/Object.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <string>

namespace quenloft::swf::avm1 {

namespace {

// One setting: its name and default (a number, flag, word, an empty
// array, the identity colour matrix, or undefined).
struct Setting {
  std::string_view Name;
  double Number = 0;
  std::string_view Text = {};
  enum class Kind : std::uint8_t { Number, Bool, Text, List, Identity, Undefined, Point } Type = Kind::Number;
};
constexpr Setting Num(std::string_view N, double D) { return {N, D, {}, Setting::Kind::Number}; }
constexpr Setting Flag(std::string_view N, bool B) { return {N, B ? 1.0 : 0.0, {}, Setting::Kind::Bool}; }
constexpr Setting Word(std::string_view N, std::string_view T) { return {N, 0, T, Setting::Kind::Text}; }
constexpr Setting List(std::string_view N) { return {N, 0, {}, Setting::Kind::List}; }
constexpr Setting None(std::string_view N) { return {N, 0, {}, Setting::Kind::Undefined}; }

const Setting Bevel[] = {Num("distance", 4),        Num("angle", 45),     Num("highlightColor", 0xFFFFFF),
                         Num("highlightAlpha", 1),  Num("shadowColor", 0), Num("shadowAlpha", 1),
                         Num("blurX", 4),           Num("blurY", 4),      Num("strength", 1),
                         Num("quality", 1),         Word("type", "inner"), Flag("knockout", false)};
const Setting Blur[] = {Num("blurX", 4), Num("blurY", 4), Num("quality", 1)};
const Setting ColorMatrix[] = {{"matrix", 0, {}, Setting::Kind::Identity}};
const Setting Convolution[] = {Num("matrixX", 0),  Num("matrixY", 0),         List("matrix"),
                               Num("divisor", 1),  Num("bias", 0),            Flag("preserveAlpha", true),
                               Flag("clamp", true), Num("color", 0),          Num("alpha", 0)};
const Setting Displacement[] = {None("mapBitmap"), {"mapPoint", 0, {}, Setting::Kind::Point}, Num("componentX", 0),
                                Num("componentY", 0), Num("scaleX", 0), Num("scaleY", 0),
                                Word("mode", "wrap"), Num("color", 0), Num("alpha", 0)};
const Setting DropShadow[] = {Num("distance", 4), Num("angle", 45),     Num("color", 0),
                              Num("alpha", 1),    Num("blurX", 4),      Num("blurY", 4),
                              Num("strength", 1), Num("quality", 1),    Flag("inner", false),
                              Flag("knockout", false), Flag("hideObject", false)};
const Setting Glow[] = {Num("color", 0xFF0000), Num("alpha", 1),      Num("blurX", 6),
                        Num("blurY", 6),        Num("strength", 2),   Num("quality", 1),
                        Flag("inner", false),   Flag("knockout", false)};
const Setting GradientBevel[] = {Num("distance", 4), Num("angle", 45),    List("colors"),
                                 List("alphas"),     List("ratios"),      Num("blurX", 4),
                                 Num("blurY", 4),    Num("strength", 1),  Num("quality", 1),
                                 Word("type", "inner"), Flag("knockout", false)};
const Setting GradientGlow[] = {Num("distance", 4), Num("angle", 45),    List("colors"),
                                List("alphas"),     List("ratios"),      Num("blurX", 4),
                                Num("blurY", 4),    Num("strength", 1),  Num("quality", 1),
                                Word("type", "outer"), Flag("knockout", false)};

struct FilterKind {
  std::string_view Name;
  std::span<const Setting> Settings;
};
const FilterKind Kinds[] = {
    {"BevelFilter", Bevel},
    {"BlurFilter", Blur},
    {"ColorMatrixFilter", ColorMatrix},
    {"ConvolutionFilter", Convolution},
    {"DisplacementMapFilter", Displacement},
    {"DropShadowFilter", DropShadow},
    {"GlowFilter", Glow},
    {"GradientBevelFilter", GradientBevel},
    {"GradientGlowFilter", GradientGlow},
};

Value NewList(Machine& M, std::size_t Count, bool Identity)
{
  std::vector<Value> items(Count, Value(0));
  for (std::size_t i = 0; Identity && i < Count; i += 6)
    items[i] = Value(1);
  return Value(M.NewArray(items));
}

Value Default(Machine& M, const Setting& S)
{
  switch (S.Type) {
  case Setting::Kind::Number: return Value(S.Number);
  case Setting::Kind::Bool: return Value(S.Number != 0);
  case Setting::Kind::Text: return Value(M.NewString(std::string(S.Text)));
  case Setting::Kind::List: return NewList(M, 0, false);
  case Setting::Kind::Identity: return NewList(M, 20, true);
  case Setting::Kind::Undefined:
  case Setting::Kind::Point: break;
  }
  return Value();
}

// The filter kind This was made as, by its prototype (nullptr for the
// BitmapFilter base and anything else).
const FilterKind* KindOf(Machine& M, Object* This)
{
  for (const FilterKind& k : Kinds)
    if (This && This->Proto() && This->Proto() == M.Prototype(k.Name))
      return &k;
  return nullptr;
}

void Fill(Machine& M, Object& Target, const FilterKind& Kind, std::span<const Value> Args)
{
  for (std::size_t i = 0; i < Kind.Settings.size(); ++i) {
    const Setting& s = Kind.Settings[i];
    const Value v = i < Args.size() && !Args[i].IsUndefined() ? Args[i] : Default(M, s);
    if (s.Type == Setting::Kind::Point)
      Target.Set(M, M.Intern(s.Name), v); // through the prototype's accessor
    else
      Target.Define(M, M.Intern(s.Name), v, 0);
  }
}

Value Construct(Machine& M, Object* This, std::span<const Value> Args)
{
  if (const FilterKind* kind = KindOf(M, This))
    Fill(M, *This, *kind, Args);
  return Value(This);
}

// A new filter of This's kind with the same settings (arrays copied).
Value Clone(Machine& M, Object* This, std::span<const Value>)
{
  const FilterKind* kind = KindOf(M, This);
  if (!kind)
    return Value();
  std::vector<Value> args;
  for (const Setting& s : kind->Settings) {
    Value v = This->Get(M, M.Intern(s.Name));
    if (Object* list = v.ObjectOrNull(); list && (s.Type == Setting::Kind::List || s.Type == Setting::Kind::Identity))
      v = M.CallMethod(v, "concat", {});
    args.push_back(v);
  }
  return M.Construct(Value(static_cast<Object*>(M.Constructor(kind->Name))), args);
}

const Member FilterMethods[] = {
    Method("clone", Clone),
};

// A displacement map's point, kept as two whole numbers in hidden
// properties and read as a new flash.geom.Point.
Value GetMapPoint(Machine& M, Object* This, std::span<const Value>)
{
  if (!This)
    return Value();
  return NewPoint(M, This->OwnData(M, M.Intern("__mapX")), This->OwnData(M, M.Intern("__mapY")));
}

// The player's conversion to a whole number: NaN and numbers beyond 32
// bits become -2^31.
double WholeOrMin(double D)
{
  if (!(D > -2147483649.0 && D < 2147483648.0))
    return -2147483648.0;
  return std::trunc(D);
}

// An object with both x and y sets the point; anything else sets (0, 0).
// Both coordinates are converted even when the first throws; the first
// error is thrown once the point is stored.
Value SetMapPoint(Machine& M, Object* This, std::span<const Value> Args)
{
  if (!This)
    return Value();
  double x = 0, y = 0;
  std::optional<ScriptThrow> error;
  if (Object* p = Arg(Args, 0).ObjectOrNull()) {
    const auto coordinate = [&](Atom Name) {
      try {
        return WholeOrMin(p->Get(M, Name).ToNumber(M));
      } catch (ScriptThrow& e) {
        if (!error)
          error = e;
        return -2147483648.0;
      }
    };
    const Atom nx = M.Intern("x"), ny = M.Intern("y");
    const bool hasX = p->Has(M, nx), hasY = p->Has(M, ny);
    if (hasX)
      x = coordinate(nx);
    if (hasY)
      y = coordinate(ny);
    if (!hasX || !hasY)
      x = y = 0;
  }
  This->Define(M, M.Intern("__mapX"), Value(x), DontEnum);
  This->Define(M, M.Intern("__mapY"), Value(y), DontEnum);
  if (error)
    throw *error;
  return Value();
}

const Member DisplacementMethods[] = {
    Method("clone", Clone),
    Accessor("mapPoint", GetMapPoint, SetMapPoint),
};

constexpr ClassSpec Spec(std::string_view Name, std::string_view Base,
                         std::span<const Member> Methods = FilterMethods)
{
  return {.Name = Name, .Construct = Construct, .Prototype = Methods, .Base = Base};
}
const ClassSpec BitmapFilterClass = Spec("BitmapFilter", "");
const ClassSpec FilterClasses[] = {
    Spec("BevelFilter", "BitmapFilter"),         Spec("BlurFilter", "BitmapFilter"),
    Spec("ColorMatrixFilter", "BitmapFilter"),   Spec("ConvolutionFilter", "BitmapFilter"),
    Spec("DisplacementMapFilter", "BitmapFilter", DisplacementMethods), Spec("DropShadowFilter", "BitmapFilter"),
    Spec("GlowFilter", "BitmapFilter"),          Spec("GradientBevelFilter", "BitmapFilter"),
    Spec("GradientGlowFilter", "BitmapFilter"),
};

// A script colour (0xRRGGBB) and alpha (0 to 1) as the file's colour.
Rgba ColourOf(double Rgb, double Alpha)
{
  const auto bits = static_cast<std::uint32_t>(static_cast<std::int64_t>(std::isfinite(Rgb) ? Rgb : 0));
  const double a = std::isfinite(Alpha) ? std::clamp(Alpha, 0.0, 1.0) : 0;
  return {static_cast<std::uint8_t>(bits >> 16), static_cast<std::uint8_t>(bits >> 8), static_cast<std::uint8_t>(bits),
          static_cast<std::uint8_t>(std::lround(a * 255))};
}

// One filter object's settings as the renderer's filter; nullopt for a
// kind it does not draw.
std::optional<swf::Filter> RendererFilter(Machine& M, Object& F, const FilterKind& Kind)
{
  const auto number = [&](std::string_view Name) { return F.Get(M, M.Intern(Name)).ToNumber(M); };
  const auto flag = [&](std::string_view Name) { return F.Get(M, M.Intern(Name)).ToBoolean(M.Version()); };
  const auto numbers = [&](std::string_view Name) {
    std::vector<double> out;
    if (Object* list = F.Get(M, M.Intern(Name)).ObjectOrNull()) {
      const double n = list->Get(M, M.Intern("length")).ToNumber(M);
      for (int i = 0; i < std::clamp(n, 0.0, 1024.0); ++i)
        out.push_back(list->Get(M, M.Intern(std::to_string(i))).ToNumber(M));
    }
    return out;
  };
  swf::Filter f;
  const std::string_view name = Kind.Name;
  const auto light = [&] {
    f.Distance = number("distance");
    f.Angle = number("angle") * M_PI / 180;
  };
  const auto blur = [&] {
    f.BlurX = number("blurX");
    f.BlurY = number("blurY");
    f.Strength = number("strength");
    const double q = number("quality");
    f.Passes = std::isfinite(q) ? static_cast<int>(std::clamp(q, 0.0, 15.0)) : 0;
  };
  const auto side = [&] {
    const std::string type = F.Get(M, M.Intern("type")).ToText(M);
    f.Inner = type == "inner";
    f.OnTop = type == "full";
  };
  const auto gradient = [&] {
    const std::vector<double> colours = numbers("colors");
    const std::vector<double> alphas = numbers("alphas");
    const std::vector<double> ratios = numbers("ratios");
    const std::size_t n = std::min({colours.size(), alphas.size(), ratios.size(), std::size_t{16}});
    for (std::size_t i = 0; i < n; ++i) {
      const double r = std::isfinite(ratios[i]) ? std::clamp(ratios[i], 0.0, 255.0) : 0;
      f.Gradient.push_back({static_cast<std::uint8_t>(r), ColourOf(colours[i], alphas[i])});
    }
  };
  f.Knockout = Kind.Settings.size() > 1 && flag("knockout");
  if (name == "BlurFilter") {
    f.Type = swf::Filter::Kind::Blur;
    blur();
  } else if (name == "DropShadowFilter") {
    f.Type = swf::Filter::Kind::DropShadow;
    light();
    blur();
    f.Color = ColourOf(number("color"), number("alpha"));
    f.Inner = flag("inner");
    f.Composite = !flag("hideObject");
  } else if (name == "GlowFilter") {
    f.Type = swf::Filter::Kind::Glow;
    blur();
    f.Color = ColourOf(number("color"), number("alpha"));
    f.Inner = flag("inner");
  } else if (name == "BevelFilter") {
    f.Type = swf::Filter::Kind::Bevel;
    light();
    blur();
    f.Highlight = ColourOf(number("highlightColor"), number("highlightAlpha"));
    f.Color = ColourOf(number("shadowColor"), number("shadowAlpha"));
    side();
  } else if (name == "GradientGlowFilter" || name == "GradientBevelFilter") {
    f.Type = name == "GradientGlowFilter" ? swf::Filter::Kind::GradientGlow : swf::Filter::Kind::GradientBevel;
    light();
    blur();
    gradient();
    side();
  } else if (name == "ColorMatrixFilter") {
    f.Type = swf::Filter::Kind::ColorMatrix;
    const std::vector<double> m = numbers("matrix");
    for (std::size_t i = 0; i < f.Colors.size(); ++i)
      f.Colors[i] = static_cast<float>(i < m.size() ? m[i] : 0);
  } else if (name == "ConvolutionFilter") {
    f.Type = swf::Filter::Kind::Convolution;
    const double cols = number("matrixX");
    const double rows = number("matrixY");
    f.Columns = static_cast<std::uint8_t>(std::isfinite(cols) ? std::clamp(cols, 0.0, 255.0) : 0);
    f.Rows = static_cast<std::uint8_t>(std::isfinite(rows) ? std::clamp(rows, 0.0, 255.0) : 0);
    for (const double v : numbers("matrix"))
      f.Matrix.push_back(static_cast<float>(v));
    f.Matrix.resize(std::size_t{f.Columns} * f.Rows, 0.0f);
    f.Divisor = static_cast<float>(number("divisor"));
    f.Bias = static_cast<float>(number("bias"));
    f.PreserveAlpha = flag("preserveAlpha");
    f.Clamp = flag("clamp");
    f.Outside = ColourOf(number("color"), number("alpha"));
  } else {
    return std::nullopt;
  }
  return f;
}

} // namespace

std::shared_ptr<const swf::FilterList> ScriptFilters(Machine& M, Value List)
{
  Object* list = List.ObjectOrNull();
  if (!list)
    return nullptr;
  auto filters = std::make_shared<swf::FilterList>();
  const double n = list->Get(M, M.Intern("length")).ToNumber(M);
  for (int i = 0; i < std::clamp(n, 0.0, 256.0); ++i) {
    Object* item = list->Get(M, M.Intern(std::to_string(i))).ObjectOrNull();
    const FilterKind* kind = KindOf(M, item);
    if (!kind)
      continue;
    if (std::optional<swf::Filter> f = RendererFilter(M, *item, *kind))
      filters->push_back(std::move(*f));
  }
  if (filters->empty())
    return nullptr;
  return filters;
}

void InstallFilters(Machine& M, Object& Package)
{
  const auto move = [&](const ClassSpec& S) {
    FunctionObject* ctor = M.Install(S);
    // Install puts classes on the global object; these live in flash.filters.
    M.Global()->Delete(M, M.Intern(S.Name));
    Package.Define(M, M.Intern(S.Name), Value(static_cast<Object*>(ctor)), 0);
  };
  move(BitmapFilterClass);
  for (const ClassSpec& s : FilterClasses)
    move(s);
}

} // namespace quenloft::swf::avm1
