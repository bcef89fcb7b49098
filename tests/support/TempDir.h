// A fresh folder under the system's temporary folder, removed with the object.
#pragma once

#include <filesystem>
#include <string>

namespace quenloft::testing {

class TempDir {
public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& Path() const { return FPath; }
  // Path() as text, with a trailing "/" (the program's folder form).
  std::string Folder() const { return FPath.string() + "/"; }
  // Writes Bytes to Path()/Name (creating parent folders) and returns the full path.
  std::string WriteFile(const std::string& Name, const std::string& Bytes) const;

private:
  std::filesystem::path FPath;
};

// The whole content of a file ("" when it cannot be read).
std::string ReadFileBytes(const std::filesystem::path& File);

} // namespace quenloft::testing
