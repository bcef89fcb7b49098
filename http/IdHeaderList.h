// TIdHeaderList: the header lines of one HTTP message, as text lines.
//
// Lines are kept as they are written or received ("Name: value"), so a
// received head can be read back exactly. A line that begins with a blank
// or a tab continues the line above it (obsolete line folding, RFC 9112
// 5.2); lookups join such lines to their header with one blank.
//
// Threads: a list is used by one thread at a time.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace quenloft {

class TIdHeaderList {
public:
  // The separator put between a name and its value when a header is set.
  std::string NameValueSeparator = ": ";
  // Set values longer than FoldLength characters are folded over lines.
  bool FoldLines = true;
  std::size_t FoldLength = 1024;

  std::size_t Count() const { return FLines.size(); }
  const std::string& operator[](std::size_t AIndex) const { return FLines[AIndex]; }
  const std::vector<std::string>& Lines() const { return FLines; }

  void Clear() { FLines.clear(); }
  // Appends one line unchanged (a received header line, or a continuation).
  void Add(std::string ALine) { FLines.push_back(std::move(ALine)); }
  // Appends every line of AOther.
  void AddStrings(const TIdHeaderList& AOther);

  // Index of the first header line named AName (names compared without
  // regard to case), or -1.
  int IndexOfName(std::string_view AName) const;
  // The value of the first header named AName: the text after the colon
  // with surrounding blanks removed, continuation lines joined with one
  // blank. Empty when there is no such header.
  std::string Values(std::string_view AName) const;
  // Sets the header: replaces the first line of that name together with its
  // continuation lines in place, or appends a new line. The line is folded
  // when it is too long. An empty value removes the header.
  void SetValues(std::string_view AName, std::string_view AValue);
  // The values of every header named AName, in order (for headers that may
  // appear more than once, such as "WWW-Authenticate" and "Set-Cookie").
  std::vector<std::string> AllValues(std::string_view AName) const;

  // The name part of line AIndex (the text before its colon), "" for a
  // continuation line or a line without a colon.
  std::string NameOfLine(std::size_t AIndex) const;

private:
  // The joined value of the header that starts at line AIndex.
  std::string ValueAt(std::size_t AIndex) const;
  // Line AIndex plus its continuation lines: the index past the last one.
  std::size_t EndOfHeader(std::size_t AIndex) const;

  std::vector<std::string> FLines;
};

// Folds one header line over several lines (RFC 9112 5.2 obs-fold, which a
// receiver joins again): each piece is cut before column AFoldLength at the
// last blank, tab or comma that is not inside double quotes; trailing blanks
// of every piece are removed, and every piece after the first begins with
// one blank. A line that has no such place stays whole.
std::vector<std::string> FoldLine(std::string_view ALine, std::size_t AFoldLength);

} // namespace quenloft
