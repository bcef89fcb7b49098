// The text a DefineEditText field shows when the movie starts, laid out as
// static text: plain text, or the HTML the player's fields take (p, br,
// font, b, i, u, a, li, span and textformat, with the usual entities), in
// the fonts the movie embeds. Underlined text gets a line one pixel high
// under it; a list item is moved right and gets a bullet (the font's own
// U+2022, when it has one). A field with a border also gets its white
// background and black outline; the frame holds the underlines too.
//
// Threads: pure functions; any thread.
#pragma once

#include "swf/Movie.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quenloft::swf {

// The runs of an HTML text, formats starting from Default. Markup the
// player does not know is dropped and its text kept; sizes and spacings
// are read as pixels, colours as "#rrggbb".
std::vector<TextRun> ParseHtmlText(std::string_view Html, const TextFormat& Default);

// What a DefineEditText tag says about its field; lengths in twips.
struct EditTextField {
  CharacterId Id = 0;
  Rect Bounds;
  CharacterId FontId = 0;
  std::uint16_t Height = 0;
  Rgba Color{0, 0, 0, 255};
  TextAlign Align = TextAlign::Left;
  std::int32_t LeftMargin = 0;
  std::int32_t RightMargin = 0;
  std::int32_t Indent = 0;
  std::int32_t Leading = 0;
  bool WordWrap = false;
  bool Password = false;
  bool Html = false;
  bool Border = false;
  bool UseOutlines = false; // the text is drawn with embedded fonts
  std::string Initial;      // UTF-8
  // What script sees of the field.
  std::string Variable; // the variable the field shows; may be empty
  std::uint16_t MaxLength = 0; // 0: no limit
  bool ReadOnly = false;
  bool Multiline = false;
  bool NoSelect = false;
  bool AutoSize = false;
};

// The field as static text in fonts defined before it (Fonts): glyphs the
// fonts lack are left out. A field in device fonts keeps its runs for the
// renderer instead (Text::Device). nullopt when it shows nothing (no text,
// a password field, no usable font) and has no border.
std::optional<Text> LayOutEditText(const EditTextField& Field, const Movie& Fonts);

} // namespace quenloft::swf
