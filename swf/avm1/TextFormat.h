// A text format as script sees it: every attribute may be unset (null), as
// in a TextFormat made empty or read back over a range whose characters
// differ. Fields and TextFormat objects both hold these.
//
// Threads: the machine's thread.
#pragma once

#include "swf/Movie.h"
#include "swf/avm1/Object.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quenloft::swf::avm1 {

enum class TextDisplay : std::uint8_t { Block, Inline, None };

struct FieldFormat {
  std::optional<std::string> Font;
  std::optional<double> Size;
  std::optional<std::uint32_t> Color; // 0xRRGGBB; script may set the top byte too
  std::optional<bool> Bold, Italic, Underline;
  std::optional<std::string> Url, Target;
  std::optional<TextAlign> Align;
  std::optional<double> LeftMargin, RightMargin, Indent, Leading, BlockIndent;
  std::optional<std::vector<double>> TabStops;
  std::optional<bool> Bullet, Kerning;
  std::optional<double> LetterSpacing;
  std::optional<TextDisplay> Display;

  friend bool operator==(const FieldFormat&, const FieldFormat&) = default;
  // Takes every attribute Other sets.
  void Apply(const FieldFormat& Other);
  // Keeps only the attributes Other has alike.
  void Intersect(const FieldFormat& Other);
};

// The TextFormat script class's objects.
class TextFormatObject final : public Object {
public:
  using Object::Object;
  Object* CreateInstance(Machine& M, Object* Proto) override;
  FieldFormat Format;
};

// A new TextFormat object holding F.
TextFormatObject* NewTextFormat(Machine& M, const FieldFormat& F);

} // namespace quenloft::swf::avm1
