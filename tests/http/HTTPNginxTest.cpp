// The client against a real nginx on loopback: connection reuse as the
// server logs it, a large file, a chunked page, and HTTPS with the test CA.
#include "http/IdException.h"
#include "http/IdHTTP.h"
#include "tests/support/NginxServer.h"
#include "tests/support/ScriptedServer.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestCertificates.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

namespace quenloft {
namespace {

using testing::NginxOptions;
using testing::NginxServer;
using testing::TempDir;

// "<connection> <connection_requests> ..." -> the two numbers.
std::pair<long, long> ConnectionOf(const std::string& Line)
{
  std::istringstream In(Line);
  std::pair<long, long> Result{-1, -1};
  In >> Result.first >> Result.second;
  return Result;
}

// Compares two files block by block (large files, so not through strings).
bool SameContents(const std::string& A, const std::string& B)
{
  std::ifstream InA(A, std::ios::binary), InB(B, std::ios::binary);
  std::vector<char> BlockA(1 << 20), BlockB(1 << 20);
  while (InA && InB) {
    InA.read(BlockA.data(), static_cast<std::streamsize>(BlockA.size()));
    InB.read(BlockB.data(), static_cast<std::streamsize>(BlockB.size()));
    if (InA.gcount() != InB.gcount() ||
        std::memcmp(BlockA.data(), BlockB.data(), static_cast<std::size_t>(InA.gcount())) != 0)
      return false;
  }
  return InA.eof() && InB.eof();
}

class NginxTest : public ::testing::Test {
protected:
  void SetUp() override
  {
    QUENLOFT_REQUIRE_NGINX();
    Site.WriteFile("a.swf", "movie a");
    Site.WriteFile("b.swf", "movie b");
    Site.WriteFile("dir/c.html", "<a href=\"x.swf\">");
    Site.WriteFile("ssi/page.html", "A<!--# echo var=\"nothing\" default=\"B\" -->C");
    Client.HandleRedirects = true;
  }

  NginxServer Start(bool Tls = false)
  {
    return NginxServer(NginxOptions{Site.Path(), Tls, "    location /ssi/ { ssi on; }\n"});
  }

  TempDir Site;
  TIdHTTP Client;
};

TEST_F(NginxTest, SeveralRequestsShareOneConnection)
{
  NginxServer Server = Start();
  EXPECT_EQ(Client.Get(Server.Url("/a.swf")), "movie a");
  EXPECT_EQ(Client.Get(Server.Url("/b.swf")), "movie b");
  EXPECT_EQ(Client.Get(Server.Url("/dir/c.html")), "<a href=\"x.swf\">");
  const auto Log = Server.WaitForAccessLog(3);
  ASSERT_EQ(Log.size(), 3u);
  const auto First = ConnectionOf(Log[0]);
  for (std::size_t I = 0; I < 3; ++I) {
    EXPECT_EQ(ConnectionOf(Log[I]).first, First.first) << Log[I];
    EXPECT_EQ(ConnectionOf(Log[I]).second, static_cast<long>(I) + 1) << Log[I];
  }
}

TEST_F(NginxTest, ALargeFileArrivesByteForByte)
{
  // 64 MiB of a pattern; every 1 MiB block is stamped with its number.
  const std::string File = (Site.Path() / "large.bin").string();
  {
    std::ofstream Out(File, std::ios::binary);
    std::string Block(1 << 20, '\0');
    for (std::size_t I = 0; I < Block.size(); ++I)
      Block[I] = static_cast<char>((I * 31) & 0xff);
    for (int B = 0; B < 64; ++B) {
      Block.replace(0, 8, "block" + std::to_string(100 + B));
      Out.write(Block.data(), static_cast<std::streamsize>(Block.size()));
    }
  }
  NginxServer Server = Start();
  TempDir Out;
  const std::string Target = Out.Folder() + "large.bin";
  std::int64_t Last = 0;
  std::int32_t Expected = 0;
  Client.OnWorkBegin = [&](TIdComponent&, TWorkMode, std::int32_t Max) { Expected = Max; };
  Client.OnWork = [&](TIdComponent&, TWorkMode, std::int32_t Count) { Last = Count; };
  {
    TFileStream Stream(Target, fmCreate);
    Client.Get(Server.Url("/large.bin"), Stream);
  }
  EXPECT_EQ(Expected, 64 << 20);
  EXPECT_EQ(Last, 64 << 20);
  EXPECT_TRUE(SameContents(Target, File)) << "the copy differs";
}

TEST_F(NginxTest, AChunkedPage)
{
  NginxServer Server = Start();
  EXPECT_EQ(Client.Get(Server.Url("/ssi/page.html")), "ABC");
  EXPECT_NE(Client.Response().RawHeaders.Values("Transfer-Encoding").find("chunked"), std::string::npos);
  // The connection survives the chunked answer.
  EXPECT_EQ(Client.Get(Server.Url("/a.swf")), "movie a");
  const auto Log = Server.WaitForAccessLog(2);
  ASSERT_EQ(Log.size(), 2u);
  EXPECT_EQ(ConnectionOf(Log[1]).second, 2);
}

TEST_F(NginxTest, HttpsWithTheTestCA)
{
  NginxServer Server = Start(true);
  Client.CAFile = Server.CAFile();
  EXPECT_EQ(Client.Get(Server.TlsUrl("/a.swf")), "movie a");
  EXPECT_EQ(Client.Get(Server.TlsUrl("/b.swf")), "movie b");
  // From https to http and back, on the same client.
  EXPECT_EQ(Client.Get(Server.Url("/a.swf")), "movie a");
  EXPECT_EQ(Client.Get(Server.TlsUrl("/dir/c.html")), "<a href=\"x.swf\">");
  const auto Log = Server.WaitForAccessLog(4);
  ASSERT_EQ(Log.size(), 4u);
  EXPECT_EQ(ConnectionOf(Log[1]).second, 2) << "the TLS connection was kept";
}

TEST_F(NginxTest, RedirectsBetweenHttpAndHttps)
{
  NginxServer Server = Start(true);
  Client.CAFile = Server.CAFile();
  testing::ScriptedServer Redirector(testing::ScriptedServer::Replay(
      {"HTTP/1.1 302 Found\r\nLocation: " + Server.TlsUrl("/a.swf") + "\r\nContent-Length: 0\r\n\r\n"}));
  EXPECT_EQ(Client.Get(Redirector.Url("/go")), "movie a");
  EXPECT_EQ(Client.URL().Protocol, "https");
}

TEST_F(NginxTest, HttpsWithoutTheCAFailsVerificationAndSendsNothing)
{
  NginxServer Server = Start(true);
  for (const std::string& CA : {std::string(), testing::GetTestCertificates().OtherCAFile}) {
    Client.CAFile = CA;
    try {
      Client.Get(Server.TlsUrl("/a.swf"));
      FAIL() << "an unknown certificate was trusted";
    } catch (const EIdTLSError& E) {
      EXPECT_NE(std::string(E.what()).find("certificate verify failed"), std::string::npos) << E.what();
    }
  }
  // A plain request afterwards gives the log a last line to wait for; the
  // refused connections must have left no request before it.
  EXPECT_EQ(Client.Get(Server.Url("/b.swf")), "movie b");
  auto Log = Server.WaitForAccessLog(1);
  for (int I = 0; I < 300 && (Log.empty() || Log.back().find("GET /b.swf ") == std::string::npos); ++I)
    Log = Server.WaitForAccessLog(Log.size() + 1, std::chrono::milliseconds(10));
  ASSERT_FALSE(Log.empty());
  EXPECT_NE(Log.back().find("GET /b.swf "), std::string::npos) << Log.back();
  for (std::size_t I = 0; I + 1 < Log.size(); ++I)
    EXPECT_EQ(Log[I].find("GET"), std::string::npos) << Log[I];
}

} // namespace
} // namespace quenloft
