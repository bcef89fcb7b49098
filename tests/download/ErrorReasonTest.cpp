// A failed download says why: the system's reason for a full disk or a
// folder that cannot be made, and a text for an answer without a status
// line. The disks are small tmpfs mounts, so these cases need root (they
// skip otherwise, or where mounting is not allowed).
#include "download/DownLoad.h"

#include "http/IdHTTP.h"
#include "tests/download/EventRecorder.h"
#include "tests/support/ScriptedServer.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include <sys/mount.h>
#include <unistd.h>

namespace quenloft {
namespace {

using testing::MakeWorker;
using testing::ScriptedServer;
using testing::TempDir;
using testing::TEventRecorder;

// A tmpfs mounted on a fresh folder for as long as the object lives.
class TSmallDisk {
public:
  TSmallDisk(const std::string& Options, unsigned long Flags)
  {
    if (::geteuid() != 0)
      return;
    FMounted = ::mount("tmpfs", FDir.Path().c_str(), "tmpfs", Flags, Options.c_str()) == 0;
  }
  ~TSmallDisk()
  {
    if (FMounted)
      ::umount2(FDir.Path().c_str(), MNT_DETACH);
  }
  TSmallDisk(const TSmallDisk&) = delete;
  TSmallDisk& operator=(const TSmallDisk&) = delete;

  bool Mounted() const { return FMounted; }
  std::string Folder() const { return FDir.Folder(); }

private:
  TempDir FDir;
  bool FMounted = false;
};

// Runs one download of URL into FileName and returns its final message.
TMessage RunDownload(const std::string& URL, const std::string& FileName)
{
  TIdHTTP http;
  TEventRecorder events;
  auto worker = MakeWorker(http, events, URL, FileName, 7);
  worker->Resume();
  const auto seen = events.UntilFinal();
  worker.reset();
  return seen.empty() ? TMessage{} : seen.back();
}

std::string Answer(std::size_t Size)
{
  return "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(Size) + "\r\n\r\n" + std::string(Size, 'm');
}

TEST(DownloadErrorReason, AFullDiskSaysSo)
{
  TSmallDisk disk("size=64k", 0);
  if (!disk.Mounted())
    GTEST_SKIP() << "needs root and tmpfs mounts";
  ScriptedServer server(ScriptedServer::Replay({Answer(300000)}));
  const std::string file = disk.Folder() + "movie.swf";
  const TMessage final = RunDownload(server.Url("/movie.swf"), file);
  EXPECT_EQ(final.Msg, WM_DOWNLOAD_ERROR);
  EXPECT_EQ(final.Text, "Cannot write file \"" + file + "\". No space left on device");
  // What was written stays, as after any failure in the body.
  EXPECT_GT(std::filesystem::file_size(file), 0u);
}

TEST(DownloadErrorReason, AFolderThatCannotBeMadeSaysWhy)
{
  ScriptedServer server(ScriptedServer::Replay({Answer(10)}));
  // Root may write anywhere, so a read-only disk stands in for a folder
  // without the right to write in it.
  TSmallDisk readOnly("size=64k", MS_RDONLY);
  TempDir locked;
  std::string parent;
  std::string reason;
  if (readOnly.Mounted()) {
    parent = readOnly.Folder();
    reason = "Read-only file system";
  } else if (::geteuid() != 0) {
    std::filesystem::permissions(locked.Path(),
                                 std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    parent = locked.Folder();
    reason = "Permission denied";
  } else {
    GTEST_SKIP() << "root without tmpfs mounts";
  }
  const TMessage final = RunDownload(server.Url("/movie.swf"), parent + "sub/movie.swf");
  std::filesystem::permissions(locked.Path(), std::filesystem::perms::owner_all);
  EXPECT_EQ(final.Msg, WM_DOWNLOAD_ERROR);
  EXPECT_EQ(final.Text, "Cannot create folder \"" + parent + "sub/\". " + reason);
  EXPECT_TRUE(server.Requests().empty());
}

TEST(DownloadErrorReason, AnEmptyStatusLineStillGivesAText)
{
  TempDir out;
  for (const std::string head : {"\r\nContent-Length: 0\r\n\r\n", "\r\n\r\n"}) {
    ScriptedServer server(ScriptedServer::Replay({testing::ScriptedAnswer{head, true}}));
    const TMessage final = RunDownload(server.Url("/movie.swf"), out.Folder() + "movie.swf");
    EXPECT_EQ(final.Msg, WM_DOWNLOAD_ERROR);
    EXPECT_NE(final.Text.find("status line"), std::string::npos) << final.Text;
  }
}

} // namespace
} // namespace quenloft
