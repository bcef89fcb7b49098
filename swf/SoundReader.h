// Reads the sound tags into the movie model: DefineSound, StartSound,
// StartSound2, SoundStreamHead, SoundStreamHead2, SoundStreamBlock and
// DefineButtonSound.
//
// Every field is checked as it is read: an unknown coding, a rate the
// coding cannot have or a record cut short raise ETagError, which drops
// the tag. Sample counts are kept as the file claims them; the decoder
// never trusts them for sizes.
//
// Threads: stateless free functions, any thread.
#pragma once

#include "swf/Movie.h"
#include "swf/TagCodes.h"
#include "swf/TagReader.h"

namespace quenloft::swf {

SoundFormat ReadSoundFormat(TTagReader& R);
SoundInfo ReadSoundInfo(TTagReader& R);

// Reads the sound tag Code from its body into the movie, the sprite being
// read and its current frame. False when Code is no sound tag.
bool ReadSoundTag(Tag Code, TTagReader& Body, Movie& M, Sprite& S, Frame& Current);

} // namespace quenloft::swf
