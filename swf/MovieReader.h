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
// cannot be read; its Fault says why in the user's terms. A file that
// breaks later gives the movie read so far with Movie::ReadError telling
// where and why it stopped.
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

// Why a file is no movie the player can read.
enum class MovieFault {
  Damaged,           // anything else that stops a movie before its first tag
  Unreadable,        // the file cannot be opened or read
  Empty,             // the file holds no byte
  NotFlash,          // no movie signature: some other kind of file
  CutShort,          // an uncompressed movie that ends inside its header
  DamagedCompressed, // a compressed body that gives no header
  TooLarge,          // larger than the player reads
};

// A few words for the user: "not a Flash file", "empty file", ...
const char* MovieFaultText(MovieFault Fault);

class EMovieError : public Exception {
public:
  explicit EMovieError(const std::string& Message, MovieFault Fault = MovieFault::Damaged)
      : Exception(Message), FFault(Fault)
  {}
  MovieFault Fault() const { return FFault; }

private:
  MovieFault FFault;
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
