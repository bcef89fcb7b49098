// Reads a PlaceObject3 filter list (FILTERLIST).
//
// Errors: ETagError for a list cut short or a filter kind it does not know.
//
// Threads: any.
#pragma once

#include "swf/Filters.h"
#include "swf/TagReader.h"

namespace quenloft::swf {

FilterList ReadFilters(TTagReader& R);

// How many filters the movie's placements carry, in every timeline.
std::size_t CountFilters(const Movie& M);

} // namespace quenloft::swf
