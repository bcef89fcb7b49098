// What quenloft-cli prints and accepts from outside: links, status lines and
// file names with control bytes, names that are not UTF-8, a CA file that
// holds no certificate. The built program runs against a scripted server.
#include "tests/cli/ChildProcess.h"
#include "tests/support/ScriptedServer.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <openssl/evp.h>

#include <filesystem>
#include <set>

namespace quenloft {
namespace {

using testing::Lines;
using testing::RunProgram;
using testing::ScriptedConnection;
using testing::ScriptedServer;
using testing::TempDir;

const std::string Cli = QUENLOFT_CLI_PATH;

std::set<std::string> Listing(const std::filesystem::path& Folder)
{
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(Folder))
    names.insert(entry.path().filename().string());
  return names;
}

// Links and status lines with control bytes: they reach neither the terminal
// nor a file name, and --json still leads to every file.
TEST(Cli, HostileLinksAndStatusLinesStayOnTheirLines)
{
  const std::string page = "<embed src=\"esc\x1b[2J\x1b]0;pwned\x07.swf\">"
                           "<embed src=\"new\nline.swf\"><embed src=\"caf\xe9.swf\">"
                           "<embed src=\"ftp://127.0.0.1/x.swf\"><embed src=\"gone.swf\">";
  const std::string gone = "HTTP/1.1 404 \x1b[2J\x1b]0;title\x07Gone\r\nContent-Length: 0\r\n\r\n";
  ScriptedServer server([&](ScriptedConnection& c) {
    for (std::string head = c.ReadRequest(); !head.empty(); head = c.ReadRequest()) {
      if (head.starts_with("GET /page.html "))
        c.Send("HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(page.size()) + "\r\n\r\n" + page);
      else if (head.starts_with("GET /gone.swf "))
        c.Send(gone);
      else
        c.Send("HTTP/1.1 200 OK\r\nContent-Length: 3\r\n\r\nFWS");
    }
  });
  const auto hasControlBytes = [](const std::string& Text) {
    for (const char c : Text)
      if ((static_cast<unsigned char>(c) < 0x20 && c != '\n') || c == 0x7F)
        return true;
    return false;
  };

  // scan lists every link, the one of another scheme too, escaped.
  const auto scan = RunProgram(Cli, {"scan", server.Url("/page.html")});
  EXPECT_EQ(scan.Status, 0) << scan.Err;
  EXPECT_FALSE(hasControlBytes(scan.Out)) << scan.Out;
  EXPECT_EQ(Lines(scan.Out),
            (std::vector<std::string>{server.Url("/esc\\x1b[2J\\x1b]0;pwned\\x07.swf"),
                                      server.Url("/new\\x0aline.swf"), server.Url("/caf\\xe9.swf"),
                                      "ftp://127.0.0.1/x.swf", server.Url("/gone.swf")}));

  TempDir out;
  const auto lines = RunProgram(Cli, {"-o", out.Path().string(), server.Url("/page.html")});
  EXPECT_EQ(lines.Status, 1) << lines.Err;
  EXPECT_FALSE(hasControlBytes(lines.Out)) << lines.Out;
  EXPECT_EQ(Lines(lines.Out).size(), 6u) << lines.Out;
  EXPECT_NE(lines.Out.find("ftp://127.0.0.1/x.swf: unsupported address scheme 'ftp'"), std::string::npos)
      << lines.Out;
  EXPECT_NE(lines.Out.find("HTTP/1.1 404 \\x1b[2J\\x1b]0;title\\x07Gone"), std::string::npos) << lines.Out;
  EXPECT_EQ(Listing(out.Path()),
            (std::set<std::string>{"esc_[2J_]0;pwned_.swf", "new_line.swf", "caf\xe9.swf"}));

  // JSON keeps the exact texts and the raw bytes of a name that is no UTF-8.
  TempDir json;
  const auto run = RunProgram(Cli, {"--json", "-o", json.Path().string(), server.Url("/page.html")});
  EXPECT_EQ(run.Status, 1) << run.Err;
  const auto rows = Lines(run.Out);
  ASSERT_EQ(rows.size(), 5u) << run.Out;
  EXPECT_EQ(nlohmann::json::parse(rows[4]).at("error"), "HTTP/1.1 404 \x1b[2J\x1b]0;title\x07Gone");
  const auto latin = nlohmann::json::parse(rows[2]);
  ASSERT_TRUE(latin.contains("file_bytes")) << rows[2];
  EXPECT_FALSE(nlohmann::json::parse(rows[1]).contains("file_bytes"));
  const std::string encoded = latin.at("file_bytes");
  std::string decoded(encoded.size(), '\0');
  const int length = EVP_DecodeBlock(reinterpret_cast<unsigned char*>(decoded.data()),
                                     reinterpret_cast<const unsigned char*>(encoded.data()),
                                     static_cast<int>(encoded.size()));
  ASSERT_GT(length, 0);
  decoded.resize(static_cast<std::size_t>(length));
  while (!decoded.empty() && decoded.back() == '\0')
    decoded.pop_back(); // the padding's zero bytes
  EXPECT_EQ(decoded, json.Folder() + "caf\xe9.swf");
  EXPECT_TRUE(std::filesystem::exists(decoded));
}

TEST(Cli, ACAFileWithoutCertificatesIsBadUsage)
{
  TempDir dir;
  const std::string empty = dir.WriteFile("empty.pem", "");
  const std::string text = dir.WriteFile("text.pem", "not a certificate\n");
  const std::pair<std::string, std::string> cases[] = {
      {empty, "it holds no PEM certificate"},
      {text, "it holds no PEM certificate"},
      {dir.Folder() + "missing.pem", "No such file or directory"},
  };
  for (const auto& [file, reason] : cases) {
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--ca-file", file, "http://127.0.0.1:1/x.swf"},
          std::vector<std::string>{"scan", "--ca-file", file, "http://127.0.0.1:1/"}}) {
      const auto result = RunProgram(Cli, args);
      EXPECT_EQ(result.Status, 2) << file;
      EXPECT_EQ(result.Err, "quenloft-cli: --ca-file " + file + ": " + reason + "\n");
    }
  }
}

} // namespace
} // namespace quenloft
