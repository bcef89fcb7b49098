#include "app/gui/VellicorFrm.h"

#include "app/App.h"
#include "app/gui/QuenloftApplication.h"
#include "app/gui/SettingsDialog.h"
#include "swf/gui/PreviewSound.h"
#include "http/ClientSettings.h"
#include "ui/kvuShell.h"
#include "platform/kvuStrings.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFileDialog>
#include <QHeaderView>
#include <QKeyEvent>
#include <QPainter>
#include <QScreen>
#include <QStyle>
#include <QStyleOptionViewItem>

#include <algorithm>
#include <filesystem>
#include <unistd.h>

namespace quenloft {

namespace fs = std::filesystem;

// --- free helpers ------------------------------------------------------------

std::string DefaultOutputFolder(const std::string& AppPath, const std::string& DownloadDir)
{
  static constexpr const char* Name = "Downloaded SWF Files/";
  const std::string Beside = AppPath + Name;
  std::error_code Error;
  // The folder beside the executable serves when it can be written, or when
  // it does not exist yet and the executable's folder can be written (the
  // worker creates it). An installed program's folder cannot, or must not
  // be: root may write to /usr/bin.
  const bool Installed = fs::path(AppPath).parent_path().filename() == "bin";
  const bool Writable = fs::is_directory(Beside, Error)
                            ? ::access(Beside.c_str(), W_OK) == 0
                            : (!AppPath.empty() && ::access(AppPath.c_str(), W_OK) == 0);
  const bool Usable = !Installed && Writable;
  if (Usable || DownloadDir.empty())
    return Beside;
  return IncludeBackslash(DownloadDir) + Name;
}

void TShape::paintEvent(QPaintEvent*)
{
  QPainter P(this);
  P.setPen(Qt::black);
  P.drawRect(0, 0, width() - 1, height() - 1);
}

// --- creation ----------------------------------------------------------------

TVellicorForm::TVellicorForm(QWidget* Parent) : TBaseUI2Form(Parent)
{
  setObjectName(QStringLiteral("VellicorForm"));
  FWindowHandle = std::make_unique<TWindowHandle>(*this);
  // The downloader that scans the page and runs the chain of tasks.
  FDownloader = std::make_unique<TVellicorer>();
  ApplyProgramClientSettings(FDownloader->HTTP());
  BrowseForFolder = [this](const std::string& Title, const std::string& Initial) {
    std::error_code Error;
    const QString Start = fs::is_directory(Initial, Error) ? QString::fromStdString(Initial) : QString();
    const QString Chosen = QFileDialog::getExistingDirectory(this, QString::fromStdString(Title), Start);
    return Chosen.isEmpty() ? std::string() : IncludeBackslash(Chosen.toStdString());
  };
  OpenAddress = [](const std::string& Target) { return ShellOpen(Target); };
  ChooseMovieFile = [this] {
    return QFileDialog::getOpenFileName(this, QStringLiteral("Convert a movie"), edtPath->text(),
                                        QStringLiteral("Flash movies (*.swf);;All files (*)"))
        .toStdString();
  };
  CreateComponents();
  FormCreate();
}

TVellicorForm::~TVellicorForm()
{
  // FormDestroy: freeing the coordinator joins a running job; only then is
  // the sink unregistered (it waits for a Post still running).
  StopPreview();
  FDownloader.reset();
  FWindowHandle.reset();
}

void TVellicorForm::CreateComponents()
{
  SetClientSize(723, 356);

  ImageList1 = {QIcon(QPixmap::fromImage(SkinImage("state_queued"))),
                QIcon(QPixmap::fromImage(SkinImage("state_downloading"))),
                QIcon(QPixmap::fromImage(SkinImage("state_done"))),
                QIcon(QPixmap::fromImage(SkinImage("state_failed")))};

  Label1 = new QLabel(QStringLiteral("URL Address"), this);
  Label1->move(20, 48);
  Label1->adjustSize();
  edtURL = new QLineEdit(QStringLiteral("http://"), this);
  edtURL->setGeometry(92, 45, 505, 21);
  edtURL->setStyleSheet(QStringLiteral("QLineEdit { border: 1px solid black; background: white; }"));
  edtURL->installEventFilter(this);
  Label2 = new QLabel(QStringLiteral("Output path"), this);
  Label2->move(20, 85);
  Label2->adjustSize();
  edtPath = new QLineEdit(this);
  edtPath->setGeometry(92, 82, 505, 21);
  edtPath->setStyleSheet(QStringLiteral("QLineEdit { border: 1px solid black; background: white; }"));
  edtPathButton =
      edtPath->addAction(QIcon(QPixmap::fromImage(SkinImage("folder"))), QLineEdit::TrailingPosition);
  connect(edtPathButton, &QAction::triggered, this, [this] { RunHandler([this] { edtPathButtonClick(); }); });

  auto MakeButton = [this](const char* Name, const char* Caption, QRect Bounds) {
    auto* B = new TkvuButton(this);
    B->setObjectName(QLatin1String(Name));
    B->SetLoading(true);
    B->SetAutoSize(false);
    B->SetStretch(true);
    B->SetStretchKeepL(8);
    B->SetStretchKeepR(8);
    B->SetCaption(QLatin1String(Caption));
    B->Bitmaps().SetUp(SkinImage("button_up"));
    B->Bitmaps().SetHot(SkinImage("button_hot"));
    B->Bitmaps().SetDown(SkinImage("button_down"));
    B->Bitmaps().SetDisabled(SkinImage("button_disabled"));
    B->setGeometry(Bounds);
    B->SetLoading(false);
    return B;
  };
  btnDownload = MakeButton("btnDownload", "Start download", {604, 44, 98, 23});
  btnDownload->OnClick = [this] { RunHandler([this] { btnDownloadClick(); }); };
  btnConvert = MakeButton("btnConvert", "Convert SWF to...", {604, 81, 98, 23});
  btnConvert->OnClick = [this] { RunHandler([this] { btnConvertClick(); }); };
  btnStop = MakeButton("btnStop", "Stop", {604, 108, 98, 23});
  btnStop->OnClick = [this] { RunHandler([this] { btnStopClick(); }); };
  btnStop->hide();

  Shape1 = new TShape(this);
  FRows = new TTaskListModel(this);
  FRows->SetStateImages(ImageList1);
  ListView1 = new QTableView(this);
  ListView1->setObjectName(QStringLiteral("ListView1"));
  ListView1->setGeometry(21, 121, 415, 191);
  ListView1->setModel(FRows);
  ListView1->setFrameShape(QFrame::NoFrame);
  ListView1->setShowGrid(true);
  ListView1->setSelectionBehavior(QAbstractItemView::SelectRows);
  ListView1->setSelectionMode(QAbstractItemView::ExtendedSelection);
  ListView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
  ListView1->setIconSize(QSize(16, 16));
  ListView1->setWordWrap(false);
  // A narrow column shows what fits of its text rather than "...".
  ListView1->setTextElideMode(Qt::ElideNone);
  ListView1->verticalHeader()->hide();
  ListView1->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  ListView1->verticalHeader()->setDefaultSectionSize(18);
  ListView1->horizontalHeader()->setHighlightSections(false);
  ListView1->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
  // The first column shows the state icon and the row number, readable up
  // to 99999 in the list's font; the address column gives up what that
  // takes beyond the designed 36 pixels.
  QStyleOptionViewItem Number;
  Number.initFrom(ListView1);
  Number.features = QStyleOptionViewItem::HasDisplay | QStyleOptionViewItem::HasDecoration;
  Number.decorationSize = ListView1->iconSize();
  Number.text = QStringLiteral("99999");
  const int GridLine = 1;
  const int NumberWidth = std::max(
      36, ListView1->style()->sizeFromContents(QStyle::CT_ItemViewItem, &Number, QSize(), ListView1).width() +
              GridLine);
  const int Widths[] = {NumberWidth, 240 - (NumberWidth - 36), 50, 50};
  for (int C = 0; C < 4; ++C)
    ListView1->setColumnWidth(C, Widths[C]);
  // The selection stays visible while the list has no focus.
  QPalette ListPal = ListView1->palette();
  ListPal.setColor(QPalette::Inactive, QPalette::Highlight,
                   ListPal.color(QPalette::Active, QPalette::Highlight));
  ListPal.setColor(QPalette::Inactive, QPalette::HighlightedText,
                   ListPal.color(QPalette::Active, QPalette::HighlightedText));
  ListView1->setPalette(ListPal);
  // Every handler that Qt calls runs guarded (RunHandler): an exception
  // never unwinds through Qt's code.
  connect(ListView1->selectionModel(), &QItemSelectionModel::currentChanged, this,
          [this] { RunHandler([this] { SelectionChanged(); }); });
  connect(ListView1->selectionModel(), &QItemSelectionModel::selectionChanged, this,
          [this] { RunHandler([this] { SelectionChanged(); }); });

  lblParse = new QLabel(this);
  lblParse->setGeometry(212, 216, 41, 17);
  lblParse->setAlignment(Qt::AlignCenter);
  lblParse->setAutoFillBackground(true);
  QPalette ParsePal = lblParse->palette();
  ParsePal.setColor(QPalette::Window, Qt::white);
  lblParse->setPalette(ParsePal);
  lblParse->hide();

  pnlPreview = new QWidget(this);
  pnlPreview->setObjectName(QStringLiteral("pnlPreview"));
  pnlPreview->setGeometry(445, 120, 257, 177);
  pnlPreview->setAutoFillBackground(true);
  QPalette PanelPal = pnlPreview->palette();
  PanelPal.setColor(QPalette::Window, QColor(55, 58, 62)); // the skin's dark grey behind the player
  pnlPreview->setPalette(PanelPal);
  TrackBar = new QSlider(Qt::Horizontal, this);
  TrackBar->setGeometry(445, 297, 257, 16);
  TrackBar->setRange(0, 0);
  TrackBar->setValue(0);
  TrackBar->setEnabled(false);
  TrackBar->installEventFilter(this);
  connect(TrackBar, &QSlider::valueChanged, this, [this] { RunHandler([this] { TrackBarChange(); }); });
  // The speaker sits in the pane's top right corner, above the player.
  btnSound = new QToolButton(pnlPreview);
  btnSound->setObjectName(QStringLiteral("btnSound"));
  btnSound->setGeometry(257 - 18, 2, 16, 16);
  btnSound->setIconSize(QSize(12, 12));
  btnSound->setAutoRaise(true);
  btnSound->setCheckable(true);
  btnSound->setFocusPolicy(Qt::NoFocus);
  btnSound->setChecked(App && App->IsPreviewMuted());
  TPreviewSound::SetMuted(btnSound->isChecked());
  const auto ShowSpeaker = [this] {
    btnSound->setIcon(style()->standardIcon(btnSound->isChecked() ? QStyle::SP_MediaVolumeMuted
                                                                   : QStyle::SP_MediaVolume));
    btnSound->setToolTip(btnSound->isChecked() ? QStringLiteral("Sound off") : QStringLiteral("Sound on"));
  };
  ShowSpeaker();
  connect(btnSound, &QToolButton::toggled, this, [this, ShowSpeaker] {
    ShowSpeaker();
    RunHandler([this] { btnSoundClick(); });
  });
  Timer1 = new QTimer(this);
  Timer1->setInterval(200);
  connect(Timer1, &QTimer::timeout, this, [this] { RunHandler([this] { Timer1Timer(); }); });

  auto MakeLink = [this](const char* Text, int Left) {
    auto* L = new TkvuLinkLabel(QLatin1String(Text), this);
    L->move(Left, 324);
    L->OnClick = [this, L] { RunHandler([this, L] { lblVideoClick(*L); }); };
    return L;
  };
  lblVideo = MakeLink("Convert SWF to Video", 20);
  lblHtml5 = MakeLink("SWF to HTML5", 144);
  lblMp3 = MakeLink("SWF to MP3", 237);
  lblGIF = MakeLink("SWF to GIF", 316);
  lblSettings = new TkvuLinkLabel(QStringLiteral("Settings"), this);
  lblSettings->setObjectName(QStringLiteral("lblSettings"));
  lblSettings->move(400, 324);
  lblSettings->OnClick = [this] { RunHandler([this] { OpenSettings(); }); };
  lblCopyRight = MakeLink("Quenloft home page", 0);
  lblCopyRight->move(702 - lblCopyRight->width(), 324);

  pmConvert = new QMenu(this);
  auto MakeItem = [this](const char* Text) {
    QAction* A = pmConvert->addAction(QLatin1String(Text));
    connect(A, &QAction::triggered, this, [this, A] { RunHandler([this, A] { pmiVideoClick(*A); }); });
    return A;
  };
  pmiVideo = MakeItem("Convert SWF to Video");
  pmiHtml5 = MakeItem("Convert SWF to HTML5");
  pmiMp3 = MakeItem("Convert SWF to MP3");
  pmiGIF = MakeItem("Convert SWF to GIF");

  // The caption buttons on this window.
  btnMin->SetLoading(true);
  btnMin->Bitmaps().SetUp(SkinImage("min_up"));
  btnMin->Bitmaps().SetHot(SkinImage("min_hot"));
  btnMin->Bitmaps().SetDown(SkinImage("min_down"));
  // The minimize button sits left of the close button at the caption's
  // right end, in the size of its skin images.
  btnMin->setGeometry(666, 3, 23, 18);
  btnMin->SetLoading(false);
  // The base window's OK and Cancel have no use here: they are moved past
  // the right edge of the 723 pixels wide window, out of sight.
  btnOkMe->move(800, btnOkMe->y());
  btnCancelMe->move(800, btnCancelMe->y());
  setTabOrder(edtURL, edtPath);
  setTabOrder(edtPath, ListView1);
}

void TVellicorForm::FormCreate()
{
  // The base window's creation has run in its constructor. The default
  // output folder comes first.
  edtPath->setText(QString::fromStdString(DefaultOutputFolder(GetAppPath(), GetDownloadPath())));
  // The window shows its minimize button and opens in the middle of the
  // primary screen.
  btnMin->show();
  if (const QScreen* Screen = QGuiApplication::primaryScreen())
    move(Screen->availableGeometry().center() - rect().center());
  // The caption reads the program's name and version.
  lblCaption->setText(QStringLiteral("%1 %2").arg(
      QStringLiteral("Quenloft"), QString::fromStdString(GetFileVersionText("/proc/self/exe", true))));
  lblCaption->adjustSize();
  // The taskbar shows the application's name; the version is the caption's.
  setWindowTitle(QStringLiteral("Quenloft"));
  // The home page link's address; the four converter entries convert.
  lblCopyRight->Hint = kHomePage;
  pmiVideo->setData(static_cast<int>(convert::Format::MP4));
  pmiHtml5->setData(static_cast<int>(convert::Format::HTML));
  pmiMp3->setData(static_cast<int>(convert::Format::MP3));
  pmiGIF->setData(static_cast<int>(convert::Format::GIF));
  // The remembered folder replaces the default when it still exists.
  ApplyDownloadSettings();
  if (App) {
    const std::string Saved = App->GetOutputPath();
    std::error_code Error;
    if (!Saved.empty() && fs::is_directory(Saved, Error))
      edtPath->setText(QString::fromStdString(Saved));
  }
  // "Start download" and "Stop" share one place.
  btnStop->move(btnStop->x(), btnDownload->y());
  // A one-pixel frame drawn around the list of links.
  const QRect L = ListView1->geometry();
  Shape1->setGeometry(L.left() - 1, L.top() - 1, L.width() + 2, L.height() + 2);
  // Qt widgets are double-buffered already (see EnableDoubleBuffering).
}

void TVellicorForm::SetStartAddress(const std::string& URL)
{
  edtURL->setText(QString::fromLocal8Bit(URL));
  edtURL->setFocus();
}

void TVellicorForm::ApplyUIText()
{
  TBaseUI2Form::ApplyUIText();
  if (!HasUIText())
    return;
  auto Text = [this](const char* Control) {
    return QString::fromStdU16String(GetUIText(std::string("CUI_TVellicorForm_") + Control));
  };
  lblCaption->setText(Text("lblCaption"));
  Label1->setText(Text("Label1"));
  Label2->setText(Text("Label2"));
  btnDownload->SetCaption(Text("btnDownload"));
  btnConvert->SetCaption(Text("btnConvert"));
  btnStop->SetCaption(Text("btnStop"));
}

// --- window events -------------------------------------------------------------

void TVellicorForm::showEvent(QShowEvent* Event)
{
  TBaseUI2Form::showEvent(Event);
  // FormShow: the ping starts at most once per run, however often the
  // window is shown.
  if (App)
    RunHandler([] { App->StartInstallTrack(); });
}

void TVellicorForm::closeEvent(QCloseEvent* Event)
{
  // FormClose: stop the preview, a running scan and a running download (as
  // "Stop"); none of them waits for its server.
  if (FDownloader->Scanning())
    FDownloader->Stop();
  StopPreview();
  if (!btnStop->isHidden())
    btnStop->Click();
  TBaseUI2Form::closeEvent(Event);
}

void TVellicorForm::btnMinClick()
{
  // Minimises the whole application, not only this window.
  for (QWidget* W : QApplication::topLevelWidgets())
    if (W->isVisible())
      W->showMinimized();
}

bool TVellicorForm::eventFilter(QObject* Watched, QEvent* Event)
{
  if (Watched == edtURL && Event->type() == QEvent::KeyPress) {
    const int Key = static_cast<QKeyEvent*>(Event)->key();
    // edtURLKeyDown: Enter clicks "Start download" only while it is shown;
    // the key is not consumed.
    if ((Key == Qt::Key_Return || Key == Qt::Key_Enter) && !btnDownload->isHidden())
      btnDownload->Click();
  } else if (Watched == TrackBar &&
             (Event->type() == QEvent::MouseButtonPress || Event->type() == QEvent::MouseButtonRelease)) {
    // The press is seen before the slider moves its thumb for it. The
    // filter sees presses on a disabled bar too: they start nothing. A
    // release always ends seeking.
    const Qt::MouseButton Button = static_cast<QMouseEvent*>(Event)->button();
    if (Event->type() == QEvent::MouseButtonRelease)
      RunHandler([this, Button] { TrackBarMouseUp(Button); });
    else if (TrackBar->isEnabled())
      RunHandler([this, Button] { TrackBarMouseDown(Button); });
  }
  return TBaseUI2Form::eventFilter(Watched, Event);
}

// --- buttons and links -----------------------------------------------------------

void TVellicorForm::btnDownloadClick()
{
  StopPreview();
  // A scan or download still running gives way to this scan: the
  // coordinator aborts and joins it first, then the scan and the downloads
  // after it follow the settings saved now.
  FDownloader->Clear();
  ApplyDownloadSettings();
  FDownloader->StartScan(edtURL->text().toStdString(), Handle());
  FRows->Clear();
  FFocusedSelectedRow = -1;
  ListView1->repaint();
}

void TVellicorForm::ScanDone(const TTaskEvent& Event)
{
  lblParse->hide();
  if (Event.ScanStopped)
    return;
  ShowTaskRows();
  const std::string Folder = IncludeBackslash(edtPath->text().toStdString());
  FDownloader->SetOutputFolder(Folder);
  if (App)
    App->SetOutputPath(Folder);
  if (FRows->RowCount() > 0)
    ListView1->selectionModel()->setCurrentIndex(FRows->index(0, 0), QItemSelectionModel::ClearAndSelect |
                                                                         QItemSelectionModel::Rows);
  if (FDownloader->Tasks().Count() > 0) {
    FDownloader->StartTask(FDownloader->Tasks().Items(0), Handle());
    btnDownload->hide();
    btnStop->show();
  }
}

void TVellicorForm::ApplyDownloadSettings()
{
  const TDownloadSettings Saved = SavedDownloadSettings();
  FDownloader->Retries = Saved.Retries;
  // A proxy that cannot be used fails each request with the reason.
  FDownloader->HTTP().Proxy.Explicit = Saved.Proxy;
  FDownloader->Resume = Saved.Resume;
}

TSettingsDialog* TVellicorForm::OpenSettings()
{
  auto* Dialog = new TSettingsDialog(this);
  Dialog->setModal(true);
  Dialog->show();
  return Dialog;
}

void TVellicorForm::btnStopClick()
{
  FDownloader->Stop();
  btnStop->hide();
  btnDownload->show();
}

void TVellicorForm::btnConvertClick()
{
  pmConvert->popup(btnConvert->mapToGlobal(QPoint(0, btnConvert->height())));
}

void TVellicorForm::edtPathButtonClick()
{
  const std::string Chosen = BrowseForFolder("Select output path", edtPath->text().toStdString());
  if (Chosen.empty())
    return;
  edtPath->setText(QString::fromStdString(Chosen));
  if (App)
    App->SetOutputPath(Chosen);
}

void TVellicorForm::lblVideoClick(const TkvuLinkLabel& Sender)
{
  if (&Sender == lblVideo)
    OpenConverter(convert::Format::MP4);
  else if (&Sender == lblHtml5)
    OpenConverter(convert::Format::HTML);
  else if (&Sender == lblMp3)
    OpenConverter(convert::Format::MP3);
  else if (&Sender == lblGIF)
    OpenConverter(convert::Format::GIF);
  else
    (void)OpenAddress(Sender.Hint);
}

void TVellicorForm::pmiVideoClick(const QAction& Sender)
{
  OpenConverter(static_cast<convert::Format>(Sender.data().toInt()));
}

// --- the scan and the rows ---------------------------------------------------------

void TVellicorForm::ShowTaskRows()
{
  TSWFTaskList& Tasks = FDownloader->Tasks();
  std::vector<TSWFTask*> All;
  All.reserve(Tasks.Count());
  for (std::size_t I = 0; I < Tasks.Count(); ++I)
    All.push_back(Tasks.Items(I));
  FRows->AppendTasks(All);
  for (std::size_t I = 0; I < All.size(); ++I)
    FillRow(*All[I], static_cast<int>(I));
}

void TVellicorForm::ShowParseProgress(std::uint8_t Percent)
{
  lblParse->setText(QStringLiteral("Loading..%1%").arg(Percent));
  // The label keeps its centre; it widens when the text needs more room.
  const int Centre = 212 + 41 / 2;
  const int W = std::max(41, lblParse->sizeHint().width());
  lblParse->setGeometry(Centre - W / 2, 216, W, 17);
  lblParse->show();
  lblParse->raise();
}

void TVellicorForm::FillRow(TSWFTask& Task, int Row)
{
  FRows->FillRow(Task, Row);
}

int TVellicorForm::FindRow(const TSWFTask& Task) const
{
  return FRows->FindRow(Task.Id);
}

void TVellicorForm::RefreshTask(TSWFTask& Task)
{
  const int Row = FindRow(Task);
  if (Row >= 0)
    FillRow(Task, Row);
}

void TVellicorForm::ChainOver()
{
  btnStop->hide();
  btnDownload->show();
  if (OnChainIdle)
    OnChainIdle();
}

// --- task events -------------------------------------------------------------------

void TVellicorForm::Post(TMessage Message)
{
  // The one place where a worker's event crosses to the UI thread. Queued
  // calls to one receiver run in posting order.
  QMetaObject::invokeMethod(
      this, [this, M = std::move(Message)] { RunHandler([this, &M] { HandleMessage(M); }); },
      Qt::QueuedConnection);
}

void TVellicorForm::HandleMessage(const TMessage& Message)
{
  // The coordinator updates the task and starts the next one unless "Stop"
  // was pressed; the window shows what changed.
  const TTaskEvent Event = FDownloader->HandleTaskEvent(Message, Handle());
  if (Event.ScanPercent >= 0)
    ShowParseProgress(static_cast<std::uint8_t>(Event.ScanPercent));
  if (Event.ScanDone)
    ScanDone(Event);
  if (!Event.Task || !Event.Redraw)
    return; // a task freed by a new scan, or no whole percent more
  TSWFTask& Task = *Event.Task;
  // A row is repainted only when something it shows changed.
  RefreshTask(Task);
  if (Message.Msg == WM_DOWNLOAD_DONE) {
    const int Row = FindRow(Task);
    // PreviewFile never raises: a file that is not a movie shows "not a
    // movie" and the chain goes on.
    if (Row >= 0 && ListView1->currentIndex().isValid() && ListView1->currentIndex().row() == Row)
      PreviewFile(Task.FileName);
  } else if (Message.Msg == WM_DOWNLOAD_ERROR) {
    // The row says why: its tool tip holds the error text.
    FRows->SetRowError(FindRow(Task), QString::fromStdString(Message.Text));
  }
  if (Event.ChainOver)
    ChainOver();
}

} // namespace quenloft
