// Reads buttons: DefineButton (7), DefineButton2 (34) and the colour
// transform DefineButtonCxform (23) gives a DefineButton.
//
// Errors: ETagError for a tag cut short.
//
// Threads: stateless free functions, any thread.
#pragma once

#include "swf/Movie.h"
#include "swf/TagCodes.h"
#include "swf/TagReader.h"

namespace quenloft::swf {

// The body from the button's id on.
Button ReadButton(TTagReader& Reader, Tag TagCode);

// DefineButtonCxform: sets the colour transform of every record of the
// button it names in Into; a tag for anything else is ignored.
void ReadButtonCxform(TTagReader& Reader, Movie& Into);

} // namespace quenloft::swf
