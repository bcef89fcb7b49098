// The rules of the bitmap button that need no window system: which of the
// five state images to draw, how a stretched image is cut into columns, where
// the caption lines go, and how a latching group answers a Down request.
// TkvuButton (kvuButton.h) applies them to its images and painter; the tests
// check them directly.
//
// Threads: stateless; any thread (the button itself lives on the UI thread).
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quenloft {

// The five image slots of TButtonBitmaps, in the order the stretch cache
// looks them up.
enum class TBitmapSlot { Up, Hot, Down, Disabled, StayDown };
inline constexpr int BitmapSlotCount = 5;

// The state that decides the look of a button.
struct TButtonLook {
  bool Enabled = true;
  bool Down = false;        // latched (group buttons)
  bool Pressed = false;     // FPressed: left button held on it
  bool MouseInside = false; // FMouseInside: hot
};

// Which slot to draw: by state, first match wins (disabled, latched down,
// pressed, hot, normal); an empty slot falls back to Up; none when Up is
// empty too. Present[i] tells whether slot i holds an image.
std::optional<TBitmapSlot> ChooseBitmap(const TButtonLook& Look,
                                        const std::array<bool, BitmapSlotCount>& Present);

// One scaled block copy of a stretch: source columns [SrcX, SrcX + SrcW) go
// to target columns [DstX, DstX + DstW), full height.
struct TColumnCopy {
  int SrcX = 0;
  int SrcW = 0;
  int DstX = 0;
  int DstW = 0;
  bool operator==(const TColumnCopy&) const = default;
};

// The copies that stretch a source of width SourceW to Width keeping KeepL
// columns on the left and KeepR on the right unscaled: the left margin, the
// right margin, and (only when Width - KeepL - KeepR >= 1) the middle.
std::vector<TColumnCopy> StretchColumns(int SourceW, int Width, int KeepL, int KeepR);

enum class TCaptionAlignment { Left, Right, Center };

// Splits a caption at CR LF, CR or LF; a final line break adds no empty line.
std::vector<std::string> SplitCaptionLines(std::string_view Caption);

struct TCaptionPos {
  int X = 0;
  int Y = 0;
  bool operator==(const TCaptionPos&) const = default;
};

struct TCaptionMetrics {
  int ButtonW = 0;
  int ButtonH = 0;
  int LineH = 0; // height of "A" in the caption font
  TCaptionAlignment Alignment = TCaptionAlignment::Center;
  int OffX = 0;
  int OffY = 0;
  bool Pressed = false;
  int DownOffset = 1; // CaptionDownOffSet
};

// The top-left corner of each caption line, OffX/OffY included. The block of
// n lines is centred vertically with truncation toward zero:
// top = (H - n * h) / 2, line i at top + i * h.
std::vector<TCaptionPos> LayoutCaption(const TCaptionMetrics& M, const std::vector<int>& LineWidths);

// The Down value a button ends up with when Requested is asked of it:
// ungrouped buttons cannot latch; a down group button goes up only with
// AllowAllUp.
bool ResolveDown(int GroupIndex, bool Current, bool Requested, bool AllowAllUp);

// The client-rectangle test of a mouse release: the right and bottom edge
// rows (X = W, Y = H) count as outside.
inline bool InsideClient(int X, int Y, int W, int H)
{
  return X >= 0 && X < W && Y >= 0 && Y < H;
}

} // namespace quenloft
