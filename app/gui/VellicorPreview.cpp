// The preview pane of the main window: a fresh player for every preview,
// fitted into the panel and centred, and the track bar that follows the
// movie's frames and seeks them while dragged.
//
// Threads: UI thread only.
#include "app/gui/VellicorFrm.h"

#include "swf/Movie.h"
#include "app/App.h"
#include "swf/SWFStreams.h"
#include "swf/gui/PreviewSound.h"
#include "ui/kvuShell.h"

#include <algorithm>
#include <filesystem>

namespace quenloft {

void TVellicorForm::PreviewFile(const std::string& Path)
{
  // A new player replaces the old one. It reads the whole movie, unseen
  // until it is placed.
  delete FFlash;
  FFlash = new TkvuFlash(pnlPreview);
  FFlash->hide();
  FFlash->LoadMovie(QString::fromLocal8Bit(Path));
  const std::shared_ptr<const swf::Movie> Loaded = FFlash->LoadedMovie();
  // The header gives the stage size; where the header reader cannot (an
  // LZMA movie), the movie itself does.
  int W = 0;
  int H = 0;
  int Declared = 0;
  if (Loaded && !TryGetSWFInfo(Path, W, H, Declared)) {
    W = TwipsToPixels(Loaded->Stage.XMin, Loaded->Stage.XMax);
    H = TwipsToPixels(Loaded->Stage.YMin, Loaded->Stage.YMax);
  }
  // A file that is not a movie, or a movie without a stage, shows why in
  // the panel and gets no track bar: it must not stop the download chain
  // that called us.
  if (!Loaded || W <= 0 || H <= 0) {
    Timer1->stop();
    TrackBar->setEnabled(false);
    FFlash->setGeometry(pnlPreview->rect().adjusted(1, 1, -1, -1));
    if (Loaded)
      FFlash->ShowMessage(QStringLiteral("not a movie: the stage has no size"));
    FFlash->show();
    return;
  }
  // The track bar runs over the frames the file really holds, which a
  // movie cut short has fewer of than its header says; tags after the
  // last of the frames the header counts make no frame of their own.
  const int Read = FFlash->TotalFrames();
  const int Counted = Loaded->Root.FrameCount;
  TrackBar->setMaximum(Counted > 0 ? std::min(Read, Counted) : Read);
  TrackBar->setEnabled(true);
  // The panel's client area less a one-pixel margin on each side.
  int FitW = 0;
  int FitH = 0;
  FitSizeInBox(pnlPreview->width() - 2, pnlPreview->height() - 2, W, H, true, FitW, FitH);
  // The player, fitted to that size, is centred in the panel.
  CenterInParent(*FFlash, *pnlPreview, FitW, FitH, false);
  // The movie shows; the timer moves the track bar along with it.
  FFlash->show();
  btnSound->raise();
  Timer1->start();
}

void TVellicorForm::StopPreview()
{
  Timer1->stop();
  // The position and the maximum stay.
  TrackBar->setEnabled(false);
  delete FFlash;
  FFlash = nullptr;
}

void TVellicorForm::SelectionChanged()
{
  // Only the row that is both focused and selected counts, and only when it
  // becomes so: the row that loses the selection changes nothing, and
  // clicking the row that already is focused and selected does nothing.
  const QModelIndex Current = ListView1->currentIndex();
  int Row = -1;
  if (Current.isValid() && ListView1->selectionModel()->isRowSelected(Current.row(), QModelIndex()))
    Row = Current.row();
  if (Row == FFocusedSelectedRow)
    return;
  FFocusedSelectedRow = Row;
  if (Row >= 0)
    ListView1Change(Row);
}

void TVellicorForm::ListView1Change(int Row)
{
  TSWFTask* Task = FRows->Task(Row);
  if (!Task)
    return;
  std::error_code Error;
  if (Task->State == tsDone && std::filesystem::exists(Task->FileName, Error))
    PreviewFile(Task->FileName);
  else
    StopPreview();
}

void TVellicorForm::TrackBarMouseDown(Qt::MouseButton Button)
{
  if (Button == Qt::LeftButton)
    FSeeking = true;
}

void TVellicorForm::TrackBarChange()
{
  // Changes made by the timer do not seek.
  if (FSeeking && FFlash)
    FFlash->GotoFrame(TrackBar->value());
}

void TVellicorForm::TrackBarMouseUp(Qt::MouseButton Button)
{
  if (Button != Qt::LeftButton)
    return;
  // Cleared first: a player that cannot play must not leave the bar held.
  FSeeking = false;
  if (FFlash)
    FFlash->Play();
}

void TVellicorForm::btnSoundClick()
{
  // Every preview, playing or to come, and the next start remember it.
  TPreviewSound::SetMuted(btnSound->isChecked());
  if (App)
    App->SetPreviewMuted(btnSound->isChecked());
}

void TVellicorForm::Timer1Timer()
{
  // While the button is held the thumb stays where the user puts it.
  if (!FSeeking && FFlash)
    TrackBar->setValue(FFlash->CurrentFrame());
}

} // namespace quenloft
