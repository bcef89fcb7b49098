// Reads a whole SWF file into a Movie: the header, the tag stream, the
// dictionary of characters and every timeline.
//
// The reader accepts uncompressed ("FWS"), zlib ("CWS") and LZMA ("ZWS")
// movies. The body is decompressed up to the length the header gives and
// never past an absolute cap, so a decompression bomb costs at most that.
// Every tag body is read through a reader bounded to the tag, so a tag that
// lies about its contents cannot reach into the next one.
//
// Errors: EMovieError only when the bytes are not a movie or its header
// cannot be read. A file that breaks later gives the movie read so far with
// Movie::ReadError telling where and why it stopped.
//
// Threads: stateless free functions, any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "platform/Classes.h"
#include "swf/Movie.h"

namespace quenloft::swf {

class EMovieError : public Exception {
public:
  using Exception::Exception;
};

// The largest body (after decompression) the reader accepts.
inline constexpr std::size_t MaxMovieBody = 256u << 20;

// MaxBody bounds the decompressed body (at most MaxMovieBody is used).
std::shared_ptr<Movie> ReadMovie(std::span<const std::uint8_t> Bytes, std::size_t MaxBody = MaxMovieBody);

// Reads FileName whole and parses it. Raises EMovieError when the file
// cannot be read as well.
std::shared_ptr<Movie> ReadMovieFile(const std::string& FileName);

// The body of a movie after its 8-byte prefix, decompressed as its
// signature says (at most Limit bytes). Raises EMovieError for a signature
// that is not a movie's or a stream that yields nothing; a stream that
// breaks later gives what came out before the break and sets Error.
std::vector<std::uint8_t> DecompressBody(std::span<const std::uint8_t> File, std::size_t Limit,
                                         std::string& Error);

} // namespace quenloft::swf
