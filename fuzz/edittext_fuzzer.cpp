// Feeds arbitrary text to the edit-field layout, as HTML and as plain text,
// in fields of arbitrary sizes and flags, and checks what holds for every
// input: no crash, every glyph names a glyph of its font, and no more
// glyphs are placed than the text has characters.
#include "swf/EditText.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

using namespace quenloft::swf;

#define EDIT_CHECK(cond)                                                                                     \
  do {                                                                                                       \
    if (!(cond)) {                                                                                           \
      std::fprintf(stderr, "edittext_fuzzer: check failed: %s (line %d)\n", #cond, __LINE__);                \
      std::abort();                                                                                          \
    }                                                                                                        \
  } while (0)

Movie MakeFonts()
{
  Movie m;
  for (CharacterId id : {1, 2}) {
    Font f;
    f.Id = id;
    f.Version = static_cast<std::uint8_t>(id + 1);
    f.Name = "Face";
    f.Bold = id == 2;
    f.Glyphs.resize(3);
    f.CodeTable = {'a', ' ', 0x20AC};
    f.Advances = {1000, -300, 32767};
    f.Ascent = 900;
    f.Descent = -100;
    f.Kerning = {{'a', 'a', -32768}, {'a', ' ', 500}};
    m.Dictionary.emplace(id, std::move(f));
  }
  return m;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size)
{
  static const Movie fonts = MakeFonts();
  if (Size < 6)
    return 0;
  EditTextField field;
  field.Id = 9;
  field.FontId = Data[0] % 4; // 0 and 3 name no font
  field.WordWrap = Data[1] & 1;
  field.Html = Data[1] & 2;
  field.Border = Data[1] & 4;
  field.Password = Data[1] & 8;
  field.UseOutlines = !(Data[1] & 16);
  field.Align = static_cast<TextAlign>(Data[1] >> 6);
  field.Height = static_cast<std::uint16_t>(Data[2] << 8 | Data[3]);
  field.Leading = static_cast<std::int8_t>(Data[4]) * 100;
  field.Indent = Data[4] * 50;
  const std::int32_t width = Data[5] * 200 - 1000;
  field.Bounds = {-width, width, 0, 4000};
  field.Initial.assign(reinterpret_cast<const char*>(Data + 6), Size - 6);

  const auto text = LayOutEditText(field, fonts);
  if (!text)
    return 0;
  std::size_t glyphs = 0;
  for (const TextRecord& r : text->Records) {
    const auto& font = std::get<Font>(*fonts.Find(r.FontId));
    for (const GlyphEntry& g : r.Glyphs)
      EDIT_CHECK(g.Index < font.Glyphs.size());
    glyphs += r.Glyphs.size();
  }
  EDIT_CHECK(glyphs <= field.Initial.size());
  return 0;
}
