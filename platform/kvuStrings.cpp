#include "platform/kvuStrings.h"

namespace quenloft {

namespace {

// Index just after the last folder separator of Path, 0 when there is none.
std::size_t FileNameStart(std::string_view Path)
{
  const std::size_t sep = Path.find_last_of("/:");
  return sep == std::string_view::npos ? 0 : sep + 1;
}

} // namespace

std::size_t LastPos(std::string_view Sub, std::string_view S)
{
  // The rule deletes "everything through the first occurrence" from a copy
  // until Sub no longer occurs; the position that survives is the start of
  // the last occurrence of that left-to-right, non-overlapping sequence.
  // Stepping past each match by Length(Sub) walks the same sequence.
  if (Sub.empty())
    return 0; // nothing to find; the deleting loop would never end
  std::size_t last = std::string_view::npos;
  for (std::size_t at = S.find(Sub); at != std::string_view::npos; at = S.find(Sub, at + Sub.size()))
    last = at;
  return last == std::string_view::npos ? 0 : last + 1;
}

void TruncateFrom(std::string& S, std::size_t Index)
{
  if (Index >= 1 && Index <= S.size())
    S.resize(Index - 1);
}

bool HasFileExt(std::string_view FileName, std::string_view Ext)
{
  // Whichever of ".", "\" and ":" stands last decides: only a dot that is
  // not followed by a separator begins an extension.
  std::string_view own;
  const std::size_t mark = FileName.find_last_of(".\\:");
  if (mark != std::string_view::npos && FileName[mark] == '.')
    own = FileName.substr(mark);
  return SameText(own, Ext);
}

std::string ExtractFileTitle(std::string_view Path)
{
  std::string_view name = Path.substr(FileNameStart(Path));
  const std::size_t dot = name.rfind('.');
  if (dot != std::string_view::npos)
    name = name.substr(0, dot);
  return std::string(name);
}

std::string ExtractFileExt(std::string_view Path)
{
  const std::string_view name = Path.substr(FileNameStart(Path));
  const std::size_t dot = name.rfind('.');
  return dot == std::string_view::npos ? std::string() : std::string(name.substr(dot));
}

std::string ExtractFilePath(std::string_view Path)
{
  return std::string(Path.substr(0, FileNameStart(Path)));
}

std::string IncludeBackslash(std::string_view Path)
{
  std::string result(Path);
  if (!result.empty() && result.back() != '/')
    result += '/';
  return result;
}

} // namespace quenloft
