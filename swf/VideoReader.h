// Embedded video: DefineVideoStream and VideoFrame read into the movie.
//
// Threads: stateless free functions, any thread.
#pragma once

#include "swf/Movie.h"
#include "swf/TagReader.h"

namespace quenloft::swf {

// DefineVideoStream, the body from the character id on.
VideoStream ReadVideoStream(TTagReader& Reader);

// VideoFrame: adds the packet to the stream it names in Into. False when
// no video stream of that id was defined before it or the stream already
// holds a packet for that frame (the first one stays).
bool ReadVideoFrame(TTagReader& Reader, Movie& Into);

} // namespace quenloft::swf
