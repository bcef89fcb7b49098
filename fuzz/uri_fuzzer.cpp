// Feeds arbitrary bytes to the URL splitter, the builder and the path
// merging, and checks what holds for every input: no crash, and fields that
// keep their promises (an absolute URL's path is "/".."/", a relative
// reference is its parts put back together, merged paths never hold "//").
#include "http/IdException.h"
#include "http/IdURI.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

using namespace quenloft;

#define URI_CHECK(cond)                                                                 \
  do {                                                                                  \
    if (!(cond)) {                                                                      \
      std::fprintf(stderr, "uri_fuzzer: check failed: %s (line %d)\n", #cond, __LINE__); \
      std::abort();                                                                     \
    }                                                                                   \
  } while (0)

void CheckMerge(const std::string& ABase, const std::string& ANew)
{
  const std::string merged = MergePaths(ABase, ANew);
  if (!ANew.empty() && ANew.front() == '/')
    URI_CHECK(merged == ANew);
  else
    URI_CHECK(merged.find("//") == std::string::npos);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size)
{
  const std::string text(reinterpret_cast<const char*>(Data), Size);
  const std::string normalized = TIdURI::PathNormalize(text);
  URI_CHECK(normalized.find('\\') == std::string::npos);

  TIdURI uri(text);
  URI_CHECK(uri.URI == normalized);
  if (normalized.find("://") != std::string::npos) {
    URI_CHECK(!uri.Path.empty() && uri.Path.front() == '/' && uri.Path.back() == '/');
  } else {
    const std::string rebuilt = uri.Path + uri.Document + uri.Params;
    URI_CHECK(rebuilt == normalized || rebuilt + "#" + uri.Bookmark == normalized);
  }

  for (const bool userInfo : {false, true})
    for (const bool bookmark : {false, true}) {
      try {
        const std::string full = uri.GetFullURI(userInfo, bookmark);
        URI_CHECK(full.compare(0, uri.Protocol.size() + 3, uri.Protocol + "://") == 0);
      } catch (const EIdURIException&) {
        URI_CHECK(uri.Protocol.empty() || uri.Host.empty());
      }
    }
  try {
    TIdURI copy = uri;
    copy.GetURI();
  } catch (const EIdURIException&) {
  }

  // The client merges each new URL's path into the current one.
  const std::size_t half = normalized.size() / 2;
  CheckMerge(normalized.substr(0, half), normalized.substr(half));
  CheckMerge("/dir/sub/", uri.Path);
  CheckMerge(uri.Path, normalized);
  return 0;
}
