// The character definitions other than shapes: bitmaps, fonts and static
// text.
//
// Threads: stateless free functions, any thread.
#pragma once

#include <cstdint>
#include <optional>

#include "swf/Movie.h"
#include "swf/TagReader.h"

namespace quenloft::swf {

// DefineBits (6), DefineBitsJPEG2 (21), 3 (35), 4 (90), DefineBitsLossless
// (20) and 2 (36); the body from the character id on.
Bitmap ReadBitmap(TTagReader& Reader, int TagCode);

// DefineFont (10), DefineFont2 (48), DefineFont3 (75).
Font ReadFont(TTagReader& Reader, int TagCode);
// DefineFontInfo (13) and 2 (62): the name and the code table of a font.
void ReadFontInfo(TTagReader& Reader, int TagCode, Movie& Into);

// DefineText (11) and DefineText2 (33), every record resolved.
Text ReadText(TTagReader& Reader, int TagCode);

// DefineEditText (37) as the static text its initial text shows, laid out
// with the glyphs of fonts defined before it (Fonts), see EditText.h:
// nullopt for a field that shows nothing drawable (device fonts,
// passwords, fonts without layout) and has no border.
std::optional<Text> ReadEditText(TTagReader& Reader, const Movie& Fonts);

} // namespace quenloft::swf
