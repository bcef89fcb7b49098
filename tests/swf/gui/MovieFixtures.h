// The shared reference movies for the player's tests: found at
// QUENLOFT_FIXTURES when set, else at ../shared/fixtures beside the source
// tree; tests skip when they are absent.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>

namespace quenloft::testing {

inline std::filesystem::path FixturesDir()
{
  if (const char* Dir = std::getenv("QUENLOFT_FIXTURES"); Dir && *Dir)
    return Dir;
  return std::filesystem::path(QUENLOFT_SOURCE_DIR) / ".." / "shared" / "fixtures";
}

// The test.swf of a reference case, or "" when the fixtures are absent.
inline std::string ReferenceMovie(const std::string& Case)
{
  const std::filesystem::path File = FixturesDir() / "ruffle" / Case / "test.swf";
  return std::filesystem::exists(File) ? File.string() : std::string();
}

#define QUENLOFT_REQUIRE_MOVIE(Var, Case)                                                                    \
  const std::string Var = ::quenloft::testing::ReferenceMovie(Case);                                         \
  if (Var.empty())                                                                                           \
  GTEST_SKIP() << "reference movies not found at " << ::quenloft::testing::FixturesDir()

// Bytes of a movie (tests/swf/MovieBuilder.h) as the text a file is written from.
template <typename Bytes>
std::string AsText(const Bytes& B)
{
  return std::string(B.begin(), B.end());
}

} // namespace quenloft::testing
