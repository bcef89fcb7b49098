// The shape records of DefineShape 1-4, DefineMorphShape 1-2 and the glyphs
// of DefineFont 1-3: style arrays, style changes, straight and curved edges.
//
// Threads: stateless free functions, any thread.
#pragma once

#include <cstdint>

#include "swf/Movie.h"
#include "swf/TagReader.h"

namespace quenloft::swf {

// The most records one shape may hold, and all shapes, glyphs and morph
// shapes of a movie together; more is a hostile file (a record takes a
// few bits in the file and tens of bytes in memory).
inline constexpr std::size_t MaxShapeRecords = 1u << 20;
inline constexpr std::size_t MaxMovieShapeRecords = 4u << 20;

FillStyle ReadFillStyle(TTagReader& Reader, int ShapeVersion);
ShapeStyles ReadShapeStyles(TTagReader& Reader, int ShapeVersion);

// The body of DefineShape (Version 1..4), from the character id on.
Shape ReadShape(TTagReader& Reader, int Version);

// A SHAPE record without styles (a glyph, or either side of a morph): the
// two bit counts, then the records up to the end record. Styles found in
// new-style records are kept in Into.NewStyles when Version allows them.
void ReadShapeRecords(TTagReader& Reader, int Version, Shape& Into);

// The body of DefineMorphShape (Version 1 or 2), from the character id on.
MorphShape ReadMorphShape(TTagReader& Reader, int Version);

} // namespace quenloft::swf
