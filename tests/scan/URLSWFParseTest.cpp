#include "scan/URLSWFParse.h"

#include "http/ClientSettings.h"
#include "http/IdHTTP.h"
#include "tests/support/LeaseProbe.h"
#include "tests/support/NginxServer.h"
#include "tests/support/ScriptedServer.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <memory>

namespace quenloft {
namespace {

using namespace std::chrono_literals;
using testing::NginxOptions;
using testing::NginxServer;
using testing::ScriptedConnection;
using testing::ScriptedServer;
using testing::TempDir;

struct TScan {
  std::vector<std::string> Links;
  std::vector<int> Reports;
  std::string Error;
};

TScan Scan(TIdHTTP& HTTP, const std::string& URL)
{
  TScan result;
  TURLSWFParser parser;
  parser.FHTTP = &HTTP;
  parser.FURL = URL;
  parser.OnLoadProgress = [&](std::uint8_t P) { result.Reports.push_back(P); };
  parser.FindLinks(result.Links);
  result.Error = parser.LastError();
  return result;
}

TEST(URLSWFParser, ProgressFollowsTheRuleWithTiesToEven)
{
  TIdComponent sender;
  TURLSWFParser parser;
  std::vector<int> reports;
  parser.OnLoadProgress = [&](std::uint8_t P) { reports.push_back(P); };
  // 1000 bytes in steps of 4, 6 and 990: 0 (not sent), 1, 100.
  parser.HTTPWorkBegin(sender, TWorkMode::wmRead, 1000);
  for (int count : {4, 10, 1000})
    parser.HTTPWork(sender, TWorkMode::wmRead, count);
  EXPECT_EQ(reports, (std::vector<int>{1, 100}));

  // A new transfer replaces the total; halves go to the even neighbour:
  // 1/200 = 0.5% -> 0 (differs from 100, so it is reported), 3/200 = 1.5% -> 2.
  reports.clear();
  parser.HTTPWorkBegin(sender, TWorkMode::wmRead, 200);
  parser.HTTPWork(sender, TWorkMode::wmRead, 1);
  parser.HTTPWork(sender, TWorkMode::wmRead, 3);
  parser.HTTPWork(sender, TWorkMode::wmRead, 5); // 2.5% -> 2, unchanged: silent
  EXPECT_EQ(reports, (std::vector<int>{0, 2}));
  EXPECT_EQ(parser.FLastPercent, 2);

  // Unknown length: no progress at all.
  reports.clear();
  parser.HTTPWorkBegin(sender, TWorkMode::wmRead, 0);
  parser.HTTPWork(sender, TWorkMode::wmRead, 5000);
  EXPECT_TRUE(reports.empty());

  // Unassigned handler: nothing is stored either.
  TURLSWFParser silent;
  silent.HTTPWorkBegin(sender, TWorkMode::wmRead, 10);
  silent.HTTPWork(sender, TWorkMode::wmRead, 5);
  EXPECT_EQ(silent.FLastPercent, 0);
}

TEST(URLSWFParser, ATypedMovieAddressIsTheResultWithoutARequest)
{
  ScriptedServer server(ScriptedServer::Replay(std::vector<std::string>{}));
  TIdHTTP http;
  for (const std::string path : {"/clip.SWF", "/dir/clip.swf?x=1#top"}) {
    const auto scan = Scan(http, server.Url(path));
    EXPECT_EQ(scan.Links, std::vector<std::string>{server.Url(path)});
    EXPECT_TRUE(scan.Reports.empty());
    EXPECT_TRUE(scan.Error.empty());
  }
  // Without a scheme it gets "http://" first.
  const std::string bare = "127.0.0.1:" + std::to_string(server.Port()) + "/m.swf";
  EXPECT_EQ(Scan(http, bare).Links, std::vector<std::string>{"http://" + bare});
  EXPECT_TRUE(server.Requests().empty());
  EXPECT_EQ(server.ConnectionCount(), 0);
}

class URLSWFParserNginx : public ::testing::Test {
protected:
  void SetUp() override
  {
    QUENLOFT_REQUIRE_NGINX();
    FSite.WriteFile("dir/page.html", "<embed src=\"a.swf\"><embed src=\"/root/b.swf\">"
                                     "<embed src=\"http://other.example/c.swf\"><embed src=\"a.swf\">"
                                     "<embed src=\"sub/d.swf?autoplay=1\"><a href=\"x.html\">" +
                                         std::string(20000, ' '));
    NginxOptions options;
    options.Root = FSite.Path();
    options.ServerConfig = "location = /moved.html { return 302 /dir/page.html; }\n";
    FServer = std::make_unique<NginxServer>(options);
    ApplyProgramClientSettings(FHTTP);
  }

  TempDir FSite;
  std::unique_ptr<NginxServer> FServer;
  TIdHTTP FHTTP;
};

TEST_F(URLSWFParserNginx, FindsAbsoluteLinksInPageOrderWithoutDuplicates)
{
  const auto scan = Scan(FHTTP, FServer->Url("/dir/page.html"));
  EXPECT_EQ(scan.Links,
            (std::vector<std::string>{FServer->Url("/dir/a.swf"), FServer->Url("/root/b.swf"),
                                      "http://other.example/c.swf", FServer->Url("/dir/sub/d.swf")}));
  ASSERT_FALSE(scan.Reports.empty());
  EXPECT_EQ(scan.Reports.back(), 100);
  EXPECT_TRUE(scan.Error.empty());
  // The client is free again afterwards.
  EXPECT_TRUE(testing::LeaseFree(FHTTP));
}

TEST_F(URLSWFParserNginx, ARedirectedPageResolvesAgainstTheTypedAddress)
{
  // The base is the typed address's folder, as the window has always done.
  const auto scan = Scan(FHTTP, FServer->Url("/moved.html"));
  ASSERT_EQ(scan.Links.size(), 4u);
  EXPECT_EQ(scan.Links[0], FServer->Url("/a.swf"));
}

TEST_F(URLSWFParserNginx, AFailedFetchFindsNothingAndSaysWhy)
{
  const auto scan = Scan(FHTTP, FServer->Url("/missing.html"));
  EXPECT_TRUE(scan.Links.empty());
  EXPECT_NE(scan.Error.find("404"), std::string::npos) << scan.Error;
  EXPECT_TRUE(testing::LeaseFree(FHTTP));

  const auto refused = Scan(FHTTP, "http://127.0.0.1:1/page.html");
  EXPECT_TRUE(refused.Links.empty());
  EXPECT_FALSE(refused.Error.empty());
}

TEST(URLSWFParser, APageWithoutLengthIsScannedWithoutProgress)
{
  ScriptedServer server([](ScriptedConnection& c) {
    if (c.ReadRequest().empty())
      return;
    c.Send("HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n<embed src=\"m.swf\">");
    c.Close();
  });
  TIdHTTP http;
  const auto scan = Scan(http, server.Url("/p/index.html"));
  EXPECT_EQ(scan.Links, std::vector<std::string>{server.Url("/p/m.swf")});
  EXPECT_TRUE(scan.Reports.empty());
}

TEST(URLSWFParser, APageLargerThanTheBoundFailsEarly)
{
  // An endless body: the fetch must stop at the bound, not when memory ends.
  ScriptedServer server([](ScriptedConnection& c) {
    if (c.ReadRequest().empty())
      return;
    c.Send("HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n");
    const std::string piece(1 << 20, 'x');
    for (int i = 0; i < 100 && !c.Stopping() && !c.WaitForPeerClose(0ms); ++i) {
      c.Send(piece);
    }
    c.Close();
  });
  TIdHTTP http;
  const auto scan = Scan(http, server.Url("/huge.html"));
  EXPECT_TRUE(scan.Links.empty());
  EXPECT_EQ(scan.Error, "The page is larger than 64 MiB");
}

} // namespace
} // namespace quenloft
