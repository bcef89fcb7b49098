// Which placed character lies under a point: the geometry the pointer's
// hover and press tests need. Points and matrices are in twips of the
// space the display list sits in.
//
// A shape, morph shape or static text is hit inside its bounds; a sprite
// where one of its visible children is hit; a button where a record of its
// hit state is. Masks do not hide what they cover from the pointer.
//
// Threads: plain functions over an immutable movie; any thread.
#pragma once

#include "swf/Timeline.h"

#include <optional>

namespace quenloft::swf::avm1 {

// The inverse of M, or nullopt when M squashes the plane flat.
std::optional<Matrix> Inverse(const Matrix& M);

// Where S's own coordinates lie in the root's: its placements' matrices
// from the root down.
Matrix GlobalMatrix(const SpriteInstance& S);

// True when Global (a point in the space of the list O sits in, transformed
// to it by Parent) falls on O.
bool HitsObject(const Movie& Movie, const DisplayObject& O, const Matrix& Parent, Point Global);

// True when Global falls on the records of B shown in the states Mask
// (ButtonRecord::State bits) placed with Placement.
bool HitsButton(const Movie& Movie, const Button& B, std::uint8_t Mask, const Matrix& Placement,
                Point Global);

} // namespace quenloft::swf::avm1
