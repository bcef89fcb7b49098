// The drawing a clip's script makes (lineStyle, beginFill, moveTo, lineTo,
// curveTo, endFill, clear): kept as pen moves and turned into a Shape that
// the clip shows under its children, rebuilt after every change.
//
// Threads: the machine's thread.
#pragma once

#include "swf/Movie.h"

#include <memory>
#include <optional>
#include <vector>

namespace quenloft::swf::avm1 {

class ClipDrawing {
public:
  void Clear();
  // No style (width NaN or missing) ends the line style.
  void SetLine(std::optional<LineStyle> Style);
  // A fill closes the one before it; nullopt ends it.
  void BeginFill(std::optional<FillStyle> Fill);
  void EndFill() { BeginFill(std::nullopt); }
  void MoveTo(Point P);
  void LineTo(Point P);
  void CurveTo(Point Control, Point Anchor);

  // The shape drawn so far (nullptr when nothing is), in twips.
  std::shared_ptr<const Shape> Made() const;

private:
  struct Segment {
    Point From, Control, To;
    bool Curve = false;
    int Line = 0; // 1-based line style; 0: none
  };
  // A run of connected edges with one fill.
  struct Path {
    int Fill = 0; // 1-based fill style; 0: none
    std::vector<Segment> Edges;
  };
  void Close();
  void AddEdge(Point Control, Point To, bool Curve);

  std::vector<FillStyle> FFills;
  std::vector<LineStyle> FLines;
  std::vector<Path> FPaths;
  Point FPen;
  Point FStart; // where the open fill began
  int FFill = 0, FLine = 0;
};

} // namespace quenloft::swf::avm1
