// The character definitions other than shapes: bitmaps, fonts and static
// text.
//
// Threads: stateless free functions, any thread.
#pragma once

#include <cstdint>
#include <optional>

#include "swf/Movie.h"
#include "swf/TagCodes.h"
#include "swf/TagReader.h"

namespace quenloft::swf {

// DefineBits, DefineBitsJPEG2, 3 and 4, DefineBitsLossless and 2; the body
// from the character id on.
Bitmap ReadBitmap(TTagReader& Reader, Tag TagCode);

// DefineFont, DefineFont2, DefineFont3.
Font ReadFont(TTagReader& Reader, Tag TagCode);
// DefineFontInfo and 2: the name and the code table of a font.
void ReadFontInfo(TTagReader& Reader, Tag TagCode, Movie& Into);

// DefineText and DefineText2, every record resolved.
Text ReadText(TTagReader& Reader, Tag TagCode);

// DefineEditText as the static text its initial text shows, laid out
// with the glyphs of fonts defined before it (Fonts), see EditText.h:
// nullopt for a field that shows nothing drawable (device fonts,
// passwords, fonts without layout) and has no border.
std::optional<Text> ReadEditText(TTagReader& Reader, const Movie& Fonts);

} // namespace quenloft::swf
