#include "app/App.h"
#include "app/gui/ConvertDialog.h"
#include "app/gui/QuenloftApplication.h"
#include "app/gui/VellicorFrm.h"
#include "swf/MovieReader.h"
#include "swf/Timeline.h"
#include "swf/render/Renderer.h"
#include "ui/kvuShell.h"

#include "tests/app/gui/TestApplication.h"
#include "tests/convert/MediaProbe.h"
#include "tests/support/NginxServer.h"
#include "tests/support/ScriptedServer.h"
#include "tests/support/TempDir.h"
#include "tests/swf/MovieBuilder.h"
#include "tests/swf/gui/MovieFixtures.h"
#include "tests/ui/gui/QtTestApp.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QHeaderView>
#include <QMenu>
#include <QPointer>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QTest>
#include <QTimer>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <thread>

namespace quenloft {
namespace {

using testing::PressKey;
using testing::ScriptedConnection;
using testing::ScriptedServer;
using testing::TempDir;
using testing::WaitUntil;

using testing::Application;

// Replaces the application's error box for one test and puts it back.
class TErrorBoxCapture {
public:
  TErrorBoxCapture() : FOld(Application().ShowError)
  {
    Application().ShowError = [this](const QString& T, const QString& M) {
      Title = T;
      Text = M;
      ++Count;
    };
  }
  ~TErrorBoxCapture() { Application().ShowError = FOld; }
  TErrorBoxCapture(const TErrorBoxCapture&) = delete;
  TErrorBoxCapture& operator=(const TErrorBoxCapture&) = delete;

  QString Title;
  QString Text;
  int Count = 0;

private:
  std::function<void(const QString&, const QString&)> FOld;
};

// An uncompressed movie of W x H pixels and Frames empty frames.
std::string Movie(int W, int H, int Frames, std::size_t Padding = 0)
{
  std::string Bits = "10000"; // 16 bits per field
  auto Field = [&Bits](int V) {
    for (int I = 15; I >= 0; --I)
      Bits += ((V >> I) & 1) ? '1' : '0';
  };
  Field(0);
  Field(W * 20);
  Field(0);
  Field(H * 20);
  while (Bits.size() % 8)
    Bits += '0';
  std::string Body;
  for (std::size_t I = 0; I < Bits.size(); I += 8)
    Body += static_cast<char>(std::stoi(Bits.substr(I, 8), nullptr, 2));
  Body += std::string("\x00\x18", 2);
  Body += static_cast<char>(Frames & 0xFF);
  Body += static_cast<char>(Frames >> 8);
  for (int I = 0; I < Frames; ++I)
    Body += std::string("\x40\x00", 2); // ShowFrame
  Body += std::string(2 + Padding, '\0');
  const std::uint32_t Length = static_cast<std::uint32_t>(8 + Body.size());
  std::string Head = "FWS";
  Head += '\x0A';
  for (int I = 0; I < 4; ++I)
    Head += static_cast<char>((Length >> (8 * I)) & 0xFF);
  return Head + Body;
}

// A window with its settings in a folder of its own (no install ping).
class WindowTest : public ::testing::Test {
protected:
  static void SetUpTestSuite() { Application(); }
  void SetUp() override
  {
    ::setenv("XDG_CONFIG_HOME", Config.Path().c_str(), 1);
    Lifetime = std::make_unique<TAppLifetime>();
    App->SetInstallTracked(true);
    Form = std::make_unique<TVellicorForm>();
    Form->OpenAddress = [this](const std::string& Target) {
      Opened.push_back(Target);
      return true;
    };
  }
  void TearDown() override
  {
    Form.reset();
    Lifetime.reset();
  }

  // Rows for URLs without a scan (as the end of a scan makes them).
  void MakeRows(const std::vector<std::string>& URLs)
  {
    Form->Downloader().Clear();
    Form->Rows().Clear();
    Form->Downloader().AddTasks(URLs);
    Form->ShowTaskRows();
  }
  TSWFTask& Task(int I) { return *Form->Downloader().Tasks().Items(static_cast<std::size_t>(I)); }
  void Send(std::uint32_t Msg, std::int64_t WParam, const TSWFTask& T)
  {
    Form->Post({Msg, WParam, T.Id, {}});
    QCoreApplication::processEvents();
  }
  QString Cell(int Row, int Col) const { return Form->Rows().Cell(Row, Col); }

  TempDir Config;
  TempDir Files;
  std::unique_ptr<TAppLifetime> Lifetime;
  std::unique_ptr<TVellicorForm> Form;
  std::vector<std::string> Opened;
};

TEST_F(WindowTest, ComponentsSitWhereTheDesignPutsThem)
{
  TVellicorForm& F = *Form;
  EXPECT_EQ(F.size(), QSize(723, 356));
  EXPECT_EQ(F.Label1->pos(), QPoint(20, 48));
  EXPECT_EQ(F.edtURL->geometry(), QRect(92, 45, 505, 21));
  EXPECT_EQ(F.edtURL->text(), QStringLiteral("http://"));
  EXPECT_EQ(F.Label2->pos(), QPoint(20, 85));
  EXPECT_EQ(F.edtPath->geometry(), QRect(92, 82, 505, 21));
  EXPECT_EQ(F.btnDownload->geometry(), QRect(604, 44, 98, 23));
  EXPECT_EQ(F.btnConvert->geometry(), QRect(604, 81, 98, 23));
  EXPECT_EQ(F.btnStop->geometry(), QRect(604, 44, 98, 23)); // moved onto btnDownload
  EXPECT_TRUE(F.btnStop->isHidden());
  EXPECT_EQ(F.ListView1->geometry(), QRect(21, 121, 415, 191));
  EXPECT_EQ(F.Shape1->geometry(), QRect(20, 120, 417, 193));
  EXPECT_EQ(F.lblParse->geometry(), QRect(212, 216, 41, 17));
  EXPECT_TRUE(F.lblParse->isHidden());
  EXPECT_EQ(F.pnlPreview->geometry(), QRect(445, 120, 257, 177));
  EXPECT_EQ(F.pnlPreview->palette().color(QPalette::Window), QColor(55, 58, 62));
  EXPECT_EQ(F.TrackBar->geometry(), QRect(445, 297, 257, 16));
  EXPECT_FALSE(F.TrackBar->isEnabled());
  EXPECT_EQ(F.Timer1->interval(), 200);
  EXPECT_FALSE(F.Timer1->isActive());
  EXPECT_EQ(F.lblVideo->pos(), QPoint(20, 324));
  EXPECT_EQ(F.lblHtml5->pos(), QPoint(144, 324));
  EXPECT_EQ(F.lblMp3->pos(), QPoint(237, 324));
  EXPECT_EQ(F.lblGIF->pos(), QPoint(316, 324));
  EXPECT_EQ(F.btnMin->geometry(), QRect(666, 3, 23, 18));
  EXPECT_FALSE(F.btnMin->isHidden());
  EXPECT_TRUE(F.btnMax->isHidden());
  EXPECT_GE(F.btnOkMe->x(), 723);
  EXPECT_GE(F.btnCancelMe->x(), 723);
  // The number column is as wide as its numbers need (at least the
  // designed 36), taken from the address column's 240.
  EXPECT_GE(F.ListView1->columnWidth(0), 36);
  EXPECT_EQ(F.ListView1->columnWidth(0) + F.ListView1->columnWidth(1), 36 + 240);
  EXPECT_EQ(F.ListView1->columnWidth(2), 50);
  EXPECT_EQ(F.ListView1->columnWidth(3), 50);
  EXPECT_EQ(F.Rows().headerData(1, Qt::Horizontal, Qt::DisplayRole).toString(), QStringLiteral("URL"));
  EXPECT_EQ(F.Rows().headerData(3, Qt::Horizontal, Qt::TextAlignmentRole).toInt(), int(Qt::AlignCenter));
  EXPECT_TRUE(F.btnDownload->Stretch());
  EXPECT_EQ(F.btnDownload->StretchKeepL(), 8);
  EXPECT_EQ(F.btnDownload->Caption(), QStringLiteral("Start download"));
  EXPECT_TRUE(F.lblCaption->text().startsWith(QStringLiteral("Quenloft ")));
  EXPECT_EQ(F.lblCaption->text(),
            QStringLiteral("Quenloft ") + QString::fromStdString(GetFileVersionText("/proc/self/exe", true)));
  EXPECT_TRUE(F.edtPath->text().endsWith(QStringLiteral("Downloaded SWF Files/")));
  EXPECT_EQ(F.ImageList1[3].availableSizes().value(0), QSize(16, 16));
  // There is no source of translated texts: the designed texts stay.
  const QString Caption = F.lblCaption->text();
  F.ApplyUIText();
  EXPECT_EQ(F.lblCaption->text(), Caption);
  EXPECT_EQ(F.Label1->text(), QStringLiteral("URL Address"));
  EXPECT_EQ(F.btnStop->Caption(), QStringLiteral("Stop"));
}

TEST(WindowHelpers, DefaultFolderFallsBackToTheDownloadFolder)
{
  TempDir Dir;
  EXPECT_EQ(DefaultOutputFolder(Dir.Folder(), "/home/u/Downloads"), Dir.Folder() + "Downloaded SWF Files/");
  EXPECT_EQ(DefaultOutputFolder("/proc/1/", "/home/u/Downloads"), "/home/u/Downloads/Downloaded SWF Files/");
  EXPECT_EQ(DefaultOutputFolder("/nonexistent-quenloft/", "/d/"), "/d/Downloaded SWF Files/");
  // An installed place, even one this user may write to, keeps no movies.
  std::filesystem::create_directory(Dir.Folder() + "bin");
  EXPECT_EQ(DefaultOutputFolder(Dir.Folder() + "bin/", "/d/"), "/d/Downloaded SWF Files/");
}

TEST(WindowHelpers, SizeTextsAtTheThresholds)
{
  const QString Dot = QStringLiteral(".");
  EXPECT_EQ(FormatSize(512, Dot), QStringLiteral("512 Byte"));
  EXPECT_EQ(FormatSize(1023, Dot), QStringLiteral("1023 Byte"));
  EXPECT_EQ(FormatSize(1024, Dot), QStringLiteral("1.00 K"));
  EXPECT_EQ(FormatSize(1536, Dot), QStringLiteral("1.50 K"));
  EXPECT_EQ(FormatSize(1048575, Dot), QStringLiteral("1024.00 K"));
  EXPECT_EQ(FormatSize(1048576, Dot), QStringLiteral("1.00 M"));
  EXPECT_EQ(FormatSize(1073741823, Dot), QStringLiteral("1024.00 M"));
  EXPECT_EQ(FormatSize(1073741824 - 1 + 1, Dot), QString());
  EXPECT_EQ(FormatSize(2147483647, Dot), QString());
  EXPECT_EQ(FormatSize(1536, QStringLiteral(",")), QStringLiteral("1,50 K"));
  EXPECT_EQ(FormatSize(1023, QStringLiteral(",")), QStringLiteral("1023 Byte"));
  EXPECT_EQ(FormatSize(1536), FormatSize(1536, QLocale::system().decimalPoint()));
}

TEST(WindowHelpers, WorkPercentRoundsHalvesToEven)
{
  EXPECT_EQ(WorkPercent(5, 1000), 0);
  EXPECT_EQ(WorkPercent(15, 1000), 2);
  EXPECT_EQ(WorkPercent(25, 1000), 2);
  EXPECT_EQ(WorkPercent(994, 1000), 99);
  EXPECT_EQ(WorkPercent(995, 1000), 100);
  EXPECT_EQ(WorkPercent(5000, 1000), 100); // more than announced
  EXPECT_EQ(WorkPercent(5, 0), 0);
}

TEST_F(WindowTest, RowsFollowTheTaskEvents)
{
  MakeRows({"http://h/a.swf", "http://h/b.swf", "http://h/c.swf"});
  ASSERT_EQ(Form->Rows().RowCount(), 3);
  EXPECT_EQ(Cell(2, 0), QStringLiteral("3"));
  EXPECT_EQ(Cell(2, 1), QStringLiteral("http://h/c.swf"));
  EXPECT_EQ(Cell(0, 2), QString());
  EXPECT_EQ(Form->Rows().ImageIndex(0), tsQueued);

  // A redirect body first, then the real one: two work-begin sequences.
  TSWFTask& A = Task(0);
  Send(WM_DOWNLOAD_WORKBEGIN, 300, A);
  Send(WM_DOWNLOAD_WORK, 150, A);
  EXPECT_EQ(Cell(0, 2), QStringLiteral("300 Byte"));
  EXPECT_EQ(Cell(0, 3), QStringLiteral("50%"));
  EXPECT_EQ(Form->Rows().ImageIndex(0), tsDownloading);
  Send(WM_DOWNLOAD_WORK, 300, A);
  EXPECT_EQ(Cell(0, 3), QStringLiteral("100%"));
  Send(WM_DOWNLOAD_WORKBEGIN, 2048, A);
  EXPECT_EQ(Cell(0, 2), QString("2") + QLocale::system().decimalPoint() + "00 K");
  const std::uint64_t Before = Form->Rows().FillCount();
  Send(WM_DOWNLOAD_WORK, 4, A); // 0.2%: rounds to 0, differs from 100
  EXPECT_EQ(Cell(0, 3), QString());
  Send(WM_DOWNLOAD_WORK, 8, A); // still 0: no refresh
  Send(WM_DOWNLOAD_WORK, 1024, A);
  EXPECT_EQ(Cell(0, 3), QStringLiteral("50%"));
  EXPECT_EQ(Form->Rows().FillCount() - Before, 2u);
  // A count past 2 GiB (far more than announced) is not cut to 32 bits.
  Send(WM_DOWNLOAD_WORK, (std::int64_t{1} << 31) + 5, A);
  EXPECT_EQ(Cell(0, 3), QStringLiteral("100%"));

  // Unknown length: no size, no status until done.
  TSWFTask& B = Task(1);
  Send(WM_DOWNLOAD_WORKBEGIN, 0, B);
  Send(WM_DOWNLOAD_WORK, 5000, B);
  EXPECT_EQ(Cell(1, 2), QString());
  EXPECT_EQ(Cell(1, 3), QString());
  EXPECT_EQ(Form->Rows().ImageIndex(1), tsDownloading);

  // An error after progress keeps the percentage while the file is there,
  // and shows none when the file is gone.
  TSWFTask& C = Task(2);
  C.FileName = Files.WriteFile("c.swf", "partial");
  Send(WM_DOWNLOAD_WORKBEGIN, 1000, C);
  Send(WM_DOWNLOAD_WORK, 400, C);
  Form->Post({WM_DOWNLOAD_ERROR, 0, C.Id, "Socket Error # 10054"});
  QCoreApplication::processEvents();
  EXPECT_EQ(Form->Rows().ImageIndex(2), tsFailed);
  EXPECT_EQ(Cell(2, 3), QStringLiteral("40%"));
  std::filesystem::remove(C.FileName);
  Form->Post({WM_DOWNLOAD_ERROR, 0, C.Id, "again"});
  QCoreApplication::processEvents();
  EXPECT_EQ(Cell(2, 3), QString());
  // The last task's end shows "Start download" again.
  EXPECT_FALSE(Form->btnDownload->isHidden());
}

TEST_F(WindowTest, EventsOfFreedTasksAreDroppedAndPostingOrderIsKept)
{
  MakeRows({"http://h/old.swf"});
  const std::uint64_t OldId = Task(0).Id;
  MakeRows({"http://h/new.swf"});
  Form->Post({WM_DOWNLOAD_WORKBEGIN, 100, OldId, {}});
  Form->Post({WM_DOWNLOAD_DONE, 0, OldId, {}});
  QCoreApplication::processEvents();
  EXPECT_EQ(Task(0).State, tsQueued);
  EXPECT_EQ(Form->Rows().ImageIndex(0), tsQueued);
  EXPECT_EQ(Cell(0, 3), QString());

  // Posted from another thread, in order: the last word is the done event.
  const std::uint64_t Id = Task(0).Id;
  std::thread Worker([this, Id] {
    Form->Post({WM_DOWNLOAD_WORKBEGIN, 1000, Id, {}});
    for (int I = 1; I <= 1000; I += 7)
      Form->Post({WM_DOWNLOAD_WORK, I, Id, {}});
    Form->Post({WM_DOWNLOAD_DONE, 0, Id, {}});
  });
  Worker.join();
  ASSERT_TRUE(WaitUntil([this] { return Task(0).State == tsDone; }));
  QCoreApplication::processEvents();
  EXPECT_EQ(Cell(0, 3), QStringLiteral("100%"));
  EXPECT_EQ(Form->Rows().ImageIndex(0), tsDone);
}

TEST_F(WindowTest, StopKeepsTheDownloadingLookAndEnterDoesNothingWhileDownloading)
{
  MakeRows({"http://h/a.swf", "http://h/b.swf"});
  Form->btnDownload->hide();
  Form->btnStop->show();
  Send(WM_DOWNLOAD_WORKBEGIN, 1000, Task(0));
  Send(WM_DOWNLOAD_WORK, 330, Task(0));
  const std::uint64_t Id = Task(0).Id;
  // Enter in the address box while "Start download" is hidden: no scan.
  Form->edtURL->setText(QStringLiteral("http://h/other.swf"));
  PressKey(*Form->edtURL, Qt::Key_Return);
  ASSERT_TRUE(WaitUntil([this] { return !Form->Scanning(); }));
  EXPECT_EQ(Task(0).Id, Id);
  EXPECT_EQ(Form->Rows().RowCount(), 2);

  Form->btnStop->Click();
  EXPECT_TRUE(Form->Downloader().Stopped());
  EXPECT_TRUE(Form->btnStop->isHidden());
  EXPECT_FALSE(Form->btnDownload->isHidden());
  EXPECT_EQ(Form->Rows().ImageIndex(0), tsDownloading);
  EXPECT_EQ(Cell(0, 3), QStringLiteral("33%"));
  // A late error of the stopped task: the next one is not started.
  Form->Post({WM_DOWNLOAD_ERROR, 0, Id, "late"});
  QCoreApplication::processEvents();
  EXPECT_EQ(Task(1).State, tsQueued);
  EXPECT_TRUE(Task(1).FileName.empty());

  // Closing while downloading acts as "Stop".
  Form->btnDownload->hide();
  Form->btnStop->show();
  Form->show();
  Form->close();
  EXPECT_TRUE(Form->btnStop->isHidden());
  EXPECT_FALSE(Form->btnDownload->isHidden());
}

TEST_F(WindowTest, EnterStartsADirectMovieAddressWithoutFetchingAPage)
{
  Form->edtPath->setText(QString::fromStdString(Files.Folder()));
  Form->edtURL->setText(QStringLiteral("127.0.0.1:1/clip.SWF?x=1"));
  PressKey(*Form->edtURL, Qt::Key_Return);
  ASSERT_TRUE(WaitUntil([this] { return !Form->Scanning(); }));
  ASSERT_EQ(Form->Rows().RowCount(), 1);
  EXPECT_EQ(Cell(0, 1), QStringLiteral("http://127.0.0.1:1/clip.SWF?x=1"));
  EXPECT_EQ(App->GetOutputPath(), Files.Folder());
  EXPECT_TRUE(Form->btnDownload->isHidden());
  EXPECT_TRUE(Form->ListView1->selectionModel()->isRowSelected(0, QModelIndex()));
  // Nothing listens on port 1: the task fails and the window is idle again.
  ASSERT_TRUE(WaitUntil([this] { return !Form->btnDownload->isHidden(); }));
  EXPECT_EQ(Form->Rows().ImageIndex(0), tsFailed);
  EXPECT_EQ(Cell(0, 3), QString());
}

TEST_F(WindowTest, AddressFromTheCommandLineWaitsForStartDownload)
{
  testing::ScriptedServer Server([](testing::ScriptedConnection& C) {
    if (!C.ReadRequest().empty())
      C.Send("HTTP/1.1 200 OK\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
  });
  Form->show();
  Form->edtPath->setText(QString::fromStdString(Files.Folder()));
  Form->SetStartAddress(Server.Url("/games/index.html"));
  QCoreApplication::processEvents();
  EXPECT_EQ(Form->edtURL->text(), QString::fromStdString(Server.Url("/games/index.html")));
  EXPECT_TRUE(Form->edtURL->hasFocus());
  EXPECT_EQ(Form->Rows().RowCount(), 0);
  EXPECT_EQ(Server.ConnectionCount(), 0);
  // The user's press is what fetches the page.
  PressKey(*Form->edtURL, Qt::Key_Return);
  ASSERT_TRUE(WaitUntil([this] { return !Form->Scanning(); }));
  ASSERT_TRUE(WaitUntil([&Server] { return Server.Requests().size() == 1; }));
  EXPECT_NE(Server.Requests()[0].find("GET /games/index.html "), std::string::npos);
}

TEST_F(WindowTest, PreviewFitsTheMovieIntoThePanel)
{
  struct Case {
    int W, H;
    QRect Expected;
  };
  for (const Case& C : {Case{550, 400, {8, 1, 241, 175}}, Case{200, 100, {28, 38, 200, 100}},
                        Case{1000, 100, {1, 75, 255, 26}}, Case{255, 175, {1, 1, 255, 175}}}) {
    const std::string Path = Files.WriteFile("m.swf", Movie(C.W, C.H, 12));
    Form->PreviewFile(Path);
    ASSERT_NE(Form->Flash(), nullptr);
    EXPECT_EQ(Form->Flash()->geometry(), C.Expected) << C.W << "x" << C.H;
    EXPECT_EQ(Form->Flash()->parentWidget(), Form->pnlPreview);
    EXPECT_EQ(Form->Flash()->Movie().toStdString(), Path);
  }
  EXPECT_NE(Form->Flash()->LoadedMovie(), nullptr) << "the movie itself is loaded, not just its header";
  EXPECT_EQ(Form->TrackBar->maximum(), 12);
  EXPECT_TRUE(Form->TrackBar->isEnabled());
  EXPECT_TRUE(Form->Timer1->isActive());

  // Seeking: the press starts it, moves seek, the release plays. (This
  // movie's frames are empty: the player moves on while the bar holds.)
  int Seeks = 0;
  QObject::connect(Form->Flash(), &TShockwaveFlash::FrameChanged, [&Seeks] { ++Seeks; });
  Form->TrackBarMouseDown(Qt::LeftButton);
  Form->TrackBar->setValue(5);
  EXPECT_EQ(Seeks, 1);
  EXPECT_FALSE(Form->Flash()->Playing());
  Form->Timer1Timer();
  EXPECT_EQ(Form->TrackBar->value(), 5); // held: the thumb stays
  Form->TrackBarMouseUp(Qt::LeftButton);
  EXPECT_TRUE(Form->Flash()->Playing());
  Form->TrackBar->setValue(0);
  Form->Timer1Timer();
  EXPECT_EQ(Form->TrackBar->value(), Form->Flash()->CurrentFrame());
  EXPECT_EQ(Seeks, 1); // the changes after the release did not seek

  Form->StopPreview();
  EXPECT_EQ(Form->Flash(), nullptr);
  EXPECT_FALSE(Form->TrackBar->isEnabled());
  EXPECT_FALSE(Form->Timer1->isActive());
  EXPECT_EQ(Form->TrackBar->maximum(), 12);
  Form->StopPreview(); // harmless without a preview
}

TEST_F(WindowTest, FileThatIsNotAMovieNeitherRaisesNorStopsTheChain)
{
  MakeRows({"http://127.0.0.1:1/a.swf", "http://127.0.0.1:1/b.swf"});
  Form->ListView1->selectionModel()->setCurrentIndex(
      Form->Rows().index(0, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  Form->Downloader().SetOutputFolder(Files.Folder());
  Task(0).FileName = Files.WriteFile("a.swf", "");
  Form->btnDownload->hide();
  Form->btnStop->show();
  Send(WM_DOWNLOAD_DONE, 0, Task(0));
  ASSERT_NE(Form->Flash(), nullptr);
  EXPECT_EQ(Form->Flash()->Text(), QStringLiteral("not a movie: empty file"));
  EXPECT_FALSE(Form->TrackBar->isEnabled());
  // The chain went on: the second task was started and fails (nothing
  // listens on port 1).
  EXPECT_FALSE(Task(1).FileName.empty());
  ASSERT_TRUE(WaitUntil([this] { return Task(1).State == tsFailed; }));
  EXPECT_FALSE(Form->btnDownload->isHidden());

  // Neither do other files that are no movie; each says why.
  const std::pair<std::string, const char*> Others[] = {
      {std::string("CWS\x0A\x20\x00\x00\x00garbage!", 16), "damaged compressed movie"},
      {"<html></html>", "not a Flash file"},
      {std::string("FWS\x0A\x20\x00\x00\x00\x78\x00", 10), "movie cut short"},
  };
  for (const auto& [Content, Why] : Others) {
    Form->PreviewFile(Files.WriteFile("other.swf", Content));
    EXPECT_EQ(Form->Flash()->Text().toStdString(), std::string("not a movie: ") + Why);
    EXPECT_FALSE(Form->TrackBar->isEnabled()) << Why;
  }
}

// The bar runs over the frames the movie really holds, and an LZMA movie,
// which the header reader leaves alone, takes its stage from the movie.
TEST_F(WindowTest, TrackBarSpansTheFramesReadAndLzmaMoviesPlay)
{
  using namespace swf::test;
  TBytes TwentySeven;
  for (int I = 0; I < 27; ++I)
    TwentySeven = Join({TwentySeven, ShowFrame()});
  const struct {
    const char* Name;
    TBytes File;
    int Frames;
  } Cases[] = {
      {"lzma", MovieFile(Join({ShowFrame(), ShowFrame(), ShowFrame(), End()}), 'Z', 3, 200, 100), 3},
      {"cut short", MovieFile(Join({TwentySeven, {0x3F, 0x03, 0x00, 0x00, 0x00, 0x01}}), 'F', 72, 200, 100),
       27},
      {"past its count", MovieFile(Join({ShowFrame(), ShowFrame(), ShowFrame(), End()}), 'F', 2, 200, 100),
       2},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Name);
    ASSERT_FALSE(C.File.empty());
    Form->PreviewFile(Files.WriteFile("m.swf", testing::AsText(C.File)));
    EXPECT_TRUE(Form->Flash()->Text().isEmpty()) << Form->Flash()->Text().toStdString();
    EXPECT_EQ(Form->Flash()->geometry(), QRect(28, 38, 200, 100));
    EXPECT_TRUE(Form->TrackBar->isEnabled());
    EXPECT_EQ(Form->TrackBar->maximum(), C.Frames);
  }
}

// Mouse events as the platform delivers them: a greyed-out bar starts no
// seeking, and a release always ends it.
TEST_F(WindowTest, GreyedOutTrackBarTakesNoPressAndAReleaseEndsSeeking)
{
  TErrorBoxCapture Box;
  Form->show();
  const QPoint Middle = Form->TrackBar->rect().center();
  const std::string Page = Files.WriteFile("page.swf", "<html></html>");
  Form->PreviewFile(Page);
  ASSERT_FALSE(Form->TrackBar->isEnabled());
  QTest::mousePress(Form->TrackBar, Qt::LeftButton, Qt::NoModifier, Middle);
  EXPECT_FALSE(Form->Seeking());
  QTest::mouseRelease(Form->TrackBar, Qt::LeftButton, Qt::NoModifier, Middle);

  Form->PreviewFile(Files.WriteFile("m.swf", Movie(200, 100, 12)));
  ASSERT_TRUE(Form->TrackBar->isEnabled());
  QTest::mousePress(Form->TrackBar, Qt::LeftButton, Qt::NoModifier, Middle);
  EXPECT_TRUE(Form->Seeking());
  QTest::mouseRelease(Form->TrackBar, Qt::LeftButton, Qt::NoModifier, Middle);
  EXPECT_FALSE(Form->Seeking());
  EXPECT_TRUE(Form->Flash()->Playing());

  // Held while the bar greys out under it (the next movie is no movie).
  QTest::mousePress(Form->TrackBar, Qt::LeftButton, Qt::NoModifier, Middle);
  Form->PreviewFile(Page);
  QTest::mouseRelease(Form->TrackBar, Qt::LeftButton, Qt::NoModifier, Middle);
  EXPECT_FALSE(Form->Seeking());
  QCoreApplication::processEvents();
  EXPECT_EQ(Box.Count, 0) << Box.Text.toStdString();
}

TEST_F(WindowTest, RowNumbersUpTo99999AreReadableBesideTheStateIcon)
{
  MakeRows({"http://h/a.swf"});
  QTableView& View = *Form->ListView1;
  QStyleOptionViewItem Number;
  Number.initFrom(&View);
  Number.features = QStyleOptionViewItem::HasDisplay | QStyleOptionViewItem::HasDecoration;
  Number.decorationSize = View.iconSize();
  Number.icon = Form->ImageList1[0];
  Number.text = QStringLiteral("99999");
  Number.rect = View.visualRect(Form->Rows().index(0, 0));
  const QRect Text = View.style()->subElementRect(QStyle::SE_ItemViewItemText, &Number, &View);
  const int Margin = View.style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, &View) + 1;
  EXPECT_GE(Text.width() - 2 * Margin, Number.fontMetrics.horizontalAdvance(Number.text));
  EXPECT_LE(View.horizontalHeader()->length(), View.viewport()->width()) << "the columns still fit the list";
}

TEST_F(WindowTest, SelectingAFinishedRowPreviewsItAndAQueuedRowStopsThePreview)
{
  MakeRows({"http://h/a.swf", "http://h/b.swf"});
  Task(0).FileName = Files.WriteFile("a.swf", Movie(550, 400, 7));
  Task(0).State = tsDone;
  auto Select = [this](int Row) {
    Form->ListView1->selectionModel()->setCurrentIndex(
        Form->Rows().index(Row, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  };
  Select(0);
  ASSERT_NE(Form->Flash(), nullptr);
  EXPECT_EQ(Form->TrackBar->maximum(), 7);
  const TkvuFlash* First = Form->Flash();
  Select(0); // already focused and selected: nothing happens
  EXPECT_EQ(Form->Flash(), First);
  Select(1);
  EXPECT_EQ(Form->Flash(), nullptr);
  Select(0);
  EXPECT_NE(Form->Flash(), nullptr);
  // A finished row whose file is gone stops the preview.
  std::filesystem::remove(Task(0).FileName);
  Select(1);
  Select(0);
  EXPECT_EQ(Form->Flash(), nullptr);
}

// The pane playing real movies (the shared reference movies).
class PaneTest : public WindowTest {
protected:
  void SetUp() override
  {
    WindowTest::SetUp();
    Form->show();
  }
  void Select(int Row)
  {
    Form->ListView1->selectionModel()->setCurrentIndex(
        Form->Rows().index(Row, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  }
  // A copy of a movie in the test's own folder, so no test points a task at
  // the shared file.
  std::string Copy(const std::string& Path, const std::string& Name)
  {
    return Files.WriteFile(Name, testing::ReadFileBytes(Path));
  }
};

TEST_F(PaneTest, DraggingTheTrackBarSeeksEveryMoveAndTheReleasePlays)
{
  QUENLOFT_REQUIRE_MOVIE(Path, "from_shumway__invalidClipDepth"); // 256 frames
  Form->PreviewFile(Path);
  TkvuFlash& Flash = *Form->Flash();
  EXPECT_EQ(Form->TrackBar->maximum(), 256);
  ASSERT_TRUE(WaitUntil([&Flash] { return Flash.CurrentFrame() >= 2; }));
  Form->Timer1Timer();
  EXPECT_EQ(Form->TrackBar->value(), Flash.CurrentFrame()) << "the thumb follows the movie";

  std::vector<int> Shown;
  QObject::connect(&Flash, &TShockwaveFlash::FrameChanged, [&Shown](int Frame) { Shown.push_back(Frame); });
  Form->TrackBarMouseDown(Qt::RightButton);
  Form->TrackBar->setValue(40);
  EXPECT_FALSE(Form->Seeking());
  EXPECT_TRUE(Flash.Playing()) << "a right press does not seek (a seek holds the movie)";

  Shown.clear();
  Form->TrackBarMouseDown(Qt::LeftButton);
  for (int Value : {10, 20, 30, 256})
    Form->TrackBar->setValue(Value);
  const int End = std::min(256, Flash.TotalFrames() - 1); // frame 256, or the last one
  EXPECT_EQ(Shown, (std::vector<int>{10, 20, 30, End})) << "the right end asks for frame 256";
  EXPECT_FALSE(Flash.Playing());
  Form->Timer1Timer();
  EXPECT_EQ(Form->TrackBar->value(), 256) << "ticks leave the thumb where the user holds it";
  Form->TrackBarMouseUp(Qt::LeftButton);
  EXPECT_FALSE(Form->Seeking());
  EXPECT_TRUE(Flash.Playing());
  ASSERT_TRUE(WaitUntil([&Flash, End] { return Flash.CurrentFrame() < End; })) << "played on and looped";
  Form->Timer1Timer();
  EXPECT_EQ(Form->TrackBar->value(), Flash.CurrentFrame());
}

TEST_F(PaneTest, ReselectingAFinishedRowRestartsItsMovieInANewPlayerThatRightClicksNeverReach)
{
  QUENLOFT_REQUIRE_MOVIE(Path, "from_shumway__invalidClipDepth");
  MakeRows({"http://h/a.swf", "http://h/b.swf"});
  Task(0).FileName = Copy(Path, "a.swf");
  Task(0).State = tsDone;
  Select(0);
  QPointer<TkvuFlash> First = Form->Flash();
  ASSERT_FALSE(First.isNull());
  ASSERT_TRUE(WaitUntil([&First] { return First->CurrentFrame() >= 3; }));
  Select(1);
  EXPECT_TRUE(First.isNull()) << "the queued row ended the preview and freed the player";
  Select(0);
  ASSERT_NE(Form->Flash(), nullptr);
  EXPECT_EQ(Form->Flash()->CurrentFrame(), 0) << "from the first frame";
  EXPECT_TRUE(Form->Flash()->Playing());

  std::vector<std::uint32_t> Reached;
  QObject::connect(Form->Flash(), &TShockwaveFlash::MovieMouse,
                   [&Reached](std::uint32_t Message, QPoint) { Reached.push_back(Message); });
  testing::Press(*Form->Flash(), {10, 10}, Qt::RightButton);
  testing::Release(*Form->Flash(), {10, 10}, Qt::RightButton);
  EXPECT_TRUE(Reached.empty());
  EXPECT_TRUE(Form->Flash()->findChildren<QMenu*>().empty()) << "the player's own menu never opened";
}

// Counts the channel values of two pictures that differ by more than
// Tolerance.
int Outliers(const QImage& A, const QImage& B, int Tolerance)
{
  const QImage X = A.convertToFormat(QImage::Format_ARGB32);
  const QImage Y = B.convertToFormat(QImage::Format_ARGB32);
  if (X.size() != Y.size())
    return -1;
  int Count = 0;
  for (int Row = 0; Row < X.height(); ++Row)
    for (int Col = 0; Col < X.width(); ++Col) {
      const QRgb P = X.pixel(Col, Row);
      const QRgb Q = Y.pixel(Col, Row);
      for (int Shift : {0, 8, 16, 24})
        Count += std::abs(static_cast<int>((P >> Shift) & 0xFF) - static_cast<int>((Q >> Shift) & 0xFF)) >
                 Tolerance;
    }
  return Count;
}

TEST_F(PaneTest, SeekedFrameShowsWhatTheRendererDrawsAtTheFittedSize)
{
  QUENLOFT_REQUIRE_MOVIE(Path, "from_shumway__acid__acid-blend"); // 550 x 400, 60 frames, blend modes
  Form->PreviewFile(Path);
  Form->TrackBarMouseDown(Qt::LeftButton);
  Form->TrackBar->setValue(30);
  TkvuFlash& Flash = *Form->Flash();
  ASSERT_EQ(Flash.geometry(), QRect(8, 1, 241, 175));
  const QImage Shown = Flash.grab().toImage();

  const std::shared_ptr<const swf::Movie> Movie = swf::ReadMovieFile(Path);
  swf::Timeline Line(Movie);
  Line.GotoFrame(30);
  const QImage Expected =
      swf::render::Renderer(Movie).RenderFrame(Line.List(), QSize(241, 175), swf::render::Quality::High);
  EXPECT_EQ(Outliers(Shown, Expected, 2), 0);
  Line.GotoFrame(0);
  const QImage First =
      swf::render::Renderer(Movie).RenderFrame(Line.List(), QSize(241, 175), swf::render::Quality::High);
  EXPECT_GT(Outliers(Shown, First, 2), 0) << "frame 30 differs from frame 0, or this test proves nothing";
}

TEST_F(PaneTest, MovieBrokenAfterItsHeaderShowsItsStageAndBackgroundWithoutAnError)
{
  TErrorBoxCapture Box;
  // A background colour, one frame, then a tag that claims 16 MB.
  using namespace swf::test;
  const TBytes Broken = MovieFile(
      Join({Tag(9, {0x20, 0x80, 0x40}), ShowFrame(), {0x3F, 0x03, 0x00, 0x00, 0x00, 0x01}}), 'F', 3, 80, 60);
  Form->PreviewFile(Files.WriteFile("broken.swf", testing::AsText(Broken)));
  ASSERT_NE(Form->Flash(), nullptr);
  ASSERT_NE(Form->Flash()->LoadedMovie(), nullptr);
  EXPECT_FALSE(Form->Flash()->LoadedMovie()->ReadError.empty());
  EXPECT_TRUE(Form->Flash()->Text().isEmpty());
  EXPECT_TRUE(Form->Timer1->isActive());
  const QImage Shown = Form->Flash()->grab().toImage();
  EXPECT_EQ(Shown.size(), QSize(80, 60));
  for (QPoint At : {QPoint(0, 0), QPoint(79, 59), QPoint(40, 30)})
    EXPECT_EQ(Shown.pixelColor(At), QColor(0x20, 0x80, 0x40)) << At.x() << "," << At.y();
  QCoreApplication::processEvents();
  EXPECT_EQ(Box.Count, 0);
}

TEST_F(PaneTest, NotesQuietlyOnlyScriptThatIsNotRun)
{
  // trace("hi") is ActionScript 1, which plays; a DoABC block is
  // ActionScript 3, which does not: only that movie carries the note.
  using namespace swf::test;
  const TBytes Trace{0x96, 0x04, 0x00, 0x00, 'h', 'i', 0x00, 0x26};
  const struct {
    const char* Name;
    TBytes Script;
    bool Noted;
  } Rows[] = {
      {"as1.swf", DoAction(Trace), false},
      {"as3.swf", Tag(82, TBytes(8, 0)), true},
  };
  for (const auto& R : Rows) {
    const TBytes Movie =
        MovieFile(Join({Tag(9, {0xFF, 0xFF, 0xFF}), R.Script, ShowFrame(), End()}), 'F', 1, 200, 100);
    Form->PreviewFile(Files.WriteFile(R.Name, testing::AsText(Movie)));
    ASSERT_NE(Form->Flash()->LoadedMovie(), nullptr) << R.Name;
    EXPECT_TRUE(Form->Flash()->LoadedMovie()->Scripted) << R.Name;
    const QImage Shown = Form->Flash()->grab().toImage();
    EXPECT_EQ(Shown.pixelColor(5, 5), QColor(Qt::white)) << R.Name;
    int Marked = 0;
    for (int Y = Shown.height() - 14; Y < Shown.height(); ++Y)
      for (int X = Shown.width() - 70; X < Shown.width(); ++X)
        Marked += Shown.pixelColor(X, Y) != QColor(Qt::white);
    EXPECT_EQ(Marked > 100, R.Noted) << R.Name << ": the note sits in the bottom right corner";
  }
}

TEST_F(WindowTest, LinksMenuAndFolderPicker)
{
  Form->move(0, 0); // so that the menu needs no shifting to fit the screen
  Form->show();
  // With no movie selected, the converter entries ask for a movie file;
  // only the home page link opens an address.
  int Asked = 0;
  Form->ChooseMovieFile = [&Asked] {
    ++Asked;
    return std::string();
  };
  testing::Press(*Form->lblVideo, {3, 3});
  testing::Release(*Form->lblVideo, {3, 3});
  Form->lblCopyRight->OnClick();
  Form->pmiGIF->trigger();
  EXPECT_EQ(Asked, 2);
  ASSERT_EQ(Opened.size(), 1u);
  EXPECT_EQ(Opened[0], kHomePage);
  EXPECT_TRUE(Opened[0].starts_with(QUENLOFT_HOMEPAGE)) << Opened[0];

  Form->btnConvert->Click();
  EXPECT_TRUE(Form->pmConvert->isVisible());
  EXPECT_EQ(Form->pmConvert->pos(), Form->btnConvert->mapToGlobal(QPoint(0, 23)));
  Form->pmConvert->hide();

  std::string AskedTitle;
  std::string AskedInitial;
  Form->BrowseForFolder = [&](const std::string& Title, const std::string& Initial) {
    AskedTitle = Title;
    AskedInitial = Initial;
    return Files.Folder();
  };
  Form->edtPath->setText(QStringLiteral("/somewhere/"));
  Form->edtPathButton->trigger();
  EXPECT_EQ(AskedTitle, "Select output path");
  EXPECT_EQ(AskedInitial, "/somewhere/");
  EXPECT_EQ(Form->edtPath->text().toStdString(), Files.Folder());
  EXPECT_EQ(App->GetOutputPath(), Files.Folder()); // saved at once
  Form->BrowseForFolder = [](const std::string&, const std::string&) { return std::string(); };
  Form->edtPathButton->trigger();
  EXPECT_EQ(Form->edtPath->text().toStdString(), Files.Folder()); // cancelled: unchanged

  // The remembered folder replaces the default in a new window.
  TVellicorForm Second;
  EXPECT_EQ(Second.edtPath->text().toStdString(), Files.Folder());
}

TEST_F(WindowTest, PlayerSwallowsRightClicksAndHandlesLockedLeftClicks)
{
  QWidget Panel;
  auto* Flash = new TkvuFlash(&Panel);
  Flash->resize(50, 50);
  // Counts the presses that get past the filter to the movie.
  struct {
    int Presses = 0;
  } Movie;
  QObject::connect(Flash, &TShockwaveFlash::MovieMouse, [&Movie](std::uint32_t Message, QPoint) {
    Movie.Presses += (Message == WM_LBUTTONDOWN || Message == WM_RBUTTONDOWN) ? 1 : 0;
  });
  int Clicks = 0;
  Flash->OnClick = [&Clicks] { ++Clicks; };
  testing::Press(*Flash, {5, 5}, Qt::RightButton);
  EXPECT_TRUE(Flash->Pressed());
  testing::Release(*Flash, {5, 5}, Qt::RightButton);
  EXPECT_TRUE(Flash->Pressed()) << "no popup menu consumed the press";
  EXPECT_EQ(Movie.Presses, 0);
  // Left clicks go to the movie unless locked.
  testing::Press(*Flash, {5, 5});
  EXPECT_EQ(Movie.Presses, 1);
  testing::Release(*Flash, {5, 5});
  EXPECT_FALSE(Flash->Pressed());
  EXPECT_EQ(Clicks, 0);
  Flash->LockMouseClick = true;
  testing::Press(*Flash, {5, 5});
  testing::Release(*Flash, {5, 5});
  EXPECT_EQ(Movie.Presses, 1);
  EXPECT_EQ(Clicks, 1);
  testing::Press(*Flash, {5, 5});
  testing::Release(*Flash, {60, 5}); // released outside: no click
  EXPECT_EQ(Clicks, 1);
  EXPECT_THROW(Flash->CurrentFrame(), EFlashError) << "no movie was loaded";
}

TEST_F(WindowTest, ParseProgressLabelShowsThePercentage)
{
  Form->ShowParseProgress(42);
  EXPECT_EQ(Form->lblParse->text(), QStringLiteral("Loading..42%"));
  EXPECT_FALSE(Form->lblParse->isHidden());
  EXPECT_NEAR(Form->lblParse->geometry().center().x(), QRect(212, 216, 41, 17).center().x(), 1);
  EXPECT_GE(Form->lblParse->width(), 41);
}

TEST_F(WindowTest, EscapedExceptionShowsTheErrorBoxTitledQuenloft)
{
  TErrorBoxCapture Box;
  QTimer Timer;
  QObject::connect(&Timer, &QTimer::timeout, [] { throw Exception("Boom in a handler"); });
  Timer.setSingleShot(true);
  Timer.start(0);
  ASSERT_TRUE(WaitUntil([&] { return !Box.Text.isEmpty(); }));
  EXPECT_EQ(Box.Title, QStringLiteral("Quenloft"));
  EXPECT_EQ(Box.Text, QStringLiteral("Boom in a handler"));
}

TEST_F(WindowTest, RaisingHandlersShowTheErrorWithoutUnwindingThroughQt)
{
  TErrorBoxCapture Box;
  // A menu item and a link label call the window straight from Qt's code
  // (QAction::trigger, a mouse release): the error stops at the handler.
  Form->ChooseMovieFile = []() -> std::string { throw Exception("No browser"); };
  EXPECT_NO_THROW(Form->pmiGIF->trigger());
  EXPECT_EQ(Box.Count, 1);
  EXPECT_EQ(Box.Title, QStringLiteral("Quenloft"));
  EXPECT_EQ(Box.Text, QStringLiteral("No browser"));
  Form->OpenAddress = [](const std::string&) -> bool { throw Exception("No browser"); };
  EXPECT_NO_THROW(Form->lblCopyRight->OnClick());
  EXPECT_EQ(Box.Count, 2);
  Form->BrowseForFolder = [](const std::string&, const std::string&) -> std::string {
    throw Exception("No dialog");
  };
  const QString Before = Form->edtPath->text();
  EXPECT_NO_THROW(Form->edtPathButton->trigger());
  EXPECT_EQ(Box.Text, QStringLiteral("No dialog"));
  EXPECT_EQ(Form->edtPath->text(), Before);

  // A task event whose handling raises: shown once; later events are still
  // handled.
  MakeRows({"http://h/a.swf"});
  Form->OnChainIdle = [] { throw Exception("Idle failed"); };
  Form->btnDownload->hide();
  Form->btnStop->show();
  Send(WM_DOWNLOAD_DONE, 0, Task(0));
  EXPECT_EQ(Box.Count, 4);
  EXPECT_EQ(Box.Text, QStringLiteral("Idle failed"));
  EXPECT_FALSE(Form->btnDownload->isHidden()) << "the chain's end was shown before the error";
  Form->OnChainIdle = nullptr;
  Send(WM_DOWNLOAD_WORKBEGIN, 10, Task(0));
  EXPECT_EQ(Cell(0, 2), QStringLiteral("10 Byte"));
}

TEST_F(WindowTest, WholeRunAgainstNginxThroughTheWindow)
{
  QUENLOFT_REQUIRE_NGINX();
  TempDir Site;
  std::map<std::string, std::string> Movies{{"one.swf", Movie(550, 400, 12, 3000)},
                                            {"two.swf", Movie(320, 240, 5, 300000)},
                                            {"sub/three.swf", Movie(100, 100, 1)}};
  std::string Page = "<html><body>";
  for (const auto& [Name, Bytes] : Movies) {
    Site.WriteFile(Name, Bytes);
    Page += "<embed src=\"" + Name + "\">";
  }
  Page += "<a href=\"missing.swf\">gone</a></body></html>";
  Site.WriteFile("index.html", Page);
  std::filesystem::permissions(Site.Path(),
                               std::filesystem::perms::others_read | std::filesystem::perms::others_exec,
                               std::filesystem::perm_options::add);
  testing::NginxServer Server({Site.Path(), false, {}});

  Form->show();
  Form->edtPath->setText(QString::fromStdString(Files.Folder()));
  Form->edtURL->setText(QString::fromStdString(Server.Url("/index.html")));
  PressKey(*Form->edtURL, Qt::Key_Return);
  ASSERT_TRUE(WaitUntil([this] { return !Form->Scanning(); }));
  ASSERT_EQ(Form->Rows().RowCount(), 4);
  EXPECT_TRUE(Form->lblParse->isHidden());
  ASSERT_TRUE(WaitUntil([this] { return !Form->btnDownload->isHidden(); }, 30000));
  for (int Row = 0; Row < 3; ++Row) {
    EXPECT_EQ(Form->Rows().ImageIndex(Row), tsDone) << Row;
    EXPECT_EQ(Cell(Row, 3), QStringLiteral("100%"));
  }
  EXPECT_EQ(Form->Rows().ImageIndex(3), tsFailed);
  // Rows in page order: one, sub/three, two, missing.
  EXPECT_EQ(Cell(2, 2), FormatSize(static_cast<std::int32_t>(Movies["two.swf"].size())));
  EXPECT_EQ(Cell(1, 2), QStringLiteral("%1 Byte").arg(Movies["sub/three.swf"].size()));
  for (const auto& [Name, Bytes] : Movies) {
    const std::string File = Files.Folder() + std::filesystem::path(Name).filename().string();
    EXPECT_EQ(testing::ReadFileBytes(File), Bytes) << Name;
  }
  // The first row had the focus when its movie finished: it is previewed.
  ASSERT_NE(Form->Flash(), nullptr);
  EXPECT_NE(Form->Flash()->LoadedMovie(), nullptr);
  EXPECT_EQ(Form->Flash()->Movie().toStdString(), Files.Folder() + "one.swf");
  // A second run adds numbered copies.
  PressKey(*Form->edtURL, Qt::Key_Return);
  ASSERT_TRUE(WaitUntil([this] { return !Form->Scanning(); }));
  ASSERT_TRUE(WaitUntil([this] { return !Form->btnDownload->isHidden(); }, 30000));
  EXPECT_EQ(testing::ReadFileBytes(Files.Folder() + "one(2).swf"), Movies["one.swf"]);
}

// The window system gets each window's title as it is: the taskbar reads
// "Quenloft" and the folder dialog "Select output path", because no display
// name is set that Qt would add to them (it follows the application's name
// only while none is set).
TEST_F(WindowTest, TheTaskbarReadsQuenloftAndTheCaptionCarriesTheVersion)
{
  EXPECT_EQ(Form->windowTitle(), QStringLiteral("Quenloft"));
  EXPECT_EQ(Form->lblCaption->text(),
            QStringLiteral("Quenloft ") + QString::fromStdString(GetFileVersionText("/proc/self/exe", true)));
  EXPECT_EQ(QCoreApplication::applicationName(), QStringLiteral("Quenloft"));
  QCoreApplication::setApplicationName(QStringLiteral("probe"));
  EXPECT_EQ(QGuiApplication::applicationDisplayName(), QStringLiteral("probe")) << "a display name is set";
  QCoreApplication::setApplicationName(QStringLiteral("Quenloft"));
}

TEST_F(WindowTest, AFailedRowSaysWhyInItsToolTip)
{
  MakeRows({"http://h/a.swf", "http://h/b.swf"});
  Form->Post({WM_DOWNLOAD_ERROR, 0, Task(1).Id, "Read timed out after 60 s"});
  QCoreApplication::processEvents();
  for (int Column = 0; Column < 4; ++Column)
    EXPECT_EQ(Form->Rows().data(Form->Rows().index(1, Column), Qt::ToolTipRole).toString(),
              QStringLiteral("Read timed out after 60 s"));
  EXPECT_FALSE(Form->Rows().data(Form->Rows().index(0, 1), Qt::ToolTipRole).isValid());
}

// A server that stalls during the scan or during a download: closing the
// window and starting a new scan both return at once, and the window keeps
// handling events while the page is fetched on the coordinator's worker.
TEST_F(WindowTest, CloseAndANewScanReturnAtOnceDuringAStall)
{
  const std::string Page = "<embed src=\"movie.swf\">";
  ScriptedServer Server([&](ScriptedConnection& C) {
    for (std::string R = C.ReadRequest(); !R.empty(); R = C.ReadRequest()) {
      if (R.rfind("GET /page ", 0) == 0) {
        C.Send("HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(Page.size()) + "\r\n\r\n" + Page);
        continue;
      }
      // The stalling page, or the movie: a head, a few bytes, silence.
      C.Send("HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\nFWS");
      C.WaitForPeerClose(std::chrono::seconds(60));
      return;
    }
  });
  auto Asked = [&Server](const std::string& Path) {
    for (const std::string& R : Server.Requests())
      if (R.rfind("GET " + Path + " ", 0) == 0)
        return true;
    return false;
  };
  struct TCase {
    const char* Name;
    bool DuringScan;
    bool Close; // else a new scan of a movie address
  };
  for (const TCase& Case :
       {TCase{"close during the scan", true, true}, TCase{"new scan during the scan", true, false},
        TCase{"close during a download", false, true}, TCase{"new scan during a download", false, false}}) {
    SCOPED_TRACE(Case.Name);
    auto Window = std::make_unique<TVellicorForm>();
    Window->edtPath->setText(QString::fromStdString(Files.Folder()));
    Window->edtURL->setText(QString::fromStdString(Server.Url(Case.DuringScan ? "/stalling" : "/page")));
    Window->show();
    QElapsedTimer Clock;
    Clock.start();
    qint64 ActedAt = -1;
    auto Act = [&] {
      ActedAt = Clock.elapsed();
      if (Case.Close) {
        Window->close();
      } else {
        Window->edtURL->setText(QStringLiteral("http://127.0.0.1:1/other.swf"));
        Window->btnDownloadClick();
      }
    };
    if (Case.DuringScan) {
      // The window's event loop runs this timer while the page is fetched.
      QTimer Poll;
      QObject::connect(&Poll, &QTimer::timeout, [&] {
        if (ActedAt < 0 && Window->Scanning() && Asked("/stalling"))
          Act();
      });
      Poll.start(5);
      Window->btnDownloadClick();
      ASSERT_TRUE(WaitUntil([&] { return ActedAt >= 0; }));
      // The scan is ended, its late events dropped: the window is idle or
      // shows the new scan's row.
      ASSERT_TRUE(WaitUntil([&] { return !Window->Scanning(); }));
    } else {
      Window->btnDownloadClick();
      ASSERT_TRUE(WaitUntil([&] { return !Window->Scanning(); }));
      ASSERT_EQ(Window->Rows().RowCount(), 1);
      ASSERT_TRUE(WaitUntil([&] { return Asked("/movie.swf"); }));
      Act();
    }
    const qint64 Took = Clock.elapsed() - ActedAt;
    EXPECT_LT(Took, 1000) << "ms until the stalled transfer let go";
    if (Case.Close) {
      EXPECT_FALSE(Window->isVisible());
      EXPECT_TRUE(Window->btnStop->isHidden());
    } else {
      ASSERT_TRUE(WaitUntil([&] { return Window->Rows().RowCount() == 1; }));
      EXPECT_EQ(Window->Rows().Cell(0, 1), QStringLiteral("http://127.0.0.1:1/other.swf"));
    }
    QElapsedTimer Freeing;
    Freeing.start();
    Window.reset();
    EXPECT_LT(Freeing.elapsed(), 1000);
  }
}

} // namespace
} // namespace quenloft

namespace quenloft {
namespace {

// The converter entries open a dialog for the movie; it converts on its own
// thread while the window keeps running, and a cancel leaves nothing.
TEST_F(WindowTest, ConvertsAMovieToGIFThroughTheMenu)
{
  const std::string Movie = Files.WriteFile("movie.swf", testing::ConvertTestMovie(6));
  Form->ChooseMovieFile = [&Movie] { return Movie; }; // nothing selected in the list
  Form->pmiGIF->trigger();
  auto* Dialog = Form->findChild<TConvertDialog*>();
  ASSERT_NE(Dialog, nullptr);
  EXPECT_EQ(TConvertDialog::Formats[Dialog->cbFormat->currentIndex()], convert::Format::GIF);
  EXPECT_EQ(Dialog->edtOutput->text().toStdString(), Files.Folder() + "movie.gif");
  int Ended = 0;
  Dialog->OnEnded = [&Ended] { ++Ended; };
  Dialog->btnConvert->click();
  EXPECT_TRUE(Dialog->Running());
  ASSERT_TRUE(WaitUntil([&Ended] { return Ended == 1; }, 60000));
  EXPECT_TRUE(std::filesystem::exists(Files.Folder() + "movie.gif"));
  ASSERT_TRUE(Dialog->btnShow->isVisible());
  std::string Shown;
  Dialog->OpenFolder = [&Shown](const std::string& Folder) {
    Shown = Folder;
    return true;
  };
  Dialog->btnShow->click();
  EXPECT_EQ(Shown, Files.Path().string());

  Dialog->cbLength->setCurrentIndex(1);
  Dialog->seLength->setValue(20000);
  Dialog->edtOutput->setText(QString::fromStdString(Files.Folder() + "long.gif"));
  Dialog->btnConvert->click();
  Dialog->btnCancel->click();
  ASSERT_TRUE(WaitUntil([&Ended] { return Ended == 2; }, 60000));
  EXPECT_EQ(Dialog->lblStatus->text(), QStringLiteral("Cancelled; nothing was written."));
  EXPECT_FALSE(std::filesystem::exists(Files.Folder() + "long.gif"));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(Files.Path()), {}), 2); // the movie and its GIF
  EXPECT_TRUE(Form->isEnabled());
}

} // namespace
} // namespace quenloft
