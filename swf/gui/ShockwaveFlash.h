// TShockwaveFlash: the movie player of the preview pane. It stands where the
// hosted player control would stand and keeps that control's contract:
//   Menu          read and write; while true, a right-button release that
//                 reaches the player opens its own small menu;
//   Movie write   loads a local movie file and starts playing it, no
//                 further call needed;
//   Play          resumes from the frame shown;
//   GotoFrame(n)  shows root frame n, counted from 0, and holds there until
//                 Play (a frame past the end shows the last one);
//   CurrentFrame  the root frame shown, from 0; TotalFrames its frame count.
// Play, GotoFrame, CurrentFrame and TotalFrames raise EFlashError on a
// player that has had no Movie write, GotoFrame also for a negative frame.
// A written file that is not a movie leaves the player with no frames and
// the text "not a movie: " and why ("not a Flash file", "empty file",
// "damaged compressed movie", ...); a movie that breaks after its header plays what
// was read (at least its stage and background).
//
// Playing: the frame due is worked out from a steady clock and the movie's
// frame rate, not by counting timer ticks, so a slow frame does not slow the
// movie down: frames whose time has passed are stepped through the timeline
// without being drawn, and a step that cannot change the picture (the root
// on the same frame, no sprite on the stage) is not drawn either. Rates
// are kept within 1 to 120 frames per second. The root loops, and a stop
// action holds it, as the timeline says; sprites go on stepping while the
// root holds. The stage is drawn fitted into the widget's own size,
// centred, at high quality. The picture is kept between frames: a step
// draws only the pixels its changes can reach, and a step that changes
// nothing on the stage is not painted. Nothing ticks while the widget is
// hidden; freeing it ends playing.
//
// A movie with sound is heard through a TPreviewSound while the widget is
// shown (hiding, a new Movie write or freeing it stops the sound at once);
// while its stream sound plays, the picture follows the sound: the frames
// the sound has passed are stepped, undrawn, and the root waits while it is
// ahead. A movie without sound opens no audio output.
//
// Mouse input that reaches the player is told with MovieMouse, as the
// window message number of the mouse range (WM_MOUSEMOVE..WM_MOUSEWHEEL) and
// the point in the widget, and handed to a scripted movie in stage pixels
// (through the fitted picture's transform, so the margins lie outside the
// stage): its buttons and clip events take it from there. Keys reach it
// while the widget has the focus. After input the picture is drawn again,
// FrameChanged tells a jump of the root, and the cursor takes the look of
// what is under it (hand over an active button, I-beam over a field that
// takes typing, else the arrow).
//
// Threads: UI thread only.
#pragma once

#include "platform/Classes.h"

#include <QElapsedTimer>
#include <QImage>
#include <QRegion>
#include <QString>
#include <QTimer>
#include <QWidget>

#include <cstdint>
#include <memory>

class QMenu;

namespace quenloft {

class TPreviewSound;

namespace swf {
struct Movie;
class Timeline;
namespace avm1 {
class Player;
}
namespace render {
class Renderer;
}
} // namespace swf

// The mouse messages of the player's window procedure.
inline constexpr std::uint32_t WM_MOUSEMOVE = 0x0200;
inline constexpr std::uint32_t WM_LBUTTONDOWN = 0x0201;
inline constexpr std::uint32_t WM_LBUTTONUP = 0x0202;
inline constexpr std::uint32_t WM_LBUTTONDBLCLK = 0x0203;
inline constexpr std::uint32_t WM_RBUTTONDOWN = 0x0204;
inline constexpr std::uint32_t WM_RBUTTONUP = 0x0205;
inline constexpr std::uint32_t WM_RBUTTONDBLCLK = 0x0206;
inline constexpr std::uint32_t WM_MBUTTONDOWN = 0x0207;
inline constexpr std::uint32_t WM_MBUTTONUP = 0x0208;
inline constexpr std::uint32_t WM_MBUTTONDBLCLK = 0x0209;
inline constexpr std::uint32_t WM_MOUSEWHEEL = 0x020A;

// The message number of a Qt mouse or wheel event (0 for any other event,
// and for buttons the mouse range has no message for).
std::uint32_t MouseMessageOf(const QEvent& Event);

// A call the player cannot carry out.
class EFlashError : public Exception {
public:
  using Exception::Exception;
};

class TShockwaveFlash : public QWidget {
  Q_OBJECT

public:
  explicit TShockwaveFlash(QWidget* Parent = nullptr);
  ~TShockwaveFlash() override;

  bool Menu() const { return FMenu; }
  void SetMenu(bool Value) { FMenu = Value; }

  // The value last written to Movie.
  const QString& Movie() const { return FMovie; }
  virtual void SetMovie(const QString& Path);

  void Play();
  void GotoFrame(int Frame);
  int CurrentFrame() const;
  int TotalFrames() const;

  // Shows a text in place of the movie.
  void ShowMessage(const QString& Text);
  const QString& Text() const { return FText; }
  // The movie loaded, or null.
  std::shared_ptr<const swf::Movie> LoadedMovie() const { return FLoaded; }
  // True while the root timeline moves on by itself.
  bool Playing() const;
  // The frames stepped and drawn since the last Movie write.
  std::int64_t FramesStepped() const { return FStepped; }
  std::int64_t FramesDrawn() const { return FDrawn; }
  // True while a step of the movie is scheduled.
  bool Ticking() const { return FTicker.isActive(); }
  // The sound being played, or null (no sound, no device, hidden).
  TPreviewSound* Sound() const { return FSound.get(); }

signals:
  // The root frame shown has changed (by playing or by GotoFrame).
  void FrameChanged(int Frame);
  void MovieMouse(std::uint32_t Message, QPoint Pos);

protected:
  bool event(QEvent* Event) override;
  void paintEvent(QPaintEvent* Event) override;
  void keyPressEvent(QKeyEvent* Event) override;
  void keyReleaseEvent(QKeyEvent* Event) override;
  void showEvent(QShowEvent* Event) override;
  void hideEvent(QHideEvent* Event) override;

  // Drops what the player has drawn and draws again (the window of the
  // hosted control destroyed and made anew).
  void RecreateWnd();

private:
  void RequireMovie(const char* Call) const;
  void StartClock();
  void ScheduleTick();
  void Tick();
  void OpenMenu(QPoint Pos);
  // Where the stage is drawn in the widget.
  QRectF StageRect() const;
  void PassMouse(std::uint32_t Message, QPointF Pos);
  void AfterInput(std::uint32_t Before);
  void FollowPointer();
  void OpenSound();
  std::int64_t StepsDue();
  // Brings the kept picture up to the display list; returns the widget's
  // pixels that changed (empty: none).
  QRegion Redraw();

  bool FMenu = true;
  bool FWritten = false; // a Movie write has happened
  QString FMovie;
  QString FText;
  std::shared_ptr<const swf::Movie> FLoaded;
  // A movie with ActionScript 1 or 2 plays through a script player that owns
  // its timeline; others (ActionScript 3, whose script is not run) through a
  // bare timeline. FTimeline points at whichever plays.
  std::unique_ptr<swf::avm1::Player> FPlayer;
  std::unique_ptr<swf::Timeline> FBareTimeline;
  swf::Timeline* FTimeline = nullptr;
  std::unique_ptr<swf::render::Renderer> FRenderer;
  QImage FPicture; // the stage as last drawn, in device pixels
  double FFrameRate = 0;
  QTimer FTicker;
  QElapsedTimer FClock;
  std::int64_t FClockSteps = 0; // steps taken since FClock started
  std::int64_t FStepped = 0;
  std::int64_t FDrawn = 0;
  QMenu* FContextMenu = nullptr;
  std::unique_ptr<TPreviewSound> FSound;
};

} // namespace quenloft
