// Editing text fields: the focused field, its selection, typing with the
// field's restrict and maxChars, and the clipboard commands.
#include "swf/avm1/ClipGeometry.h"
#include "swf/avm1/ClipObject.h"
#include "swf/avm1/Machine.h"
#include "swf/avm1/PlayerImpl.h"
#include "swf/avm1/globals/Globals.h"
#include "swf/avm1/globals/Restriction.h"
#include "swf/avm1/globals/TextFields.h"

#include <algorithm>
#include <array>

namespace quenloft::swf::avm1 {

Restriction::Restriction(const std::optional<std::string>& Pattern)
{
  if (!Pattern) {
    FAllowed.push_back({0, 0x10FFFF});
    return;
  }
  const std::u32string p = DecodeUtf8(*Pattern);
  std::vector<std::pair<char32_t, char32_t>> current;
  bool allowing = true, haveLast = false;
  char32_t last = 0;
  const auto flush = [&] {
    auto& into = allowing ? FAllowed : FRefused;
    into.insert(into.end(), current.begin(), current.end());
    current.clear();
  };
  for (std::size_t i = 0; i < p.size(); ++i) {
    char32_t c = p[i];
    if (c == U'^') {
      if (allowing && current.empty() && FAllowed.empty())
        FAllowed.push_back({0, 0x10FFFF});
      flush();
      allowing = !allowing;
      haveLast = false;
    } else if (c == U'-') {
      const char32_t from = haveLast ? last : 0;
      if (haveLast)
        current.pop_back();
      char32_t to = from;
      if (i + 1 < p.size() && p[i + 1] != U'^' && p[i + 1] != U'-') {
        ++i;
        if (p[i] == U'\\' && i + 1 < p.size())
          ++i;
        to = std::max(p[i], from);
      }
      current.push_back({from, to});
      haveLast = false;
    } else {
      if (c == U'\\') {
        if (++i >= p.size())
          break;
        c = p[i];
      }
      current.push_back({c, c});
      last = c;
      haveLast = true;
    }
  }
  flush();
}

char32_t Restriction::Admit(char32_t C) const
{
  if (Allows(C))
    return C;
  if (C >= U'a' && C <= U'z' && Allows(C - 32))
    return C - 32;
  if (C >= U'A' && C <= U'Z' && Allows(C + 32))
    return C + 32;
  return 0;
}

bool Restriction::Allows(char32_t C) const
{
  const auto in = [&](const std::vector<std::pair<char32_t, char32_t>>& Ranges) {
    return std::any_of(Ranges.begin(), Ranges.end(), [&](const auto& R) { return C >= R.first && C <= R.second; });
  };
  return in(FAllowed) && !in(FRefused);
}

void TextFieldObject::TypeIn(Machine& M, std::u32string_view T)
{
  if (!Input)
    return;
  SelEnd = std::min(SelEnd, FText.size());
  SelBegin = std::min(SelBegin, SelEnd);
  const std::size_t kept = FText.size() - (SelEnd - SelBegin);
  const std::size_t room = MaxChars > 0 ? static_cast<std::size_t>(std::max<std::ptrdiff_t>(
                                              0, static_cast<std::ptrdiff_t>(MaxChars) - static_cast<std::ptrdiff_t>(kept)))
                                        : std::u32string::npos;
  if (room == 0)
    return;
  std::u32string typed;
  bool any = false;
  const Restriction allowed(Restrict);
  for (char32_t c : T) {
    const bool lineBreak = c == U'\r' || c == U'\n';
    if ((lineBreak && !Multiline) || (c < 32 && !lineBreak) || c == 0x7F)
      continue;
    any = true;
    if (const char32_t a = allowed.Admit(c))
      typed.push_back(a);
  }
  if (!any)
    return;
  if (typed.size() > room)
    typed.resize(room);
  Replace(M, SelBegin, SelEnd, typed);
  SelBegin = SelEnd = SelBegin + typed.size();
  const std::array<Value, 2> args{Value(M.NewString("onChanged")), Value(this)};
  M.CallMethod(Value(this), "broadcastMessage", args);
}

TextFieldObject* TextFields::Focused() const
{
  return FFocused && FFocused->Placement() ? FFocused : nullptr;
}

void TextFields::SetFocused(TextFieldObject* F, bool SelectAll)
{
  if (FFocused && FFocused != F)
    FFocused->SelBegin = FFocused->SelEnd = 0;
  FFocused = F;
  if (F && SelectAll) {
    F->SelBegin = 0;
    F->SelEnd = F->Text().size();
  }
}

void TextFields::Type(Machine& M, std::u32string_view T)
{
  if (TextFieldObject* f = Focused())
    f->TypeIn(M, T);
}

void TextFields::Command(Machine& M, TextCommand C)
{
  TextFieldObject* f = Focused();
  if (!f)
    return;
  const std::size_t len = f->Text().size();
  const std::size_t b = std::min(f->SelBegin, len), e = std::min(f->SelEnd, len);
  switch (C) {
  case TextCommand::SelectAll:
    if (f->Selectable) {
      f->SelBegin = 0;
      f->SelEnd = len;
    }
    break;
  case TextCommand::Copy:
  case TextCommand::Cut:
    // A password never leaves its field.
    if (f->Password || b == e)
      break;
    Clipboard = f->Text().substr(b, e - b);
    if (C == TextCommand::Cut && f->Input) {
      f->Replace(M, b, e, U"");
      f->SelBegin = f->SelEnd = f->Selectable ? b : f->Text().size();
      const std::array<Value, 2> args{Value(M.NewString("onChanged")), Value(f)};
      M.CallMethod(Value(f), "broadcastMessage", args);
    }
    break;
  case TextCommand::Paste:
    // An empty clipboard leaves the selection as it is.
    if (!Clipboard.empty())
      f->TypeIn(M, Clipboard);
    break;
  }
}

bool TextFields::Press(Machine& M, Point P)
{
  TextFieldObject* hit = nullptr;
  Point local;
  for (TextFieldObject* f : FFields) {
    ClipObject* parent = f->ParentClip();
    DisplayObject* o = f->Placement();
    if (!parent || !o || !o->Visible || !f->Selectable || !parent->Instance())
      continue;
    Matrix inverse;
    if (!Invert(StageMatrix(*parent->Instance()) * o->Transform, inverse))
      continue;
    const Point at = inverse.Apply(P);
    const Rect& b = f->Bounds;
    if (at.X < b.XMin || at.X > b.XMax || at.Y < b.YMin || at.Y > b.YMax)
      continue;
    // Later fields in the list were placed later; the depth decides
    // between two in the same clip.
    if (!hit || (hit->ParentClip() == parent && hit->Placement()->Depth < o->Depth) || hit->ParentClip() != parent) {
      hit = f;
      local = at;
    }
  }
  if (!hit) {
    SetFocused(nullptr, false);
    return false;
  }
  (void)M;
  SetFocused(hit, false);
  hit->SelBegin = hit->SelEnd = hit->IndexAt(local.X - hit->Bounds.XMin, local.Y - hit->Bounds.YMin);
  return true;
}

} // namespace quenloft::swf::avm1
