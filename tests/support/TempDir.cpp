#include "tests/support/TempDir.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace quenloft::testing {

TempDir::TempDir()
{
  std::string pattern = (std::filesystem::temp_directory_path() / "quenloft-test-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr)
    throw std::runtime_error("mkdtemp failed");
  FPath = pattern;
}

TempDir::~TempDir()
{
  std::error_code ec;
  // Tests may leave read-only folders behind; give the owner rights back first.
  for (auto it = std::filesystem::recursive_directory_iterator(FPath, ec);
       !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec))
    std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
  std::filesystem::permissions(FPath, std::filesystem::perms::owner_all, std::filesystem::perm_options::add,
                               ec);
  std::filesystem::remove_all(FPath, ec);
}

std::string TempDir::WriteFile(const std::string& Name, const std::string& Bytes) const
{
  const auto file = FPath / Name;
  std::filesystem::create_directories(file.parent_path());
  std::ofstream out(file, std::ios::binary);
  out.write(Bytes.data(), static_cast<std::streamsize>(Bytes.size()));
  return file.string();
}

std::string ReadFileBytes(const std::filesystem::path& File)
{
  std::ifstream in(File, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

} // namespace quenloft::testing
