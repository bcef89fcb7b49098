// What a cut download leaves beside its partial file when resuming is on
// (the CLI's --continue, the window's "Resume" setting), so that a later run
// can finish it: the address, the answer's validator and the whole length.
// The record is the file's name plus ".quenloft-resume", three lines of
// text; it goes when the file is finished.
//
// Threads: pure functions and file access; call from any thread, one user
// of a file at a time (the coordinator runs one download at a time).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace quenloft {

class TIdHTTPResponse;

struct TResumeRecord {
  std::string URL;
  std::string Validator;   // for If-Range: a strong ETag, else a Last-Modified date
  std::int64_t Total = -1; // the whole length; -1 when the server named none
};

std::string ResumeRecordPath(const std::string& FileName);
// The record of FileName, or nothing when there is none or it cannot be read.
std::optional<TResumeRecord> ReadResumeRecord(const std::string& FileName);
// Best effort: a record that cannot be written only loses the chance to resume.
void WriteResumeRecord(const std::string& FileName, const TResumeRecord& Record);
void RemoveResumeRecord(const std::string& FileName);

// The answer's validator for If-Range (RFC 9110 13.1.5): a strong ETag, else
// its Last-Modified value; "" when it has neither.
std::string ResponseValidator(const TIdHTTPResponse& Response);

// "bytes first-last/total" (RFC 9110 14.4): the three numbers, total -1 for
// "*"; nothing for a value that is not of that form.
struct TContentRange {
  std::int64_t First = 0;
  std::int64_t Last = 0;
  std::int64_t Total = -1;
};
std::optional<TContentRange> ParseContentRange(const std::string& Value);

} // namespace quenloft
