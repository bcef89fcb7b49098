#include "swf/gui/ShockwaveFlash.h"

#include "swf/gui/MovieInput.h"
#include "swf/gui/PreviewSound.h"
#include "swf/FileLoader.h"
#include "swf/Movie.h"
#include "swf/MovieReader.h"
#include "swf/Timeline.h"
#include "swf/avm1/Player.h"
#include "platform/Trace.h"
#include "swf/render/Renderer.h"
#include "ui/kvuShell.h"

#include <QFile>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace quenloft {
namespace {

// Frame rates outside what players honour: a rate of 0 (or a broken one)
// would never step, and beyond 120 frames per second nobody sees a
// difference.
constexpr double kMinFrameRate = 1;
constexpr double kMaxFrameRate = 120;
// After a longer stall (a suspended process, a debugger) the movie goes on
// from where it is rather than racing through the frames it missed.
constexpr double kMaxCatchUpSeconds = 2;

std::uint32_t ButtonMessage(Qt::MouseButton Button, std::uint32_t Offset)
{
  switch (Button) {
  case Qt::LeftButton: return WM_LBUTTONDOWN + Offset;
  case Qt::RightButton: return WM_RBUTTONDOWN + Offset;
  case Qt::MiddleButton: return WM_MBUTTONDOWN + Offset;
  default: return 0;
  }
}

// The stage's size in whole pixels, at least 1 x 1.
QSize StagePixels(const swf::Movie& Movie)
{
  const auto Pixels = [](std::int64_t Twips) {
    return static_cast<int>(std::max<std::int64_t>(1, (Twips + 10) / 20));
  };
  return {Pixels(std::int64_t{Movie.Stage.XMax} - Movie.Stage.XMin),
          Pixels(std::int64_t{Movie.Stage.YMax} - Movie.Stage.YMin)};
}

bool HasSprites(const swf::DisplayList& List)
{
  return std::any_of(List.begin(), List.end(),
                     [](const swf::DisplayObject& Object) { return Object.Sprite != nullptr; });
}

} // namespace

std::uint32_t MouseMessageOf(const QEvent& Event)
{
  switch (Event.type()) {
  case QEvent::MouseMove: return WM_MOUSEMOVE;
  case QEvent::Wheel: return WM_MOUSEWHEEL;
  case QEvent::MouseButtonPress: return ButtonMessage(static_cast<const QMouseEvent&>(Event).button(), 0);
  case QEvent::MouseButtonRelease: return ButtonMessage(static_cast<const QMouseEvent&>(Event).button(), 1);
  case QEvent::MouseButtonDblClick: return ButtonMessage(static_cast<const QMouseEvent&>(Event).button(), 2);
  default: return 0;
  }
}

TShockwaveFlash::TShockwaveFlash(QWidget* Parent) : QWidget(Parent)
{
  setAttribute(Qt::WA_OpaquePaintEvent);
  // The player opens its own menu on a right-button release (while Menu is
  // true); Qt's context-menu event would be a second way in.
  setContextMenuPolicy(Qt::PreventContextMenu);
  // A movie sees the pointer move without a button held, too.
  setMouseTracking(true);
  // Keys reach the movie while the pane has the focus; a click gives it.
  setFocusPolicy(Qt::StrongFocus);
  FTicker.setSingleShot(true);
  FTicker.setTimerType(Qt::PreciseTimer);
  connect(&FTicker, &QTimer::timeout, this, [this] { Tick(); });
}

TShockwaveFlash::~TShockwaveFlash() = default;

void TShockwaveFlash::SetMovie(const QString& Path)
{
  FWritten = true;
  FMovie = Path;
  FText.clear();
  FTicker.stop();
  FTimeline = nullptr;
  FPlayer.reset();
  FSound.reset();
  FBareTimeline.reset();
  FRenderer.reset();
  FPicture = QImage();
  FLoaded.reset();
  FStepped = 0;
  FDrawn = 0;
  try {
    std::shared_ptr<const swf::Movie> Loaded = swf::ReadMovieFile(QFile::encodeName(Path).toStdString());
    FLoaded = Loaded;
    // The sound opens first: the first frame's sounds start with the timeline.
    OpenSound();
    auto Frames = [this](const swf::Sprite& Timeline, std::uint32_t Frame) {
      if (FSound)
        FSound->Sound().FrameEntered(Timeline, Frame);
    };
    FRenderer = std::make_unique<swf::render::Renderer>(Loaded);
    if (swf::avm1::RunsScript(*Loaded)) {
      // What the movie traces or asks of the outside goes to the program's
      // trace log; nothing reaches the network.
      swf::avm1::PlayerOutput Output;
      Output.Trace = [](std::string_view Line) { Trace("movie trace: " + std::string(Line)); };
      Output.Log = [](std::string_view Message) { Trace("movie script: " + std::string(Message)); };
      Output.Frames = Frames;
      // It reads the files it loads from its own folder, nothing else.
      Output.Files = swf::FolderLoader::Beside(QFile::encodeName(Path).toStdString());
      Output.Sound = FSound ? &FSound->Sound() : nullptr;
      FPlayer = std::make_unique<swf::avm1::Player>(Loaded, std::move(Output));
      FTimeline = &FPlayer->Timeline();
    } else {
      FBareTimeline = std::make_unique<swf::Timeline>(Loaded, Frames);
      FTimeline = FBareTimeline.get();
    }
    FFrameRate = std::clamp(FLoaded->FrameRate, kMinFrameRate, kMaxFrameRate);
  } catch (const swf::EMovieError& e) {
    // The hosted control shows nothing for a file it cannot play; this one
    // says why.
    FText = QStringLiteral("not a movie: ") + QLatin1String(swf::MovieFaultText(e.Fault()));
  } catch (const std::exception&) {
    FText = QStringLiteral("not a movie");
    FSound.reset();
    FLoaded.reset();
  }
  update();
  if (FTimeline) {
    emit FrameChanged(CurrentFrame());
    StartClock();
  }
}

void TShockwaveFlash::OpenSound()
{
  if (!FSound && FLoaded && swf::TMovieSound::HasSound(*FLoaded))
    FSound = TPreviewSound::Open(FLoaded);
}

void TShockwaveFlash::RequireMovie(const char* Call) const
{
  if (!FWritten)
    throw EFlashError(std::string(Call) + ": no movie has been loaded");
}

void TShockwaveFlash::Play()
{
  RequireMovie("Play");
  if (!FTimeline)
    return;
  if (FSound && !FTimeline->Playing())
    FSound->Sound().Resume(FTimeline->CurrentFrame());
  FTimeline->Play();
}

void TShockwaveFlash::GotoFrame(int Frame)
{
  RequireMovie("GotoFrame");
  if (Frame < 0)
    throw EFlashError("GotoFrame: frame " + std::to_string(Frame) + " is out of range");
  if (!FTimeline)
    return;
  FTimeline->GotoFrame(static_cast<std::uint32_t>(Frame));
  FTimeline->Stop();
  if (FSound)
    FSound->Sound().Seek(FTimeline->CurrentFrame());
  update();
  emit FrameChanged(CurrentFrame());
}

int TShockwaveFlash::CurrentFrame() const
{
  RequireMovie("CurrentFrame");
  return FTimeline ? static_cast<int>(FTimeline->CurrentFrame()) : 0;
}

int TShockwaveFlash::TotalFrames() const
{
  RequireMovie("TotalFrames");
  return FTimeline ? static_cast<int>(FTimeline->TotalFrames()) : 0;
}

bool TShockwaveFlash::Playing() const
{
  return FTimeline && FTimeline->Playing();
}

void TShockwaveFlash::ShowMessage(const QString& Text)
{
  FText = Text;
  update();
}

void TShockwaveFlash::RecreateWnd()
{
  // What a new window would bring: the picture drawn anew, whole.
  FPicture = QImage();
  update();
}

void TShockwaveFlash::StartClock()
{
  FClock.start();
  FClockSteps = 0;
  ScheduleTick();
}

void TShockwaveFlash::ScheduleTick()
{
  if (!FTimeline || !isVisible()) {
    FTicker.stop();
    return;
  }
  const double NextDueMs = static_cast<double>(FClockSteps + 1) * 1000.0 / FFrameRate;
  const double ElapsedMs = static_cast<double>(FClock.nsecsElapsed()) / 1e6;
  FTicker.start(static_cast<int>(std::max(0.0, std::ceil(NextDueMs - ElapsedMs))));
}

std::int64_t TShockwaveFlash::StepsDue()
{
  if (FSound && FSound->Sound().Mixer().StreamPlaying()) {
    // The stream leads: the root goes where the sound heard now is. The
    // clock starts again from here for when the stream has ended.
    FSound->Feed();
    FClock.start();
    FClockSteps = 0;
    return FSound->Sound().StepsDue(FTimeline->CurrentFrame(), FSound->HeardSample());
  }
  // The frame due now, from the clock: a frame that took long to draw does
  // not hold the movie back, the frames it cost are stepped undrawn.
  const auto Due = static_cast<std::int64_t>(static_cast<double>(FClock.nsecsElapsed()) * FFrameRate / 1e9);
  std::int64_t Steps = Due - FClockSteps;
  if (Steps <= 0)
    return 0;
  const auto MaxSteps = static_cast<std::int64_t>(FFrameRate * kMaxCatchUpSeconds) + 1;
  if (Steps > MaxSteps) {
    Steps = 1;
    FClock.start();
    FClockSteps = 0;
  } else {
    FClockSteps += Steps;
  }
  return Steps;
}

void TShockwaveFlash::Tick()
{
  if (!FTimeline)
    return;
  const std::int64_t Steps = StepsDue();
  if (Steps <= 0) {
    ScheduleTick();
    return;
  }
  const std::uint32_t Before = FTimeline->CurrentFrame();
  for (std::int64_t I = 0; I < Steps; ++I) {
    if (FPlayer)
      FPlayer->Advance();
    else
      FTimeline->Advance();
  }
  FStepped += Steps;
  if (FSound && !FTimeline->Playing())
    FSound->Sound().RootStopped();
  // A step that leaves the root on its frame with no sprite on the stage
  // shows the same picture (a one-frame movie, a stopped root): it is not
  // drawn again.
  const bool Moved = FTimeline->CurrentFrame() != Before;
  if (Moved || HasSprites(FTimeline->List())) {
    const QRegion Changed = Redraw();
    if (!Changed.isEmpty())
      update(Changed);
  }
  if (Moved)
    emit FrameChanged(static_cast<int>(FTimeline->CurrentFrame()));
  // The stage may have moved under a pointer that stands still.
  if (FPlayer && underMouse())
    FollowPointer();
  ScheduleTick();
}

bool TShockwaveFlash::event(QEvent* Event)
{
  const std::uint32_t Message = MouseMessageOf(*Event);
  if (Message == 0)
    return QWidget::event(Event);
  const auto& Mouse = static_cast<const QSinglePointEvent&>(*Event);
  const QPoint Pos = Mouse.position().toPoint();
  emit MovieMouse(Message, Pos);
  PassMouse(Message, Mouse.position());
  if (Message == WM_RBUTTONUP && FMenu)
    OpenMenu(Pos);
  Event->accept();
  return true;
}

QRectF TShockwaveFlash::StageRect() const
{
  return FLoaded ? FittedStage(size(), StagePixels(*FLoaded)) : QRectF();
}

void TShockwaveFlash::PassMouse(std::uint32_t Message, QPointF Pos)
{
  if (!FPlayer)
    return;
  const QPointF At = WidgetToStage(Pos, StageRect(), StagePixels(*FLoaded));
  const std::uint32_t Before = FTimeline->CurrentFrame();
  using swf::avm1::MouseButton;
  switch (Message) {
  case WM_MOUSEMOVE: FPlayer->MouseMove(At.x(), At.y()); break;
  // A double click comes as press, release, double click, release: the
  // double click is the second press.
  case WM_LBUTTONDOWN:
  case WM_LBUTTONDBLCLK: FPlayer->MouseDown(At.x(), At.y(), MouseButton::Left); break;
  case WM_LBUTTONUP: FPlayer->MouseUp(At.x(), At.y(), MouseButton::Left); break;
  case WM_RBUTTONDOWN:
  case WM_RBUTTONDBLCLK: FPlayer->MouseDown(At.x(), At.y(), MouseButton::Right); break;
  case WM_RBUTTONUP: FPlayer->MouseUp(At.x(), At.y(), MouseButton::Right); break;
  case WM_MBUTTONDOWN:
  case WM_MBUTTONDBLCLK: FPlayer->MouseDown(At.x(), At.y(), MouseButton::Middle); break;
  case WM_MBUTTONUP: FPlayer->MouseUp(At.x(), At.y(), MouseButton::Middle); break;
  default: return; // the wheel: no movie of this player listens to it
  }
  AfterInput(Before);
}

void TShockwaveFlash::keyPressEvent(QKeyEvent* Event)
{
  if (!FPlayer) {
    QWidget::keyPressEvent(Event);
    return;
  }
  const QString Text = Event->text();
  const char32_t Char = Text.isEmpty() ? 0 : Text.toUcs4().value(0);
  const std::uint32_t Before = FTimeline->CurrentFrame();
  FPlayer->KeyDown(MovieKeyCode(Event->key(), Char), Char);
  if (Char >= 32 && Char != 127)
    FPlayer->TextInput(Char);
  AfterInput(Before);
  Event->accept();
}

void TShockwaveFlash::keyReleaseEvent(QKeyEvent* Event)
{
  if (!FPlayer) {
    QWidget::keyReleaseEvent(Event);
    return;
  }
  // Held keys repeat their presses only.
  if (!Event->isAutoRepeat()) {
    const QString Text = Event->text();
    const char32_t Char = Text.isEmpty() ? 0 : Text.toUcs4().value(0);
    const std::uint32_t Before = FTimeline->CurrentFrame();
    FPlayer->KeyUp(MovieKeyCode(Event->key(), Char), Char);
    AfterInput(Before);
  }
  Event->accept();
}

void TShockwaveFlash::AfterInput(std::uint32_t Before)
{
  // The input's scripts have run: what they changed is shown, and a jump of
  // the root is told like one made by playing.
  update();
  if (FTimeline->CurrentFrame() != Before)
    emit FrameChanged(static_cast<int>(FTimeline->CurrentFrame()));
  FollowPointer();
}

void TShockwaveFlash::FollowPointer()
{
  if (!FPlayer)
    return;
  Qt::CursorShape Shape = Qt::ArrowCursor;
  switch (FPlayer->Shape()) {
  case swf::avm1::PointerShape::Hand: Shape = Qt::PointingHandCursor; break;
  case swf::avm1::PointerShape::IBeam: Shape = Qt::IBeamCursor; break;
  case swf::avm1::PointerShape::Arrow: break;
  }
  if (cursor().shape() != Shape)
    setCursor(Shape);
}

void TShockwaveFlash::OpenMenu(QPoint Pos)
{
  if (!FContextMenu) {
    FContextMenu = new QMenu(this);
    QAction* PlayItem = FContextMenu->addAction(QStringLiteral("Play"));
    PlayItem->setCheckable(true);
    connect(PlayItem, &QAction::triggered, this, [this](bool Checked) {
      if (!FTimeline)
        return;
      if (Checked) {
        Play();
      } else {
        FTimeline->Stop();
        if (FSound)
          FSound->Sound().RootStopped();
      }
    });
    connect(FContextMenu->addAction(QStringLiteral("Rewind")), &QAction::triggered, this, [this] {
      if (FTimeline)
        GotoFrame(0);
    });
  }
  const QList<QAction*> Items = FContextMenu->actions();
  Items[0]->setChecked(Playing());
  for (QAction* Item : Items)
    Item->setEnabled(FTimeline != nullptr);
  FContextMenu->popup(mapToGlobal(Pos));
}

void TShockwaveFlash::paintEvent(QPaintEvent*)
{
  QPainter Painter(this);
  if (!FRenderer) {
    Painter.fillRect(rect(), QColor(36, 38, 41));
    Painter.setPen(QColor(214, 219, 223));
    Painter.drawText(rect(), Qt::AlignCenter | Qt::TextWordWrap, FText);
    return;
  }
  // The stage fitted into the widget, centred; the pane sizes the widget to
  // the same fit, so normally the stage fills it.
  const QRect Target = StageRect().toRect();
  if (Target != rect()) {
    const swf::Rgba& Back = FLoaded->Background;
    Painter.fillRect(rect(), QColor(Back.R, Back.G, Back.B));
  }
  Redraw();
  if (!FPicture.isNull()) {
    Painter.setRenderHint(QPainter::SmoothPixmapTransform, FPicture.size() != Target.size());
    Painter.drawImage(QRectF(Target), FPicture);
  }
  ++FDrawn;
  if (FLoaded->Scripted && !FPlayer) {
    // Script drives this movie and is not run here: say so quietly, so a
    // preloader that waits forever does not pass for a broken download.
    QFont Small = font();
    Small.setPixelSize(9);
    Painter.setFont(Small);
    const QString Note = QStringLiteral("script not run");
    const QRect Box = Painter.fontMetrics().boundingRect(Note).adjusted(-3, -1, 3, 1);
    const QRect Corner(width() - Box.width() - 2, height() - Box.height() - 2, Box.width(), Box.height());
    Painter.fillRect(Corner, QColor(0, 0, 0, 110));
    Painter.setPen(QColor(225, 225, 225, 200));
    Painter.drawText(Corner, Qt::AlignCenter, Note);
  }
}

QRegion TShockwaveFlash::Redraw()
{
  if (!FRenderer || !FTimeline)
    return {};
  const QRect Target = StageRect().toRect();
  if (Target.isEmpty())
    return {};
  // The picture in device pixels, within the renderer's limits.
  QSizeF Device = QSizeF(Target.size()) * devicePixelRatioF();
  const double Pixels = Device.width() * Device.height();
  if (Pixels > static_cast<double>(swf::render::MaxFramePixels))
    Device *= std::sqrt(static_cast<double>(swf::render::MaxFramePixels) / Pixels);
  const QSize Size(std::clamp(qRound(Device.width()), 1, swf::render::MaxFrameSide),
                   std::clamp(qRound(Device.height()), 1, swf::render::MaxFrameSide));
  if (FPicture.size() != Size)
    FPicture = QImage(Size, QImage::Format_ARGB32_Premultiplied);
  if (FPicture.isNull())
    return {};
  QRegion Changed;
  try {
    Changed = FRenderer->Update(FTimeline->List(), FPicture, swf::render::Quality::High);
  } catch (const swf::render::ERenderError& E) {
    // Out of memory for the picture: the pane shows what it had.
    Trace(std::string("preview: ") + E.what());
    FPicture = QImage();
    return {};
  }
  if (Changed.isEmpty())
    return {};
  // Scaled onto the widget, a changed pixel reaches its neighbours.
  if (Size != Target.size())
    return Target;
  return Changed.translated(Target.topLeft());
}

void TShockwaveFlash::showEvent(QShowEvent* Event)
{
  QWidget::showEvent(Event);
  if (!FTimeline)
    return;
  if (!FSound) {
    OpenSound();
    if (FPlayer)
      FPlayer->SetSound(FSound ? &FSound->Sound() : nullptr);
    if (FSound && FTimeline->Playing())
      FSound->Sound().Resume(FTimeline->CurrentFrame());
  }
  StartClock();
}

void TShockwaveFlash::hideEvent(QHideEvent* Event)
{
  QWidget::hideEvent(Event);
  FTicker.stop();
  if (FPlayer)
    FPlayer->SetSound(nullptr);
  FSound.reset();
}

} // namespace quenloft
