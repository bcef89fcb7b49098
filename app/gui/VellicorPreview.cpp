// The preview pane of the main window: a fresh player for every preview,
// fitted into the panel and centred, and the track bar that follows the
// movie's frames and seeks them while dragged.
//
// Threads: UI thread only.
#include "app/gui/VellicorFrm.h"

#include "app/App.h"
#include "swf/SWFStreams.h"
#include "swf/gui/PreviewSound.h"
#include "ui/kvuShell.h"

#include <filesystem>

namespace quenloft {

void TVellicorForm::PreviewFile(const std::string& Path)
{
  // A new player replaces the old one.
  delete FFlash;
  FFlash = new TkvuFlash(pnlPreview);
  FFlash->hide();
  // The header gives the stage size and the frame count. A file that is
  // not a movie (no stage size, or a header that cannot be read) gets no
  // player: it must not stop the download chain that called us.
  int W = 0;
  int H = 0;
  int Frames = 0;
  if (!TryGetSWFInfo(Path, W, H, Frames)) {
    Timer1->stop();
    TrackBar->setEnabled(false);
    FFlash->setGeometry(pnlPreview->rect().adjusted(1, 1, -1, -1));
    FFlash->ShowMessage(QStringLiteral("not a movie"));
    FFlash->show();
    return;
  }
  // The track bar runs over the movie's frames.
  TrackBar->setMaximum(Frames);
  TrackBar->setEnabled(true);
  // The panel's client area less a one-pixel margin on each side.
  int FitW = 0;
  int FitH = 0;
  FitSizeInBox(pnlPreview->width() - 2, pnlPreview->height() - 2, W, H, true, FitW, FitH);
  // The player, fitted to that size, is centred in the panel.
  CenterInParent(*FFlash, *pnlPreview, FitW, FitH, false);
  // The movie starts; the timer moves the track bar along with it.
  FFlash->LoadMovie(QString::fromLocal8Bit(Path));
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
  if (FFlash)
    FFlash->Play();
  FSeeking = false;
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
