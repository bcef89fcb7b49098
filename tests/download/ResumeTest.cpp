// Resuming a cut download: a partial file with its record is finished with a
// range request; a changed file or an ignored range gives a fresh numbered
// file; without the option nothing of this happens.
#include "download/ResumeRecord.h"
#include "download/Vellicorer.h"

#include "http/ClientSettings.h"
#include "tests/download/EventRecorder.h"
#include "tests/support/ScriptedServer.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace quenloft {
namespace {

using testing::ReadFileBytes;
using testing::ScriptedAnswer;
using testing::ScriptedServer;
using testing::TempDir;
using testing::TEventRecorder;

const std::string Body = "0123456789abcdefghij"; // 20 bytes

std::string Whole(const std::string& Tag)
{
  return "HTTP/1.1 200 OK\r\nETag: " + Tag + "\r\nContent-Length: 20\r\n\r\n" + Body;
}

// Runs one download of Address into Folder as the window would, resuming
// when Resume is on; the events up to the final one.
std::vector<TMessage> Download(const std::string& Address, const std::string& Folder, bool Resume,
                               std::string& FileName)
{
  TEventRecorder Events;
  TVellicorer Downloader;
  Downloader.Retries = 0;
  Downloader.Resume = Resume;
  Downloader.SetOutputFolder(Folder);
  Downloader.AddTasks({Address});
  TSWFTask& Task = *Downloader.Tasks().Items(0);
  Downloader.StartTask(&Task, Events.Handle());
  std::vector<TMessage> Seen = Events.UntilFinal();
  for (const TMessage& M : Seen)
    Downloader.HandleTaskEvent(M, Events.Handle());
  FileName = Task.FileName;
  return Seen;
}

TEST(Resume, ACutFileIsFinishedOrReplacedByAFreshOne)
{
  struct TCase {
    const char* Name;
    std::string Second;  // the answer to the range request
    std::string File;    // the file that holds the movie afterwards
    std::string Partial; // what movie.swf holds afterwards
  };
  const TCase Cases[] = {
      {"finished exactly",
       "HTTP/1.1 206 Partial Content\r\nETag: \"v1\"\r\nContent-Range: bytes 8-19/20\r\nContent-Length: "
       "12\r\n\r\n" +
           Body.substr(8),
       "movie.swf", Body},
      {"the validator changed", Whole("\"v2\""), "movie(2).swf", Body.substr(0, 8)},
      {"the range ignored", Whole("\"v1\""), "movie(2).swf", Body.substr(0, 8)},
  };
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.Name);
    ScriptedServer Server(ScriptedServer::Replay(std::vector<ScriptedAnswer>{
        {.Bytes = "HTTP/1.1 200 OK\r\nETag: \"v1\"\r\nContent-Length: 20\r\n\r\n" + Body.substr(0, 8),
         .CloseAfter = true},
        {.Bytes = Case.Second}}));
    TempDir Out;
    std::string File;
    auto Seen = Download(Server.Url("/movie.swf"), Out.Folder(), true, File);
    ASSERT_FALSE(Seen.empty());
    EXPECT_EQ(Seen.back().Msg, WM_DOWNLOAD_ERROR);
    EXPECT_EQ(ReadFileBytes(Out.Folder() + "movie.swf"), Body.substr(0, 8));
    ASSERT_TRUE(ReadResumeRecord(Out.Folder() + "movie.swf"));

    Seen = Download(Server.Url("/movie.swf"), Out.Folder(), true, File);
    ASSERT_FALSE(Seen.empty());
    EXPECT_EQ(Seen.back().Msg, WM_DOWNLOAD_DONE) << Seen.back().Text;
    EXPECT_EQ(File, Out.Folder() + Case.File);
    EXPECT_EQ(ReadFileBytes(File), Body);
    EXPECT_EQ(ReadFileBytes(Out.Folder() + "movie.swf"), Case.Partial);
    ASSERT_EQ(Server.Requests().size(), 2u);
    EXPECT_NE(Server.Requests()[1].find("\r\nRange: bytes=8-\r\n"), std::string::npos)
        << Server.Requests()[1];
    EXPECT_NE(Server.Requests()[1].find("\r\nIf-Range: \"v1\"\r\n"), std::string::npos)
        << Server.Requests()[1];
    EXPECT_FALSE(std::filesystem::exists(ResumeRecordPath(File)));
  }
}

// A 206 for another part than the one on disk is not appended.
TEST(Resume, APartThatDoesNotFitFails)
{
  ScriptedServer Server(ScriptedServer::Replay(std::vector<ScriptedAnswer>{
      {.Bytes = "HTTP/1.1 200 OK\r\nETag: \"v1\"\r\nContent-Length: 20\r\n\r\n" + Body.substr(0, 8),
       .CloseAfter = true},
      {.Bytes = "HTTP/1.1 206 Partial Content\r\nContent-Range: bytes 4-19/20\r\nContent-Length: 16\r\n\r\n" +
                Body.substr(4)}}));
  TempDir Out;
  std::string File;
  Download(Server.Url("/movie.swf"), Out.Folder(), true, File);
  const auto Seen = Download(Server.Url("/movie.swf"), Out.Folder(), true, File);
  ASSERT_FALSE(Seen.empty());
  EXPECT_EQ(Seen.back().Msg, WM_DOWNLOAD_ERROR);
  EXPECT_NE(Seen.back().Text.find("Content-Range: bytes 4-19/20"), std::string::npos) << Seen.back().Text;
  EXPECT_EQ(ReadFileBytes(Out.Folder() + "movie.swf"), Body.substr(0, 8));
}

// Without the option: no record, no range request, a new numbered file.
TEST(Resume, WithoutTheOptionNothingChanges)
{
  ScriptedServer Server(ScriptedServer::Replay(std::vector<ScriptedAnswer>{
      {.Bytes = "HTTP/1.1 200 OK\r\nETag: \"v1\"\r\nContent-Length: 20\r\n\r\n" + Body.substr(0, 8),
       .CloseAfter = true},
      {.Bytes = Whole("\"v1\"")}}));
  TempDir Out;
  std::string File;
  Download(Server.Url("/movie.swf"), Out.Folder(), false, File);
  EXPECT_FALSE(std::filesystem::exists(ResumeRecordPath(Out.Folder() + "movie.swf")));
  const auto Seen = Download(Server.Url("/movie.swf"), Out.Folder(), false, File);
  EXPECT_EQ(File, Out.Folder() + "movie(2).swf");
  EXPECT_EQ(ReadFileBytes(File), Body);
  ASSERT_EQ(Server.Requests().size(), 2u);
  EXPECT_EQ(Server.Requests()[1].find("Range:"), std::string::npos);
}

TEST(Resume, ContentRangeValues)
{
  struct TCase {
    const char* Value;
    bool Valid;
    std::int64_t First, Last, Total;
  };
  const TCase Cases[] = {
      {"bytes 8-19/20", true, 8, 19, 20}, {"bytes 0-0/*", true, 0, 0, -1},
      {"bytes 8-19/19", false, 0, 0, 0},  {"bytes 9-8/20", false, 0, 0, 0},
      {"items 8-19/20", false, 0, 0, 0},  {"bytes -1-19/20", false, 0, 0, 0},
      {"bytes 8-19", false, 0, 0, 0},
  };
  for (const TCase& Case : Cases) {
    const auto Range = ParseContentRange(Case.Value);
    ASSERT_EQ(Range.has_value(), Case.Valid) << Case.Value;
    if (Range) {
      EXPECT_EQ(Range->First, Case.First);
      EXPECT_EQ(Range->Last, Case.Last);
      EXPECT_EQ(Range->Total, Case.Total);
    }
  }
}

} // namespace
} // namespace quenloft
