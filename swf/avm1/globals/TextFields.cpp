// The text field object: its text with one format per character, its
// settings, and the display properties it shares with clips.
#include "swf/avm1/globals/TextFields.h"

#include "swf/avm1/ClipObject.h"
#include "swf/avm1/Machine.h"
#include "swf/avm1/PlayerImpl.h"
#include "swf/avm1/globals/Globals.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>

namespace quenloft::swf::avm1 {

namespace {

// The format a field made by script starts with.
FieldFormat ScriptDefault()
{
  FieldFormat f;
  f.Font = "Times New Roman";
  f.Size = 12;
  f.Color = 0;
  f.Bold = f.Italic = f.Underline = f.Bullet = f.Kerning = false;
  f.Url = f.Target = "";
  f.Align = TextAlign::Left;
  f.LeftMargin = f.RightMargin = f.Indent = f.Leading = f.BlockIndent = 0;
  f.TabStops = std::vector<double>{};
  f.LetterSpacing = 0;
  f.Display = TextDisplay::Block;
  return f;
}

const Font* FontById(const Movie& Mv, CharacterId Id)
{
  const Character* c = Mv.Find(Id);
  return c ? std::get_if<Font>(c) : nullptr;
}

std::string Lower(std::string_view S)
{
  std::string l(S);
  for (char& c : l)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return l;
}

} // namespace

void TextFieldObject::Setup(Machine& M, const EditTextField* Def, const Rect& Box)
{
  Bounds = Box;
  NewFormat = ScriptDefault();
  if (Def) {
    const Movie& mv = FParent->Player().Timeline().Movie();
    if (const Font* f = FontById(mv, Def->FontId)) {
      // A plain field takes the font's bold and italic; an HTML one
      // leaves them to its markup.
      NewFormat.Font = f->Name;
      if (!Def->Html) {
        NewFormat.Bold = f->Bold;
        NewFormat.Italic = f->Italic;
      }
    }
    if (Def->FontId || Def->Height)
      NewFormat.Size = Def->Height / 20.0;
    NewFormat.Color = (std::uint32_t{Def->Color.R} << 16) | (std::uint32_t{Def->Color.G} << 8) | Def->Color.B;
    // A field the tag makes HTML aligns left unless a SWF 8 movie gives
    // it initial text.
    NewFormat.Align = Def->Html && (M.Version() < 8 || Def->Initial.empty()) ? TextAlign::Left : Def->Align;
    NewFormat.LeftMargin = Def->LeftMargin / 20.0;
    NewFormat.RightMargin = Def->RightMargin / 20.0;
    NewFormat.Indent = std::nearbyint(Def->Indent / 20.0);
    NewFormat.Leading = Def->Leading / 20.0;
    Html = Def->Html;
    Multiline = Def->Multiline;
    WordWrap = Def->WordWrap;
    Password = Def->Password;
    Selectable = !Def->NoSelect;
    Border = Background = Def->Border;
    EmbedFonts = Def->UseOutlines;
    Input = !Def->ReadOnly;
    MaxChars = Def->MaxLength;
    Fit = Def->AutoSize ? AutoSize::Left : AutoSize::None;
    Variable = Def->Variable;
    if (Html)
      SetHtmlText(M, Def->Initial);
    else
      SetText(M, DecodeUtf8(Def->Initial));
  }
  MakeBroadcaster(M, *this);
  Object* listeners = Get(M, M.Intern("_listeners")).ToObject(M);
  if (listeners)
    M.CallMethod(Value(listeners), "push", std::span<const Value>(std::array<Value, 1>{Value(this)}));
}

DisplayObject* TextFieldObject::Placement() const
{
  if (FDetached || !FParent->Instance())
    return nullptr;
  for (DisplayObject& o : FParent->Instance()->List)
    if (o.Depth == FDepth && !o.Sprite && o.Character == FCharacter)
      return &o;
  return nullptr;
}

std::string TextFieldObject::Name() const
{
  const DisplayObject* o = Placement();
  return o ? o->Name : std::string();
}

const String* TextFieldObject::DisplayPath(Machine& M)
{
  ClipObject* p = ParentClip();
  if (!p || !Placement())
    return M.NewString("");
  return M.NewString(p->DotPath() + "." + Name());
}

void TextFieldObject::Trace(Marker& Mk)
{
  Object::Trace(Mk);
  Mk.Mark(FParent);
  Mk.Mark(StyleSheet);
  if (TabIndex.IsObject())
    Mk.Mark(TabIndex.AsObject());
}

// --- Text and formats ---------------------------------------------------------

std::size_t TextFieldObject::FormatIndex(const FieldFormat& F)
{
  for (std::size_t i = 0; i < FFormats.size(); ++i)
    if (FFormats[i] == F)
      return i;
  FFormats.push_back(F);
  return FFormats.size() - 1;
}

void TextFieldObject::SetText(Machine& M, std::u32string_view T)
{
  FText.clear();
  FFormatOf.clear();
  FFormats.clear();
  Replace(M, 0, 0, T);
}

void TextFieldObject::Replace(Machine& M, std::size_t Begin, std::size_t End, std::u32string_view T)
{
  End = std::min(End, FText.size());
  Begin = std::min(Begin, End);
  std::u32string text(T);
  // Fields keep \r as their one line break; a single-line field keeps
  // what script gives it all the same.
  for (char32_t& c : text)
    if (c == U'\n')
      c = U'\r';
  const auto index = static_cast<std::uint32_t>(FormatIndex(NewFormat));
  FText.replace(Begin, End - Begin, text);
  FFormatOf.erase(FFormatOf.begin() + static_cast<std::ptrdiff_t>(Begin),
                  FFormatOf.begin() + static_cast<std::ptrdiff_t>(End));
  FFormatOf.insert(FFormatOf.begin() + static_cast<std::ptrdiff_t>(Begin), text.size(), index);
  Changed(M);
}

FieldFormat TextFieldObject::FormatOf(std::size_t Begin, std::size_t End) const
{
  End = std::min(End, FText.size());
  if (Begin >= End)
    return Begin < FText.size() ? FFormats[FFormatOf[Begin]] : FieldFormat{};
  FieldFormat f = FFormats[FFormatOf[Begin]];
  for (std::size_t i = Begin + 1; i < End; ++i)
    if (FFormatOf[i] != FFormatOf[i - 1])
      f.Intersect(FFormats[FFormatOf[i]]);
  return f;
}

void TextFieldObject::SetFormat(Machine& M, std::size_t Begin, std::size_t End, const FieldFormat& F)
{
  End = std::min(End, FText.size());
  for (std::size_t i = Begin; i < End; ++i) {
    FieldFormat f = FFormats[FFormatOf[i]];
    f.Apply(F);
    FFormatOf[i] = static_cast<std::uint32_t>(FormatIndex(f));
  }
  Changed(M);
}

// --- Display properties ----------------------------------------------------------

namespace {

double ScaleX(const Matrix& X) { return std::hypot(X.A, X.B); }
double ScaleY(const Matrix& X) { return std::hypot(X.C, X.D); }
double Rotation(const Matrix& X) { return std::atan2(X.B, X.A) * 180 / std::numbers::pi; }

} // namespace

bool TextFieldObject::GetOwnVirtual(Machine& M, Atom Name, Value& Out)
{
  const std::string_view raw = M.Atoms().View(Name);
  if (raw.empty() || raw[0] != '_')
    return false;
  const std::string name = Lower(raw);
  const DisplayObject* o = Placement();
  if (name == "_parent") {
    Out = ParentClip() ? Value(static_cast<Object*>(ParentClip())) : Value();
    return true;
  }
  if (name == "_root" || name == "_level0") {
    Out = Value(M.Root());
    return true;
  }
  if (name == "_global") {
    Out = Value(M.Global());
    return true;
  }
  if (!o) {
    const bool known = name == "_x" || name == "_y" || name == "_width" || name == "_height" ||
                       name == "_xscale" || name == "_yscale" || name == "_alpha" || name == "_visible" ||
                       name == "_rotation" || name == "_name" || name == "_target";
    if (known)
      Out = Value();
    return known;
  }
  const Matrix& m = o->Transform;
  // A field's position is that of its box's corner.
  if (name == "_x")
    Out = Value((m.Tx + ScaleX(m) * Bounds.XMin) / 20);
  else if (name == "_y")
    Out = Value((m.Ty + ScaleY(m) * Bounds.YMin) / 20);
  else if (name == "_width")
    Out = Value((Bounds.XMax - Bounds.XMin) * ScaleX(m) / 20);
  else if (name == "_height")
    Out = Value((Bounds.YMax - Bounds.YMin) * ScaleY(m) / 20);
  else if (name == "_xscale")
    Out = Value(ScaleX(m) * 100);
  else if (name == "_yscale")
    Out = Value(ScaleY(m) * 100);
  else if (name == "_rotation")
    Out = Value(Rotation(m));
  else if (name == "_alpha")
    Out = Value(o->Color.AMul * 100);
  else if (name == "_visible")
    Out = Value(o->Visible);
  else if (name == "_name")
    Out = Value(M.NewString(o->Name));
  else if (name == "_target")
    Out = Value(M.NewString(ParentClip()->SlashPath() == "/" ? "/" + o->Name
                                                             : ParentClip()->SlashPath() + "/" + o->Name));
  else if (name == "_highquality")
    Out = Value(1.0);
  else if (name == "_quality")
    Out = Value(M.NewString("HIGH"));
  else if (name == "_xmouse" || name == "_ymouse")
    Out = Value(0.0);
  else
    return false;
  return true;
}

bool TextFieldObject::SetOwnVirtual(Machine& M, Atom Name, Value V)
{
  const std::string_view raw = M.Atoms().View(Name);
  if (raw.empty() || raw[0] != '_')
    return false;
  const std::string name = Lower(raw);
  const bool known = name == "_x" || name == "_y" || name == "_width" || name == "_height" || name == "_xscale" ||
                     name == "_yscale" || name == "_alpha" || name == "_visible" || name == "_rotation" ||
                     name == "_name";
  if (!known)
    return name == "_target" || name == "_parent" || name == "_root";
  DisplayObject* o = Placement();
  if (!o)
    return true;
  if (name == "_name") {
    o->Name = V.ToText(M);
    return true;
  }
  if (name == "_visible") {
    o->Visible = V.ToBoolean(M.Version());
    // Hiding what has the focus takes the focus away.
    if (ClipObject* p = ParentClip(); p && !o->Visible && p->Player().Input().Focus() == this)
      p->Player().Input().SetFocus(nullptr);
    return true;
  }
  const double d = V.ToNumber(M);
  if (std::isnan(d))
    return true;
  Matrix& m = o->Transform;
  if (name == "_x")
    m.Tx = std::round(d * 20 - ScaleX(m) * Bounds.XMin);
  else if (name == "_y")
    m.Ty = std::round(d * 20 - ScaleY(m) * Bounds.YMin);
  else if (name == "_alpha")
    o->Color.AMul = static_cast<std::int16_t>(NumberToInt32(d * 256 / 100)) / 256.0; // 8.8 fixed point
  else if (name == "_width")
    Bounds.XMax = Bounds.XMin + static_cast<std::int32_t>(std::round(std::max(d, 0.0) * 20 / std::max(ScaleX(m), 1e-9)));
  else if (name == "_height")
    Bounds.YMax = Bounds.YMin + static_cast<std::int32_t>(std::round(std::max(d, 0.0) * 20 / std::max(ScaleY(m), 1e-9)));
  else {
    const double sx = name == "_xscale" ? d / 100 : ScaleX(m);
    const double sy = name == "_yscale" ? d / 100 : ScaleY(m);
    double r = name == "_rotation" ? std::fmod(d, 360) : Rotation(m);
    r = r > 180 ? r - 360 : r < -180 ? r + 360 : r;
    const double rad = r * std::numbers::pi / 180;
    m.A = sx * std::cos(rad);
    m.B = sx * std::sin(rad);
    m.C = -sy * std::sin(rad);
    m.D = sy * std::cos(rad);
  }
  if (name == "_width" || name == "_height")
    Changed(M);
  return true;
}

bool TextFieldObject::HasOwnVirtual(Machine& M, Atom Name)
{
  Value v;
  return GetOwnVirtual(M, Name, v);
}

// --- The player's list -------------------------------------------------------------

TextFields::TextFields(Machine& M)
{
  M.AddRoots([this](Marker& Mk) { TraceLive(Mk); });
}

void TextFields::TraceLive(Marker& Mk)
{
  // Fields whose placement went away are dropped here: script may still
  // hold them, detached.
  std::erase_if(FFields, [](TextFieldObject* F) {
    if (F->Placement())
      return false;
    F->Detach();
    return true;
  });
  for (TextFieldObject* f : FFields)
    Mk.Mark(f);
  Mk.Mark(FFocused);
}

TextFieldObject* TextFields::Of(Machine& M, ClipObject& Parent, const DisplayObject& O)
{
  if (O.Sprite)
    return nullptr;
  for (TextFieldObject* f : FFields)
    if (f->Matches(&Parent, O.Depth) && f->Placement() == &O)
      return f;
  const Character* c = Parent.Player().Timeline().Movie().Find(O.Character);
  const auto* text = c ? std::get_if<swf::Text>(c) : nullptr;
  if (!text || !text->Edit)
    return nullptr;
  auto* f = M.Heap().Make<TextFieldObject>(M.Prototype("TextField"), &Parent, O.Depth, O.Character);
  FFields.push_back(f);
  f->Setup(M, text->Edit.get(), text->Edit->Bounds);
  return f;
}

TextFieldObject* TextFields::Named(Machine& M, ClipObject& Parent, Atom Name)
{
  SpriteInstance* s = Parent.Instance();
  if (!s)
    return nullptr;
  const Atom key = M.Key(Name);
  for (const DisplayObject& o : s->List)
    if (!o.Sprite && !o.Name.empty() && M.Key(M.Intern(o.Name)) == key)
      if (TextFieldObject* f = Of(M, Parent, o))
        return f;
  return nullptr;
}

TextFieldObject* TextFields::Place(Machine& M, ClipObject& Parent, double Depth, DisplayObject O,
                                   const EditTextField* Def, const Rect& Box)
{
  SpriteInstance* s = Parent.Instance();
  const double d = std::trunc(Depth) + 16384;
  if (!s || std::isnan(Depth) || d < 0 || d > 65535)
    return nullptr;
  const auto depth = static_cast<swf::Depth>(d);
  auto it = std::find_if(s->List.begin(), s->List.end(), [&](const DisplayObject& X) { return X.Depth >= depth; });
  if (it != s->List.end() && it->Depth == depth) {
    if (it->Sprite) {
      Parent.Player().Timeline().RemoveClip(*it->Sprite);
      it = std::find_if(s->List.begin(), s->List.end(), [&](const DisplayObject& X) { return X.Depth >= depth; });
    }
    if (it != s->List.end() && it->Depth == depth)
      it = s->List.erase(it);
  }
  O.Depth = depth;
  const CharacterId id = O.Character;
  s->List.insert(it, std::move(O));
  for (TextFieldObject* f : FFields)
    if (f->Matches(&Parent, depth))
      f->Detach();
  auto* f = M.Heap().Make<TextFieldObject>(M.Prototype("TextField"), &Parent, depth, id);
  FFields.push_back(f);
  f->Setup(M, Def, Box);
  f->Changed(M);
  return f;
}

TextFieldObject* TextFields::Create(Machine& M, ClipObject& Parent, const std::string& Name, double Depth,
                                    const Rect& Box)
{
  DisplayObject o;
  o.Name = Name;
  o.Transform.Tx = Box.XMin;
  o.Transform.Ty = Box.YMin;
  o.Shown = std::make_shared<swf::Text>();
  return Place(M, Parent, Depth, std::move(o), nullptr, Rect{0, Box.XMax - Box.XMin, 0, Box.YMax - Box.YMin});
}

TextFieldObject* TextFields::Duplicate(Machine& M, TextFieldObject& F, const std::string& Name, double Depth)
{
  // The copy is placed like the original but starts as the tag made it
  // (or, for a field script made, as createTextField makes one with no box).
  ClipObject* parent = F.ParentClip();
  const DisplayObject* placed = F.Placement();
  if (!parent || !placed)
    return nullptr;
  DisplayObject o = *placed;
  o.Name = Name;
  o.Sprite.reset();
  const Character* c = o.Character ? parent->Player().Timeline().Movie().Find(o.Character) : nullptr;
  const auto* text = c ? std::get_if<swf::Text>(c) : nullptr;
  const EditTextField* def = text && text->Edit ? text->Edit.get() : nullptr;
  o.Shown = def ? nullptr : std::make_shared<swf::Text>();
  return Place(M, *parent, Depth, std::move(o), def, def ? def->Bounds : Rect{});
}

} // namespace quenloft::swf::avm1
