// What the pane hands a movie: widget points turned into stage pixels by
// the transform the picture is drawn with, and Qt's keys turned into the
// player's key codes.
//
// Threads: plain functions; any thread.
#pragma once

#include <QPointF>
#include <QRectF>
#include <QSize>

#include <cstdint>

namespace quenloft {

// Where a stage of Stage pixels is drawn in a widget of Widget pixels:
// fitted (enlarged too) and centred, as the pane paints it.
QRectF FittedStage(QSize Widget, QSize Stage);

// The stage pixel under Pos (widget pixels) when the stage is drawn at
// Target; points in the margins fall outside the stage.
QPointF WidgetToStage(QPointF Pos, const QRectF& Target, QSize Stage);

// The player's code of the key Qt names Key (Qt::Key), with Text the
// character it types, if any; 0 for a key the player has no code for.
std::uint8_t MovieKeyCode(int Key, char32_t Text);

} // namespace quenloft
