// Files a playing movie asks for by address (loadMovie, loadVariables,
// XML.load, LoadVars.load, MovieClipLoader): the program answers from the
// movie's own folder only. Network addresses and paths that would climb out
// of the folder are refused with a reason; nothing else is ever opened.
//
// Threads: a loader is immutable after construction; Load may run on any
// thread (the player calls it on its own).
#pragma once

#include <cstddef>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

namespace quenloft::swf {

struct LoadedFile {
  enum class Outcome { Read, Missing, Refused };
  Outcome Result = Outcome::Refused;
  std::string Bytes; // the file's contents when Read
  std::string Why;   // a reason for the trace log otherwise
  std::string Name;  // the file's path inside the folder ("a/b.swf")
  bool Ok() const { return Result == Outcome::Read; }
};

class FileLoader {
public:
  virtual ~FileLoader() = default;
  // The file Url names, as the movie gave it.
  virtual LoadedFile Load(std::string_view Url) const = 0;
};

// Reads relative addresses under one folder. The query ("?a=1") and
// fragment are dropped, %-escapes decoded, backslashes read as slashes.
// Refused: an address with a scheme (http:, file:, a drive letter), an
// absolute path, ".." past the folder, a link that leads out of it, and a
// file larger than MaxBytes.
class FolderLoader final : public FileLoader {
public:
  explicit FolderLoader(std::filesystem::path Folder);
  // The loader for the folder a movie file sits in.
  static std::shared_ptr<FolderLoader> Beside(const std::filesystem::path& MovieFile);

  LoadedFile Load(std::string_view Url) const override;

  static constexpr std::size_t MaxBytes = 64u << 20;

private:
  std::filesystem::path FFolder;
};

// The path inside a folder an address names ("a/b.txt"), or an empty
// string with Why set when the address must not be read.
std::string FolderPathOf(std::string_view Url, std::string& Why);

} // namespace quenloft::swf
