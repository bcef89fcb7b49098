#include "swf/FileLoader.h"

#include <cctype>
#include <fstream>
#include <system_error>
#include <vector>

namespace quenloft::swf {

namespace {

int HexDigit(char C)
{
  if (C >= '0' && C <= '9')
    return C - '0';
  if (C >= 'a' && C <= 'f')
    return C - 'a' + 10;
  if (C >= 'A' && C <= 'F')
    return C - 'A' + 10;
  return -1;
}

// A scheme ("http:", "file:") or a drive letter ("C:") before any slash.
bool HasScheme(std::string_view Url)
{
  const std::size_t colon = Url.find(':');
  if (colon == std::string_view::npos || colon == 0)
    return false;
  const std::string_view head = Url.substr(0, colon);
  if (!std::isalpha(static_cast<unsigned char>(head[0])))
    return false;
  for (const char c : head)
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '+' && c != '-' && c != '.')
      return false;
  return true;
}

bool Inside(const std::filesystem::path& Folder, const std::filesystem::path& P)
{
  auto f = Folder.begin();
  auto p = P.begin();
  for (; f != Folder.end(); ++f, ++p)
    if (p == P.end() || *f != *p)
      return false;
  return true;
}

} // namespace

std::string FolderPathOf(std::string_view Url, std::string& Why)
{
  Url = Url.substr(0, Url.find_first_of("?#"));
  if (Url.empty()) {
    Why = "no file named";
    return {};
  }
  if (HasScheme(Url)) {
    Why = "a movie here reads only files beside it, never the network or other folders";
    return {};
  }
  std::string text;
  for (std::size_t i = 0; i < Url.size(); ++i) {
    char c = Url[i];
    if (c == '%' && i + 2 < Url.size() && HexDigit(Url[i + 1]) >= 0 && HexDigit(Url[i + 2]) >= 0) {
      c = static_cast<char>(HexDigit(Url[i + 1]) * 16 + HexDigit(Url[i + 2]));
      i += 2;
    }
    if (c == '\0') {
      Why = "a file name holds a NUL character";
      return {};
    }
    text.push_back(c == '\\' ? '/' : c);
  }
  if (text.front() == '/') {
    Why = "an absolute path is outside the movie's folder";
    return {};
  }
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (start <= text.size()) {
    const std::size_t end = std::min(text.find('/', start), text.size());
    const std::string part = text.substr(start, end - start);
    if (part == "..") {
      if (parts.empty()) {
        Why = "the path climbs out of the movie's folder";
        return {};
      }
      parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    start = end + 1;
  }
  if (parts.empty()) {
    Why = "no file named";
    return {};
  }
  std::string joined;
  for (const std::string& p : parts)
    joined += (joined.empty() ? "" : "/") + p;
  return joined;
}

FolderLoader::FolderLoader(std::filesystem::path Folder) : FFolder(std::move(Folder)) {}

std::shared_ptr<FolderLoader> FolderLoader::Beside(const std::filesystem::path& MovieFile)
{
  std::filesystem::path folder = MovieFile.parent_path();
  return std::make_shared<FolderLoader>(folder.empty() ? std::filesystem::path(".") : folder);
}

LoadedFile FolderLoader::Load(std::string_view Url) const
{
  LoadedFile out;
  out.Name = FolderPathOf(Url, out.Why);
  if (out.Name.empty())
    return out;
  std::error_code ec;
  const std::filesystem::path folder = std::filesystem::canonical(FFolder, ec);
  if (ec) {
    out.Result = LoadedFile::Outcome::Missing;
    out.Why = "the movie's folder cannot be read";
    return out;
  }
  const std::filesystem::path file = std::filesystem::weakly_canonical(folder / out.Name, ec);
  if (ec || !Inside(folder, file)) {
    out.Why = "the path leads out of the movie's folder";
    return out;
  }
  if (!std::filesystem::is_regular_file(file, ec)) {
    out.Result = LoadedFile::Outcome::Missing;
    out.Why = "no such file beside the movie";
    return out;
  }
  const auto size = std::filesystem::file_size(file, ec);
  if (ec || size > MaxBytes) {
    out.Why = ec ? "the file cannot be read" : "the file is larger than a movie may load";
    return out;
  }
  std::ifstream in(file, std::ios::binary);
  out.Bytes.resize(static_cast<std::size_t>(size));
  if (!in.read(out.Bytes.data(), static_cast<std::streamsize>(size))) {
    out.Result = LoadedFile::Outcome::Missing;
    out.Why = "the file cannot be read";
    out.Bytes.clear();
    return out;
  }
  out.Result = LoadedFile::Outcome::Read;
  return out;
}

} // namespace quenloft::swf
