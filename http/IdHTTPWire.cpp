#include "http/IdHTTPWire.h"

#include "http/IdException.h"

#include <algorithm>
#include <charconv>
#include <memory>
#include <vector>

namespace quenloft {
namespace {

// A sized read goes to the connection in pieces of at most this size, so the
// destination is never grown ahead of the data by more than this: the length
// a server announces is not trusted with the client's memory.
constexpr std::int64_t SizedReadPiece = 4 * 1024 * 1024;

const char* MethodName(TIdHTTPMethod AMethod)
{
  switch (AMethod) {
  case TIdHTTPMethod::hmHead: return "HEAD";
  case TIdHTTPMethod::hmGet: return "GET";
  case TIdHTTPMethod::hmPost: return "POST";
  case TIdHTTPMethod::hmOptions: return "OPTIONS";
  case TIdHTTPMethod::hmTrace: return "TRACE";
  case TIdHTTPMethod::hmPut: return "PUT";
  case TIdHTTPMethod::hmDelete: return "DELETE";
  case TIdHTTPMethod::hmConnect: return "CONNECT";
  }
  return "GET";
}

// Reads exactly ACount bytes into AStream as one work level. When the server
// closes first, what arrived of the last block is written too before the
// close is reported.
void ReadSized(TIdTCPConnection& C, TStream& AStream, std::int64_t ACount)
{
  C.BeginWork(TWorkMode::wmRead, ACount);
  try {
    std::int64_t Remaining = ACount;
    try {
      while (Remaining > 0) {
        const std::int64_t Piece = std::min(Remaining, SizedReadPiece);
        C.ReadStream(AStream, Piece);
        Remaining -= Piece;
      }
    } catch (const EIdConnClosedGracefully&) {
      // The connection keeps an incomplete block in its input buffer.
      const auto Rest = static_cast<std::size_t>(
          std::min<std::int64_t>(static_cast<std::int64_t>(C.InputBufferSize()), Remaining));
      if (Rest > 0) {
        std::vector<char> Block(Rest);
        C.ReadBuffer(Block.data(), Rest);
        AStream.WriteBuffer(Block.data(), Rest);
      }
      throw;
    }
  } catch (...) {
    C.EndWork(TWorkMode::wmRead);
    throw;
  }
  C.EndWork(TWorkMode::wmRead);
}

void ReportStatusText(TIdTCPConnection& C, const std::string& AText)
{
  if (C.OnStatus)
    C.OnStatus(C, TIdStatus::hsStatusText, AText);
}

// RFC 9112 7.1: chunk sizes, each chunk followed by CR LF, then a chunk of
// size 0 and the trailer section, which ends with an empty line.
void ReadChunked(TIdTCPConnection& C, TStream& AStream)
{
  ReportStatusText(C, "Chunk Started");
  while (true) {
    const std::string Line = C.ReadLn();
    const auto Size = ParseChunkSize(Line);
    if (!Size)
      throw EIdException("Invalid chunk size line");
    if (*Size == 0)
      break;
    ReadSized(C, AStream, *Size);
    C.ReadLn(); // the CR LF that ends the chunk data
  }
  // Trailer fields are not used; they are read past so the next answer on
  // this connection starts where it should (RFC 9112 7.1.2).
  for (int Lines = 0; !C.ReadLn().empty(); ++Lines) {
    if (Lines >= MaxResponseHeaderLines)
      throw EIdHTTPHeaderTooLarge("Response trailer too large: more than " +
                                  std::to_string(MaxResponseHeaderLines) + " lines");
  }
}

// RFC 9112 4: "HTTP/1." and a digit, a blank, three digits, then the end
// or a blank and the reason. (The version's letters in any case, as
// servers have long been forgiven.)
bool IsStatusLine(std::string_view ALine)
{
  auto Digit = [](char C) { return C >= '0' && C <= '9'; };
  if (ALine.size() < 12 || (ALine.size() > 12 && ALine[12] != ' '))
    return false;
  for (std::size_t I = 0; I < 5; ++I) {
    const char C = static_cast<char>(ALine[I] >= 'a' && ALine[I] <= 'z' ? ALine[I] - 'a' + 'A' : ALine[I]);
    if (C != "HTTP/"[I])
      return false;
  }
  return ALine[5] == '1' && ALine[6] == '.' && Digit(ALine[7]) && ALine[8] == ' ' && Digit(ALine[9]) &&
         Digit(ALine[10]) && Digit(ALine[11]);
}

// Keeps a received text fit for a message: printable ASCII, at most 64
// characters.
std::string Shown(std::string_view AText)
{
  std::string Out;
  for (char C : AText.substr(0, 64))
    Out += (C >= 0x20 && C < 0x7f) ? C : '?';
  return Out;
}

} // namespace

std::string BuildRequestHead(const TIdHTTPRequest& ARequest, TIdHTTPProtocolVersion AVersion)
{
  std::string Head = MethodName(ARequest.Method);
  Head += ' ';
  Head += ARequest.URL;
  Head += AVersion == TIdHTTPProtocolVersion::pv1_0 ? " HTTP/1.0\r\n" : " HTTP/1.1\r\n";
  for (const std::string& Line : ARequest.RawHeaders.Lines()) {
    if (Line.empty())
      continue;
    Head += Line;
    Head += "\r\n";
  }
  Head += "\r\n";
  return Head;
}

void ReadResponseHead(TIdTCPConnection& AConnection, TIdHTTPResponse& AResponse)
{
  AResponse.Clear();
  std::string StatusLine = AConnection.ReadLn();
  // A server may end the previous answer with one line too many; one empty
  // line before the status line is skipped (RFC 9112 2.2).
  if (StatusLine.empty() && !AConnection.ReadLnTimedOut)
    StatusLine = AConnection.ReadLn();
  // Anything else is no HTTP/1.x answer, and its framing cannot be known:
  // fail now rather than wait for a body that may never end.
  if (!IsStatusLine(StatusLine))
    throw EIdHTTPBadResponse("Invalid status line: \"" + Shown(StatusLine) + "\"");
  AResponse.SetResponseText(StatusLine);
  std::size_t Bytes = StatusLine.size() + 2;
  int Lines = 0;
  while (true) {
    std::string Line;
    try {
      Line = AConnection.ReadLn();
    } catch (const EIdConnClosedGracefully&) {
      // The server closed in the middle of the head: take what came.
      AConnection.Disconnect();
      break;
    }
    if (Line.empty())
      break;
    Bytes += Line.size() + 2;
    if (++Lines > MaxResponseHeaderLines)
      throw EIdHTTPHeaderTooLarge("Response header too large: more than " +
                                  std::to_string(MaxResponseHeaderLines) + " lines");
    if (Bytes > MaxResponseHeadBytes)
      throw EIdHTTPHeaderTooLarge("Response header too large: more than " +
                                  std::to_string(MaxResponseHeadBytes) + " bytes");
    AResponse.RawHeaders.Add(std::move(Line));
  }
  AResponse.ProcessHeaders();
  // RFC 9112 6.3 rule 5: without a transfer coding, a length that cannot
  // be read leaves no way to find the body's end.
  if (!AResponse.BadContentLength.empty() && AResponse.TransferEncoding.empty())
    throw EIdHTTPBadResponse("Invalid Content-Length: \"" + Shown(AResponse.BadContentLength) + "\"");
}

void ReadResponseBody(TIdTCPConnection& AConnection, const TIdHTTPResponse& AResponse, TStream& AStream)
{
  // RFC 9112 6.3 rule 1: these answers end with their head, whatever
  // their headers say; waiting for a body would stall a kept connection.
  const int Code = AResponse.ResponseCode();
  if ((Code >= 100 && Code < 200) || Code == 204 || Code == 304)
    return;
  // A transfer coding wins over a length sent along with it (RFC 9112 6.3
  // rule 3); when "chunked" is not the final coding, the body ends where
  // the server closes (rule 4).
  if (AResponse.Chunked())
    ReadChunked(AConnection, AStream);
  else if (!AResponse.TransferEncoding.empty())
    AConnection.ReadStream(AStream, -1, true);
  else if (AResponse.ContentLength > 0)
    ReadSized(AConnection, AStream, AResponse.ContentLength);
  else if (!AResponse.HasContentLength())
    AConnection.ReadStream(AStream, -1, true);
}

std::optional<std::int64_t> ParseChunkSize(std::string_view ALine)
{
  // RFC 9112 7.1: chunk-size = 1*HEXDIG, then optional blanks and a
  // ";" chunk extension, which we skip.
  const std::size_t First = ALine.find_first_not_of(" \t");
  if (First == std::string_view::npos)
    return std::nullopt;
  const char* Begin = ALine.data() + First;
  const char* End = ALine.data() + ALine.size();
  std::uint64_t Value = 0;
  const auto [Next, Error] = std::from_chars(Begin, End, Value, 16);
  if (Error != std::errc() || Next - Begin > static_cast<std::ptrdiff_t>(MaxChunkSizeDigits) ||
      Value > static_cast<std::uint64_t>(INT64_MAX))
    return std::nullopt;
  if (Next != End && *Next != ' ' && *Next != '\t' && *Next != ';')
    return std::nullopt;
  return static_cast<std::int64_t>(Value);
}

std::size_t TIdCappedStream::Write(const void* Buffer, std::size_t Count)
{
  if (FPosition + static_cast<std::int64_t>(Count) > FLimit)
    throw EIdBodyPastLimit();
  if (FKept.size() < FKeep)
    FKept.append(static_cast<const char*>(Buffer), std::min(Count, FKeep - FKept.size()));
  return TIdDiscardStream::Write(Buffer, Count);
}

std::size_t TIdDiscardStream::Write(const void*, std::size_t Count)
{
  FPosition += static_cast<std::int64_t>(Count);
  FSize = std::max(FSize, FPosition);
  return Count;
}

std::int64_t TIdDiscardStream::Seek(std::int64_t Offset, TSeekOrigin Origin)
{
  switch (Origin) {
  case TSeekOrigin::soBeginning: FPosition = Offset; break;
  case TSeekOrigin::soCurrent: FPosition += Offset; break;
  case TSeekOrigin::soEnd: FPosition = FSize + Offset; break;
  }
  FPosition = std::max<std::int64_t>(FPosition, 0);
  return FPosition;
}

void TIdDiscardStream::SetSize(std::int64_t NewSize)
{
  FSize = std::max<std::int64_t>(NewSize, 0);
  FPosition = std::min(FPosition, FSize);
}

} // namespace quenloft
