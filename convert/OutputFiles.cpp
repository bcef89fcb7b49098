#include "convert/OutputFiles.h"

#include "convert/Options.h"
#include "platform/kvuFiles.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

namespace quenloft::convert {
namespace {

// rename() that refuses to replace an existing file.
bool MoveNoReplace(const std::string& From, const std::string& To)
{
  if (::renameat2(AT_FDCWD, From.c_str(), AT_FDCWD, To.c_str(), RENAME_NOREPLACE) == 0)
    return true;
  if (errno != EINVAL && errno != ENOSYS)
    return false;
  // A file system without the flag: a hard link fails on an existing name.
  if (::link(From.c_str(), To.c_str()) != 0)
    return false;
  ::unlink(From.c_str());
  return true;
}

std::string StemOf(const std::string& Path)
{
  const std::size_t slash = Path.rfind('/');
  const std::size_t dot = Path.rfind('.');
  return dot == std::string::npos || (slash != std::string::npos && dot < slash) ? Path : Path.substr(0, dot);
}

} // namespace

std::string BaseName(const std::string& Path)
{
  const std::size_t slash = Path.rfind('/');
  return slash == std::string::npos ? Path : Path.substr(slash + 1);
}

TOutputFiles::TOutputFiles(const std::string& Output, const std::vector<std::string>& Siblings)
{
  const std::string stem = StemOf(Output);
  const std::string ext = Output.substr(stem.size());
  // The numbered name of the first free one, checked for the siblings too.
  for (int n = 1; FFinal.empty(); ++n) {
    if (n > 10000)
      throw EConvertError("no free name for " + Output);
    const std::string candidate = n == 1 ? Output : stem + "(" + std::to_string(n) + ")" + ext;
    const std::string free = UniqueFileName(candidate);
    if (free != candidate)
      continue;
    std::vector<std::string> names{candidate};
    for (const std::string& sibling : Siblings)
      names.push_back(StemOf(candidate) + sibling);
    bool allFree = true;
    for (std::size_t i = 1; i < names.size(); ++i)
      allFree = allFree && !FileExists(names[i]);
    if (allFree)
      FFinal = names;
  }
  for (const std::string& name : FFinal)
    FTemporary.push_back(UniqueFileName(name + ".part"));
}

TOutputFiles::~TOutputFiles()
{
  if (!FCommitted)
    for (const std::string& name : FTemporary)
      std::remove(name.c_str());
}

void TOutputFiles::Commit()
{
  for (std::size_t k = FFinal.size(); k-- > 0;) {
    if (!MoveNoReplace(FTemporary[k], FFinal[k]))
      throw EConvertError("cannot name the output " + FFinal[k] + ": " + std::strerror(errno));
  }
  FCommitted = true;
}

} // namespace quenloft::convert
