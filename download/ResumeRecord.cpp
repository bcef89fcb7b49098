#include "download/ResumeRecord.h"

#include "http/IdHTTPHeaderInfo.h"

#include <charconv>
#include <cstdio>
#include <fstream>

namespace quenloft {
namespace {

std::optional<std::int64_t> Number(std::string_view Text)
{
  std::int64_t Value = 0;
  const auto [End, Error] = std::from_chars(Text.data(), Text.data() + Text.size(), Value);
  if (Text.empty() || Error != std::errc() || End != Text.data() + Text.size() || Value < 0)
    return std::nullopt;
  return Value;
}

bool HasLineBreak(const std::string& Text)
{
  return Text.find_first_of("\r\n") != std::string::npos;
}

} // namespace

std::string ResumeRecordPath(const std::string& FileName)
{
  return FileName + ".quenloft-resume";
}

std::optional<TResumeRecord> ReadResumeRecord(const std::string& FileName)
{
  std::ifstream In(ResumeRecordPath(FileName));
  TResumeRecord Record;
  std::string Total;
  if (!std::getline(In, Record.URL) || !std::getline(In, Record.Validator) || !std::getline(In, Total))
    return std::nullopt;
  if (Total == "-1")
    return Record;
  const auto Value = Number(Total);
  if (!Value)
    return std::nullopt;
  Record.Total = *Value;
  return Record;
}

void WriteResumeRecord(const std::string& FileName, const TResumeRecord& Record)
{
  // A validator that would break the lines is no validator.
  if (HasLineBreak(Record.URL) || HasLineBreak(Record.Validator))
    return;
  std::ofstream Out(ResumeRecordPath(FileName), std::ios::trunc);
  Out << Record.URL << '\n' << Record.Validator << '\n' << Record.Total << '\n';
}

void RemoveResumeRecord(const std::string& FileName)
{
  std::remove(ResumeRecordPath(FileName).c_str());
}

std::string ResponseValidator(const TIdHTTPResponse& Response)
{
  // A weak tag may not go into If-Range (RFC 9110 13.1.5).
  const std::string Tag = Response.RawHeaders.Values("ETag");
  if (!Tag.empty() && Tag.front() == '"')
    return Tag;
  return Response.RawHeaders.Values("Last-Modified");
}

std::optional<TContentRange> ParseContentRange(const std::string& Value)
{
  std::string_view Text = Value;
  while (!Text.empty() && Text.front() == ' ')
    Text.remove_prefix(1);
  if (!Text.starts_with("bytes "))
    return std::nullopt;
  Text.remove_prefix(6);
  const std::size_t Dash = Text.find('-');
  const std::size_t Slash = Text.find('/');
  if (Dash == std::string_view::npos || Slash == std::string_view::npos || Dash > Slash)
    return std::nullopt;
  const auto First = Number(Text.substr(0, Dash));
  const auto Last = Number(Text.substr(Dash + 1, Slash - Dash - 1));
  std::string_view TotalText = Text.substr(Slash + 1);
  while (!TotalText.empty() && TotalText.back() == ' ')
    TotalText.remove_suffix(1);
  const auto Total = TotalText == "*" ? std::optional<std::int64_t>(-1) : Number(TotalText);
  if (!First || !Last || !Total || *Last < *First || (*Total >= 0 && *Last >= *Total))
    return std::nullopt;
  return TContentRange{*First, *Last, *Total};
}

} // namespace quenloft
