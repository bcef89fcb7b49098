#include "ui/kvuButtonRules.h"

namespace quenloft {

std::optional<TBitmapSlot> ChooseBitmap(const TButtonLook& Look,
                                        const std::array<bool, BitmapSlotCount>& Present)
{
  TBitmapSlot Slot = TBitmapSlot::Up;
  if (!Look.Enabled)
    Slot = TBitmapSlot::Disabled;
  else if (Look.Down)
    Slot = TBitmapSlot::StayDown;
  else if (Look.Pressed)
    Slot = TBitmapSlot::Down;
  else if (Look.MouseInside)
    Slot = TBitmapSlot::Hot;
  if (!Present[static_cast<int>(Slot)])
    Slot = TBitmapSlot::Up;
  if (!Present[static_cast<int>(TBitmapSlot::Up)] && Slot == TBitmapSlot::Up)
    return std::nullopt;
  return Slot;
}

std::vector<TColumnCopy> StretchColumns(int SourceW, int Width, int KeepL, int KeepR)
{
  std::vector<TColumnCopy> Copies;
  Copies.push_back({0, KeepL, 0, KeepL});
  Copies.push_back({SourceW - KeepR, KeepR, Width - KeepR, KeepR});
  const int Middle = Width - KeepL - KeepR;
  if (Middle >= 1)
    Copies.push_back({KeepL, SourceW - KeepL - KeepR, KeepL, Middle});
  return Copies;
}

std::vector<std::string> SplitCaptionLines(std::string_view Caption)
{
  std::vector<std::string> Lines;
  std::string Line;
  std::size_t I = 0;
  while (I < Caption.size()) {
    const char C = Caption[I];
    if (C == '\r' || C == '\n') {
      Lines.push_back(Line);
      Line.clear();
      if (C == '\r' && I + 1 < Caption.size() && Caption[I + 1] == '\n')
        ++I;
    } else {
      Line += C;
    }
    ++I;
  }
  // A caption that does not end with a line break has one more line; one that
  // does ends there (no empty line after the final break).
  if (!Line.empty() || Caption.empty() || (Caption.back() != '\n' && Caption.back() != '\r'))
    Lines.push_back(Line);
  return Lines;
}

std::vector<TCaptionPos> LayoutCaption(const TCaptionMetrics& M, const std::vector<int>& LineWidths)
{
  std::vector<TCaptionPos> Result;
  const int N = static_cast<int>(LineWidths.size());
  // C++ integer division truncates toward zero, as the layout wants
  // ((23 - 2 * 13) / 2 is -1, not -2).
  const int Top = (M.ButtonH - N * M.LineH) / 2;
  const int Shift = M.Pressed ? M.DownOffset : 0;
  for (int I = 0; I < N; ++I) {
    int X = 0;
    switch (M.Alignment) {
    case TCaptionAlignment::Left: X = 0; break;
    case TCaptionAlignment::Right: X = M.ButtonW - LineWidths[I]; break;
    case TCaptionAlignment::Center: X = (M.ButtonW - LineWidths[I]) / 2; break;
    }
    const int Y = Top + I * M.LineH;
    Result.push_back({M.OffX + X + Shift, M.OffY + Y + Shift});
  }
  return Result;
}

bool ResolveDown(int GroupIndex, bool Current, bool Requested, bool AllowAllUp)
{
  if (GroupIndex == 0)
    return false;
  if (!Current && Requested)
    return true;
  if (Current && !Requested)
    return !AllowAllUp;
  return Current;
}

} // namespace quenloft
