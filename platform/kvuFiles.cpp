#include "platform/kvuFiles.h"

#include "platform/Classes.h"
#include "platform/kvuStrings.h"

#include <sys/stat.h>

namespace quenloft {

bool FileExists(const std::string& FileName)
{
  // lstat, not stat: a dangling link still blocks an exclusive create, so
  // its name must count as taken.
  struct stat info {};
  return !FileName.empty() && ::lstat(FileName.c_str(), &info) == 0;
}

namespace {

// The longest name a folder entry may have on the file systems we write to.
constexpr std::size_t MaxNameBytes = 255;

// Stem cut to at most Room bytes, never inside a UTF-8 character.
std::string CutStem(const std::string& Stem, std::size_t Room)
{
  if (Stem.size() <= Room)
    return Stem;
  std::string cut = Stem.substr(0, Room);
  std::size_t start = cut.size();
  while (start > 0 && (static_cast<unsigned char>(cut[start - 1]) & 0xC0) == 0x80)
    --start;
  if (start > 0) {
    const auto lead = static_cast<unsigned char>(cut[start - 1]);
    const std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    if (cut.size() - (start - 1) < length)
      cut.resize(start - 1);
  }
  return cut;
}

} // namespace

std::string UniqueFileName(const std::string& Path)
{
  if (!FileExists(Path))
    return Path;
  const std::string dir = ExtractFilePath(Path);
  const std::string base = ExtractFileTitle(Path);
  const std::string ext = ExtractFileExt(Path);
  // What of Dir belongs to the folder entry's name (the part after a ":").
  const std::size_t slash = dir.rfind('/');
  const std::size_t prefix = slash == std::string::npos ? dir.size() : dir.size() - slash - 1;
  for (unsigned long long n = 2;; ++n) {
    // A name that just fitted must still have room for its number: the
    // stem gives way, so a copy can be made all the same.
    std::string number = "(";
    number += std::to_string(n);
    number += ')';
    const std::size_t fixed = prefix + number.size() + ext.size();
    const std::string stem = CutStem(base, fixed < MaxNameBytes ? MaxNameBytes - fixed : 0);
    std::string candidate = dir + stem + number + ext;
    if (!FileExists(candidate))
      return candidate;
  }
}

std::int64_t FileSizeOf(const std::string& FileName)
{
  TFileStream file(FileName, fmOpenRead | fmShareExclusive);
  return file.Seek(0, TSeekOrigin::soEnd);
}

} // namespace quenloft
