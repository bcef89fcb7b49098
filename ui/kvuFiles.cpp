#include "ui/kvuFiles.h"

#include "platform/Classes.h"
#include "ui/kvuStrings.h"

#include <sys/stat.h>

namespace quenloft {

bool FileExists(const std::string& FileName)
{
  // lstat, not stat: a dangling link still blocks an exclusive create, so
  // its name must count as taken.
  struct stat info{};
  return !FileName.empty() && ::lstat(FileName.c_str(), &info) == 0;
}

std::string UniqueFileName(const std::string& Path)
{
  if (!FileExists(Path))
    return Path;
  const std::string dir = ExtractFilePath(Path);
  const std::string base = ExtractFileTitle(Path);
  const std::string ext = ExtractFileExt(Path);
  for (unsigned long long n = 2;; ++n) {
    std::string candidate = dir + base + "(" + std::to_string(n) + ")" + ext;
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
