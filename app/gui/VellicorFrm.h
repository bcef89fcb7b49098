// TVellicorForm: the program's one window. The user types a page address and
// an output folder and presses "Start download" (or Enter in the address
// box); the coordinator scans the page on its worker, the window shows one
// row per movie found when the scan is done and lets the coordinator
// download them one after another, updating each row from the job's events.
// A finished movie whose row has the focus goes to the preview pane (its
// members are in VellicorPreview.cpp).
//
// The window never waits for the network: a close or a new scan ends a
// stalled page fetch at once, and Stop, a new scan and closing the window
// abort a download in progress whatever its server does.
//
// Threads: every member runs on the UI thread, except Post (IMessageSink),
// which the coordinator's jobs call on the worker thread. Post hops to the
// UI thread with a queued call, keeping the posting order, and the event
// handlers run there.
#pragma once

#include "app/gui/TaskListModel.h"
#include "convert/Options.h"
#include "download/Vellicorer.h"
#include "http/IdHTTP.h"
#include "platform/Messages.h"
#include "swf/gui/kvuFlash.h"
#include "ui/gui/BaseUI2Frm.h"
#include "ui/gui/kvuLinkLabel.h"

#include <QAction>
#include <QIcon>
#include <QLineEdit>
#include <QMenu>
#include <QSlider>
#include <QTableView>
#include <QTimer>
#include <QToolButton>

#include <array>
#include <functional>
#include <memory>
#include <string>

namespace quenloft {

// The home page the copyright link opens: the address the build was
// configured with (QUENLOFT_HOMEPAGE).
inline constexpr const char* kHomePage = QUENLOFT_HOMEPAGE "?ref=quenloft";

// "Downloaded SWF Files/" beside the executable (AppPath) when that folder
// can be written (or created) and AppPath is not an installed place (a
// folder named "bin", such as /usr/bin or ~/.local/bin, where even a user
// who may write there wants no movies); otherwise the same name in
// DownloadDir.
std::string DefaultOutputFolder(const std::string& AppPath, const std::string& DownloadDir);

// The outline drawn one pixel outside the list.
class TShape : public QWidget {
  Q_OBJECT

public:
  using QWidget::QWidget;

protected:
  void paintEvent(QPaintEvent* Event) override;
};

class TVellicorForm : public TBaseUI2Form, public IMessageSink {
  Q_OBJECT

public:
  explicit TVellicorForm(QWidget* Parent = nullptr);
  ~TVellicorForm() override;

  // IMessageSink: called on the worker's thread.
  void Post(TMessage Message) override;
  HWND Handle() const { return FWindowHandle->Handle(); }

  TVellicorer& Downloader() { return *FDownloader; }
  // The coordinator's HTTP client (tests give it their CA with CAFile);
  // configure it only while no scan or download runs.
  TIdHTTP& HTTP() { return FDownloader->HTTP(); }
  TTaskListModel& Rows() { return *FRows; }
  TkvuFlash* Flash() const { return FFlash; }
  bool Seeking() const { return FSeeking; }

  // The address handed on the command line (in the locale's encoding): typed
  // into the address box, which gets the focus. Nothing starts until the
  // user presses "Start download".
  void SetStartAddress(const std::string& URL);

  // The designed components.
  QLabel* Label1;
  QLineEdit* edtURL;
  QLabel* Label2;
  QLineEdit* edtPath;
  QAction* edtPathButton; // the glyph button at the right end of edtPath
  TkvuButton* btnDownload;
  TkvuButton* btnConvert;
  TkvuButton* btnStop;
  TShape* Shape1;
  QTableView* ListView1;
  QLabel* lblParse;
  QWidget* pnlPreview;
  QSlider* TrackBar;
  QToolButton* btnSound; // the speaker in the pane's corner: mutes every preview
  QTimer* Timer1;
  TkvuLinkLabel* lblVideo;
  TkvuLinkLabel* lblHtml5;
  TkvuLinkLabel* lblMp3;
  TkvuLinkLabel* lblGIF;
  TkvuLinkLabel* lblSettings; // opens the download settings
  TkvuLinkLabel* lblCopyRight;
  QMenu* pmConvert;
  QAction* pmiVideo;
  QAction* pmiHtml5;
  QAction* pmiMp3;
  QAction* pmiGIF;
  std::array<QIcon, 4> ImageList1;

  // Event handlers and methods of the workflow.
  void btnDownloadClick();
  void btnStopClick();
  void btnConvertClick();
  void edtPathButtonClick();
  void lblVideoClick(const TkvuLinkLabel& Sender);
  void pmiVideoClick(const QAction& Sender);
  bool Scanning() const { return FDownloader->Scanning(); }
  void ShowParseProgress(std::uint8_t Percent);
  void FillRow(TSWFTask& Task, int Row);
  int FindRow(const TSWFTask& Task) const;
  void RefreshTask(TSWFTask& Task);
  // The chain has ended: "Start download" shows again.
  void ChainOver();
  // Once the scan's links are tasks: one row per task of the coordinator,
  // filled.
  void ShowTaskRows();
  // The scan has ended: the rows, the output folder, the first task.
  void ScanDone(const TTaskEvent& Event);
  // Runs one posted scan or task event (a stale one, of a scan or task that
  // a new scan replaced, is dropped).
  void HandleMessage(const TMessage& Message);

  // The preview pane (VellicorPreview.cpp).
  void PreviewFile(const std::string& Path);
  void StopPreview();
  void ListView1Change(int Row);
  void TrackBarMouseDown(Qt::MouseButton Button);
  void TrackBarChange();
  void TrackBarMouseUp(Qt::MouseButton Button);
  void Timer1Timer();
  void btnSoundClick();

  void ApplyUIText() override;

  // The download settings dialog (proxy, retries, continuing partial
  // files), shown modal; it deletes itself when closed.
  class TSettingsDialog* OpenSettings();
  // The saved download settings go to the coordinator; call only while no
  // scan or download runs.
  void ApplyDownloadSettings();

  // The conversions (VellicorConvert.cpp): the four "Convert SWF to ..."
  // entries open a conversion dialog for the selected finished movie, or
  // for a movie file asked for when none is selected; nullptr when none was
  // chosen. Each dialog converts on a thread of its own.
  class TConvertDialog* OpenConverter(convert::Format Kind);
  // The file of the focused, selected row when its movie is saved, or "".
  std::string SelectedMovie() const;

  // The environment, replaceable by tests: the folder picker (title,
  // initial folder -> chosen folder or ""), and the opener of addresses.
  std::function<std::string(const std::string& Title, const std::string& Initial)> BrowseForFolder;
  std::function<bool(const std::string& Target)> OpenAddress;
  // The movie file picker for a conversion with no movie selected.
  std::function<std::string()> ChooseMovieFile;
  // Called when the chain has run out of tasks and "Start download" shows
  // again.
  std::function<void()> OnChainIdle;

protected:
  void FormCreate() override;
  void btnMinClick() override;
  void showEvent(QShowEvent* Event) override;
  void closeEvent(QCloseEvent* Event) override;
  bool eventFilter(QObject* Watched, QEvent* Event) override;

private:
  void CreateComponents();
  void SelectionChanged();

  std::unique_ptr<TWindowHandle> FWindowHandle;
  std::unique_ptr<TVellicorer> FDownloader;
  TTaskListModel* FRows = nullptr;
  TkvuFlash* FFlash = nullptr;
  bool FSeeking = false;
  int FFocusedSelectedRow = -1; // the row last seen focused and selected
};

} // namespace quenloft
