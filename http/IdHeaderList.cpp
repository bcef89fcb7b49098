#include "http/IdHeaderList.h"

#include "platform/kvuStrings.h"

#include <algorithm>

namespace quenloft {
namespace {

bool IsBlank(char C)
{
  return C == ' ' || C == '\t';
}

std::string_view TrimBlanks(std::string_view S)
{
  while (!S.empty() && IsBlank(S.front()))
    S.remove_prefix(1);
  while (!S.empty() && IsBlank(S.back()))
    S.remove_suffix(1);
  return S;
}

std::string_view TrimRightBlanks(std::string_view S)
{
  while (!S.empty() && IsBlank(S.back()))
    S.remove_suffix(1);
  return S;
}

bool IsContinuation(std::string_view Line)
{
  return !Line.empty() && IsBlank(Line.front());
}

// The place to cut Text (a position whose character ends the piece), or npos.
// Searches from AFrom for the last break character before column ALimit that
// lies outside double quotes; failing that, the first one after it.
std::size_t FindFoldPoint(std::string_view Text, std::size_t AFrom, std::size_t ALimit)
{
  std::size_t Last = std::string_view::npos;
  bool Quoted = false;
  for (std::size_t I = 0; I < Text.size(); ++I) {
    const char C = Text[I];
    if (C == '"') {
      Quoted = !Quoted;
      continue;
    }
    if (Quoted || I < AFrom || !(IsBlank(C) || C == ','))
      continue;
    if (I + 1 < ALimit)
      Last = I;
    else
      return Last != std::string_view::npos ? Last : I;
  }
  return Last;
}

} // namespace

std::vector<std::string> FoldLine(std::string_view ALine, std::size_t AFoldLength)
{
  std::vector<std::string> Pieces;
  std::string Rest(ALine);
  // The first piece is not cut inside the name and its separator (that would
  // leave a header without a value); a continuation piece not at its
  // leading blank.
  std::size_t From = Rest.find(':');
  From = From == std::string::npos ? 1 : From + 1;
  while (From < Rest.size() && IsBlank(Rest[From]))
    ++From;
  while (Rest.size() > AFoldLength) {
    const std::size_t Cut = FindFoldPoint(Rest, From, AFoldLength);
    if (Cut == std::string_view::npos)
      break;
    std::string_view Piece = TrimRightBlanks(std::string_view(Rest).substr(0, Cut + 1));
    std::string_view Tail = TrimBlanks(std::string_view(Rest).substr(Cut + 1));
    Pieces.emplace_back(Piece);
    if (Tail.empty()) {
      Rest.clear();
      break;
    }
    std::string Next(1, ' ');
    Next.append(Tail);
    Rest = std::move(Next);
    From = 1;
  }
  if (!Rest.empty() || Pieces.empty())
    Pieces.push_back(std::string(TrimRightBlanks(Rest)));
  return Pieces;
}

void TIdHeaderList::AddStrings(const TIdHeaderList& AOther)
{
  FLines.insert(FLines.end(), AOther.FLines.begin(), AOther.FLines.end());
}

std::string TIdHeaderList::NameOfLine(std::size_t AIndex) const
{
  const std::string& Line = FLines[AIndex];
  if (IsContinuation(Line))
    return {};
  const std::size_t Colon = Line.find(':');
  if (Colon == std::string::npos)
    return {};
  return std::string(TrimBlanks(std::string_view(Line).substr(0, Colon)));
}

int TIdHeaderList::IndexOfName(std::string_view AName) const
{
  for (std::size_t I = 0; I < FLines.size(); ++I) {
    if (!IsContinuation(FLines[I]) && FLines[I].find(':') != std::string::npos &&
        SameText(NameOfLine(I), AName))
      return static_cast<int>(I);
  }
  return -1;
}

std::size_t TIdHeaderList::EndOfHeader(std::size_t AIndex) const
{
  std::size_t End = AIndex + 1;
  while (End < FLines.size() && IsContinuation(FLines[End]))
    ++End;
  return End;
}

std::string TIdHeaderList::ValueAt(std::size_t AIndex) const
{
  const std::string& Line = FLines[AIndex];
  std::string Value(TrimBlanks(std::string_view(Line).substr(Line.find(':') + 1)));
  const std::size_t End = EndOfHeader(AIndex);
  for (std::size_t I = AIndex + 1; I < End; ++I) {
    const std::string_view Piece = TrimBlanks(FLines[I]);
    if (Piece.empty())
      continue;
    if (!Value.empty())
      Value += ' ';
    Value += Piece;
  }
  return Value;
}

std::string TIdHeaderList::Values(std::string_view AName) const
{
  const int Index = IndexOfName(AName);
  return Index < 0 ? std::string() : ValueAt(static_cast<std::size_t>(Index));
}

std::vector<std::string> TIdHeaderList::AllValues(std::string_view AName) const
{
  std::vector<std::string> Result;
  for (std::size_t I = 0; I < FLines.size(); ++I) {
    if (!IsContinuation(FLines[I]) && FLines[I].find(':') != std::string::npos &&
        SameText(NameOfLine(I), AName))
      Result.push_back(ValueAt(I));
  }
  return Result;
}

void TIdHeaderList::SetValues(std::string_view AName, std::string_view AValue)
{
  const int Found = IndexOfName(AName);
  std::vector<std::string> NewLines;
  if (!AValue.empty()) {
    std::string Line = std::string(AName) + NameValueSeparator + std::string(AValue);
    if (FoldLines && Line.size() > FoldLength)
      NewLines = FoldLine(Line, FoldLength);
    else
      NewLines.push_back(std::move(Line));
  }
  if (Found < 0) {
    FLines.insert(FLines.end(), NewLines.begin(), NewLines.end());
    return;
  }
  const auto Start = static_cast<std::size_t>(Found);
  const std::size_t End = EndOfHeader(Start);
  FLines.erase(FLines.begin() + static_cast<std::ptrdiff_t>(Start),
               FLines.begin() + static_cast<std::ptrdiff_t>(End));
  FLines.insert(FLines.begin() + static_cast<std::ptrdiff_t>(Start), NewLines.begin(), NewLines.end());
}

} // namespace quenloft
