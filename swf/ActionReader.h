// The actions of a DoAction tag, as far as the player obeys them.
//
// Threads: stateless free functions, any thread.
#pragma once

#include "swf/Movie.h"
#include "swf/TagReader.h"

namespace quenloft::swf {

// The plain timeline actions go into Into; anything else marks the movie
// scripted and is counted in its SkippedTags ("DoAction: action 0x96").
// A block that jumps or branches gives no actions at all: which of them
// would run depends on script.
void ReadDoAction(TTagReader& Reader, Frame& Into, Movie& Owner);

} // namespace quenloft::swf
