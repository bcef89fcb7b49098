// Edit text fields seen from script: the object of each field (placed by
// the timeline from DefineEditText, or made by createTextField), and the
// player's list of them.
//
// A field's object finds its placement in its parent clip's display list
// by depth and character; once the placement is gone the object stays
// (script may hold it) but is detached and its display properties read as
// undefined.
//
// Threads: the machine's thread.
#pragma once

#include "swf/EditText.h"
#include "swf/Timeline.h"
#include "swf/avm1/Input.h"
#include "swf/avm1/TextFormat.h"
#include "swf/avm1/Utf8.h"

#include <memory>
#include <string>
#include <vector>

namespace quenloft::swf::avm1 {

class ClipObject;

enum class AutoSize : std::uint8_t { None, Left, Center, Right };

class TextFieldObject final : public Object {
public:
  TextFieldObject(Object* Proto, ClipObject* Parent, swf::Depth D, CharacterId Id)
      : Object(Proto), FParent(Parent), FDepth(D), FCharacter(Id)
  {
  }

  // Takes the settings of a DefineEditText (nullptr: createTextField's).
  void Setup(Machine& M, const EditTextField* Def, const Rect& Bounds);

  DisplayObject* Placement() const;
  ClipObject* ParentClip() const { return FDetached ? nullptr : FParent; }
  void Detach() { FDetached = true; }
  bool Matches(const ClipObject* Parent, swf::Depth D) const { return !FDetached && FParent == Parent && FDepth == D; }
  std::string Name() const;

  // --- Text and formats ---
  const std::u32string& Text() const { return FText; }
  void SetText(Machine& M, std::u32string_view T);
  std::string HtmlText() const;
  void SetHtmlText(Machine& M, std::string_view Source);
  // Replaces [Begin, End) by T in the new-text format.
  void Replace(Machine& M, std::size_t Begin, std::size_t End, std::u32string_view T);
  FieldFormat FormatOf(std::size_t Begin, std::size_t End) const;
  void SetFormat(Machine& M, std::size_t Begin, std::size_t End, const FieldFormat& F);

  // --- Metrics, in twips ---
  double TextWidth() const;
  double TextHeight() const;
  int MaxScroll() const;
  int BottomScroll() const;

  // --- Settings script reads and writes directly ---
  FieldFormat NewFormat;
  bool Html = false, Multiline = false, WordWrap = false, Password = false, Selectable = true;
  bool Border = false, Background = false, EmbedFonts = false, CondenseWhite = false, Input = false;
  bool MouseWheelEnabled = true;
  std::uint32_t BorderColor = 0, BackgroundColor = 0xFFFFFF;
  AutoSize Fit = AutoSize::None;
  int MaxChars = 0;
  int Scroll = 1, HScroll = 0;
  std::string Variable;
  std::optional<std::string> Restrict;
  Object* StyleSheet = nullptr;
  Value TabIndex;
  Rect Bounds; // the field's box in its own coordinates, twips

  // Tells the renderer what the field now shows and re-fits its box.
  void Changed(Machine& M);

  // --- Editing (TextEditing.cpp) ---
  // The selection as character indices; the caret when they are equal.
  std::size_t SelBegin = 0, SelEnd = 0;
  // Typed or pasted text in place of the selection, as an input field
  // takes it: line breaks only when multiline, only what restrict lets
  // through (or its other case), no more than maxChars; the caret follows
  // it and onChanged is broadcast. Nothing happens in a dynamic field.
  void TypeIn(Machine& M, std::u32string_view T);
  // The character index nearest the point (X, Y), in the field's own twips.
  std::size_t IndexAt(double X, double Y) const;

  bool GetOwnVirtual(Machine& M, Atom Name, Value& Out) override;
  bool SetOwnVirtual(Machine& M, Atom Name, Value V) override;
  bool HasOwnVirtual(Machine& M, Atom Name) override;
  const String* DisplayPath(Machine& M) override;
  void Trace(Marker& M) override;

private:
  std::size_t FormatIndex(const FieldFormat& F);
  struct Line {
    double Width = 0, Height = 0, Leading = 0; // Height includes Leading
  };
  std::vector<Line> Lines() const;
  double Advance(const FieldFormat& F, char32_t C) const;

  ClipObject* FParent;
  swf::Depth FDepth;
  CharacterId FCharacter;
  bool FDetached = false;
  std::u32string FText;
  std::vector<std::uint32_t> FFormatOf; // per character, into FFormats
  std::vector<FieldFormat> FFormats;
};

// The player's text fields, traced as roots while placed.
class TextFields {
public:
  explicit TextFields(Machine& M);
  // The object of the edit field placed at O in Parent's list, made on
  // first use; nullptr when O is no edit field.
  TextFieldObject* Of(Machine& M, ClipObject& Parent, const DisplayObject& O);
  // The field named Name among Parent's children, or nullptr.
  TextFieldObject* Named(Machine& M, ClipObject& Parent, Atom Name);
  // createTextField.
  TextFieldObject* Create(Machine& M, ClipObject& Parent, const std::string& Name, double Depth, const Rect& Box);
  // duplicateMovieClip of a field: a copy of F named Name at Depth.
  TextFieldObject* Duplicate(Machine& M, TextFieldObject& F, const std::string& Name, double Depth);

  // --- The keyboard focus when a field has it (TextEditing.cpp) ---
  TextFieldObject* Focused() const;
  // Gives F the focus (nullptr: no field has it), all its text selected
  // when SelectAll, else the caret where it was.
  void SetFocused(TextFieldObject* F, bool SelectAll);
  // Typed text and the edit commands go to the focused field.
  void Type(Machine& M, std::u32string_view T);
  void Command(Machine& M, TextCommand C);
  // The pointer pressed at stage point P (twips): the topmost field there
  // that can be selected takes the focus with the caret under the pointer.
  // True when one did.
  bool Press(Machine& M, Point P);
  std::u32string Clipboard;

private:
  // Puts O at script depth Depth of Parent (replacing what is there) and
  // makes its field from Def (nullptr: createTextField's) with box Box.
  TextFieldObject* Place(Machine& M, ClipObject& Parent, double Depth, DisplayObject O, const EditTextField* Def,
                         const Rect& Box);
  void TraceLive(Marker& M);
  std::vector<TextFieldObject*> FFields;
  TextFieldObject* FFocused = nullptr;
};

// TextFormat.getTextExtent and the metrics behind textWidth: the box Text
// takes in format F, wrapped at Width pixels when Width is a number.
Value TextExtent(Machine& M, const FieldFormat& F, const std::string& Text, Value Width);

std::string_view AlignName(TextAlign A);
std::optional<TextAlign> AlignFromName(std::string_view S);

} // namespace quenloft::swf::avm1
