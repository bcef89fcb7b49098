// The HTTP/1.1 wire format of the client (RFC 9112): the request head as
// bytes, the reading of a response head into TIdHTTPResponse, and the
// reading of a body with the framing its headers announce (length,
// chunked, or until the server closes).
//
// None of this owns a socket: it works on a TIdTCPConnection, whose
// transport may be a socket, TLS, or an in-memory stand-in.
//
// Threads: runs on the thread that drives the connection; the connection's
// work and status events fire on that thread, and a handler that raises
// aborts the read with its exception.
#pragma once

#include "http/IdException.h"
#include "http/IdHTTPHeaderInfo.h"
#include "http/IdTCPConnection.h"
#include "platform/Classes.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quenloft {

// Limits of one response head, besides the connection's line length limit.
// Past them EIdHTTPHeaderTooLarge is raised.
constexpr int MaxResponseHeaderLines = 256;
constexpr std::size_t MaxResponseHeadBytes = 1024 * 1024;
// A chunk-size line may hold at most this many hex digits.
constexpr std::size_t MaxChunkSizeDigits = 16;

// "GET /path HTTP/1.1" CR LF, every non-empty raw header line, CR LF.
std::string BuildRequestHead(const TIdHTTPRequest& ARequest, TIdHTTPProtocolVersion AVersion);

// Reads the status line and the header lines up to the empty line into
// AResponse (clearing what it held) and reads the fields from them. One
// empty line before the status line is skipped.
// A close by the server while the status line is read raises
// EIdConnClosedGracefully; a close while header lines are read ends the
// head there and disconnects. Raises EIdReadLnMaxLineLengthExceeded,
// EIdHTTPHeaderTooLarge and the "Content-Range" conversion error.
void ReadResponseHead(TIdTCPConnection& AConnection, TIdHTTPResponse& AResponse);

// Reads the body that AResponse's headers announce into AStream. 1xx, 204
// and 304 answers have none. Otherwise: "Transfer-Encoding: chunked" (RFC 9112 7.1), else a "Content-Length" of
// 1 or more, else, without a valid length, everything until the server
// closes; a length of 0 reads nothing. Each sized read and each chunk is one
// wmRead work level of the connection. A body cut short by a close keeps
// every byte that arrived and raises EIdConnClosedGracefully.
void ReadResponseBody(TIdTCPConnection& AConnection, const TIdHTTPResponse& AResponse, TStream& AStream);

// The size of a chunk-size line (RFC 9112 7.1): 1 to MaxChunkSizeDigits hex
// digits (after optional blanks), then the end of the line, a blank, or a
// ";" that starts a chunk extension (which is skipped). Nothing for
// anything else.
std::optional<std::int64_t> ParseChunkSize(std::string_view ALine);

// A stream that counts what is written to it and keeps nothing (bodies that
// are read only to be dropped).
class TIdDiscardStream : public TStream {
public:
  std::size_t Read(void*, std::size_t) override { return 0; }
  std::size_t Write(const void*, std::size_t Count) override;
  std::int64_t Seek(std::int64_t Offset, TSeekOrigin Origin) override;
  void SetSize(std::int64_t NewSize) override;

protected:
  std::int64_t FPosition = 0;
  std::int64_t FSize = 0;
};

// The body of an answer that is only reported or dropped (an error page, a
// redirect): the first AKeep bytes are kept as its text, and a write past
// ALimit bytes raises EIdBodyPastLimit, so memory and time stay bounded
// whatever the server sends. Written from the start, never sought back.
class EIdBodyPastLimit : public EIdException {
public:
  EIdBodyPastLimit() : EIdException("The answer's body is longer than the client reads") {}
};

class TIdCappedStream : public TIdDiscardStream {
public:
  TIdCappedStream(std::size_t AKeep, std::int64_t ALimit) : FKeep(AKeep), FLimit(ALimit) {}
  std::size_t Write(const void* Buffer, std::size_t Count) override;
  std::string TakeText() { return std::move(FKept); }

private:
  std::size_t FKeep;
  std::int64_t FLimit;
  std::string FKept;
};

} // namespace quenloft
