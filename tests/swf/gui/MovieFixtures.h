// Movies for the player's tests: the shared reference movies (found at
// QUENLOFT_FIXTURES when set, else at ../shared/fixtures beside the source
// tree; tests skip when they are absent) and small movies written here, tag
// by tag.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace quenloft::testing {

inline std::filesystem::path FixturesDir() {
  if (const char* Dir = std::getenv("QUENLOFT_FIXTURES"); Dir && *Dir)
    return Dir;
  return std::filesystem::path(QUENLOFT_SOURCE_DIR) / ".." / "shared" / "fixtures";
}

// The test.swf of a reference case, or "" when the fixtures are absent.
inline std::string ReferenceMovie(const std::string& Case) {
  const std::filesystem::path File = FixturesDir() / "ruffle" / Case / "test.swf";
  return std::filesystem::exists(File) ? File.string() : std::string();
}

#define QUENLOFT_REQUIRE_MOVIE(Var, Case)                                                                      \
  const std::string Var = ::quenloft::testing::ReferenceMovie(Case);                                           \
  if (Var.empty())                                                                                             \
  GTEST_SKIP() << "reference movies not found at " << ::quenloft::testing::FixturesDir()

// One tag: the short header form for bodies under 63 bytes.
inline std::string SWFTag(int Code, const std::string& Body) {
  std::string Out;
  auto Word = [&Out](std::uint32_t V, int Bytes) {
    for (int I = 0; I < Bytes; ++I)
      Out += static_cast<char>((V >> (8 * I)) & 0xFF);
  };
  if (Body.size() < 63) {
    Word(static_cast<std::uint32_t>(Code << 6) | static_cast<std::uint32_t>(Body.size()), 2);
  } else {
    Word(static_cast<std::uint32_t>(Code << 6) | 63u, 2);
    Word(static_cast<std::uint32_t>(Body.size()), 4);
  }
  return Out + Body;
}

// An uncompressed version-10 movie of W x H pixels at 24 frames per second,
// declaring Frames frames, with Tags after its header (an End tag is not
// added).
inline std::string SWFFile(int W, int H, int Frames, const std::string& Tags) {
  std::string Bits = "10000"; // 16 bits per field
  for (int V : {0, W * 20, 0, H * 20})
    for (int I = 15; I >= 0; --I)
      Bits += ((V >> I) & 1) ? '1' : '0';
  while (Bits.size() % 8)
    Bits += '0';
  std::string Body;
  for (std::size_t I = 0; I < Bits.size(); I += 8)
    Body += static_cast<char>(std::stoi(Bits.substr(I, 8), nullptr, 2));
  Body += std::string("\x00\x18", 2);
  Body += static_cast<char>(Frames & 0xFF);
  Body += static_cast<char>(Frames >> 8);
  Body += Tags;
  const auto Length = static_cast<std::uint32_t>(8 + Body.size());
  std::string Head = "FWS\x0A";
  for (int I = 0; I < 4; ++I)
    Head += static_cast<char>((Length >> (8 * I)) & 0xFF);
  return Head + Body;
}

inline constexpr int kTagEnd = 0;
inline constexpr int kTagShowFrame = 1;
inline constexpr int kTagSetBackgroundColor = 9;
inline constexpr int kTagDoAction = 12;

} // namespace quenloft::testing
