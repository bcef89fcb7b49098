// TVellicorForm: the program's one window. The user types a page address and
// an output folder and presses "Start download" (or Enter in the address
// box); the window scans the page on the UI thread, shows one row per movie
// found and lets the coordinator download them one after another, updating
// each row from the worker's task events. A finished movie whose row has the
// focus goes to the preview pane (its members are in VellicorPreview.cpp).
//
// The page is fetched on a helper thread while the UI thread runs a local
// event loop, so the window keeps painting and a close or a new scan ends a
// stalled fetch at once (the client's abort); likewise Stop, a new scan and
// closing the window abort a download in progress whatever its server does.
//
// Threads: every member runs on the UI thread, except Post (IMessageSink),
// which a download worker calls on its own thread, and the scan's fetch,
// which runs on the scan thread and reaches the window only by queued calls.
// Post hops to the UI thread with a queued call, keeping the posting order,
// and the four task-event handlers run there.
#pragma once

#include "app/gui/TaskListModel.h"
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
#include <thread>
#include <functional>
#include <memory>
#include <string>

namespace quenloft {

// The converter pages and the home page the links open.
inline constexpr const char* kVideoPage = "https://www.example.com/quenloft/swf-to-video?ref=quenloft";
inline constexpr const char* kHtml5Page = "https://www.example.com/quenloft/swf-to-html5?ref=quenloft";
inline constexpr const char* kMp3Page = "https://www.example.com/quenloft/swf-to-mp3?ref=quenloft";
inline constexpr const char* kGIFPage = "https://www.example.com/quenloft/swf-to-gif?ref=quenloft";
inline constexpr const char* kHomePage = "https://www.example.com/quenloft/?ref=quenloft";

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
  // The window's HTTP client (tests give it their CA with CAFile).
  TIdHTTP& HTTP() { return IdHTTP1; }
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
  // False when the scan did not end by itself: a newer scan took over (this
  // handler was entered again from the scan's event loop) or the window was
  // closed; the caller then leaves the rows alone.
  bool ScanPage(const std::string& URL);
  bool Scanning() const { return FScanning; }
  void ShowParseProgress(std::uint8_t Percent);
  void FillRow(TSWFTask& Task, int Row);
  int FindRow(const TSWFTask& Task) const;
  void RefreshTask(TSWFTask& Task);
  // The chain has ended: "Start download" shows again.
  void ChainOver();
  // The end of ScanPage, once the links are tasks: one row per task of the
  // coordinator, filled.
  void ShowTaskRows();
  // Runs one posted task event (a stale one, whose task a new scan freed, is
  // dropped).
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

  // The environment, replaceable by tests: the folder picker (title,
  // initial folder -> chosen folder or ""), and the opener of addresses.
  std::function<std::string(const std::string& Title, const std::string& Initial)> BrowseForFolder;
  std::function<bool(const std::string& Target)> OpenAddress;
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
  // Aborts a running scan's fetch and joins its thread.
  void EndScan();

  TIdHTTP IdHTTP1;
  std::unique_ptr<TWindowHandle> FWindowHandle;
  std::unique_ptr<TVellicorer> FDownloader;
  TTaskListModel* FRows = nullptr;
  TkvuFlash* FFlash = nullptr;
  bool FSeeking = false;
  int FFocusedSelectedRow = -1; // the row last seen focused and selected
  std::thread FScanThread;
  unsigned FScanNumber = 0; // the scan whose result counts
  bool FScanning = false;
};

} // namespace quenloft
