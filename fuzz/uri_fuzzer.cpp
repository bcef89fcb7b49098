// Feeds arbitrary bytes to the URL splitter, the builder, the address check,
// the encoder and the path merging, and checks what holds for every input:
// no crash, and fields that keep their promises (behind an authority the
// path is "/".."/", every reference is its parts put back together, encoded
// text holds no blank or control byte, merged paths never hold "//").
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
  std::string rest = normalized;
  if (!uri.Protocol.empty())
    rest.erase(0, uri.Protocol.size() + 1);
  if (rest.starts_with("//")) {
    URI_CHECK(!uri.Path.empty() && uri.Path.front() == '/' && uri.Path.back() == '/');
    URI_CHECK(uri.Host.find_first_of("/?#") == std::string::npos);
  } else {
    URI_CHECK(uri.Host.empty() && uri.Username.empty());
    const std::string rebuilt = uri.Path + uri.Document + uri.Params;
    URI_CHECK(rebuilt == rest || rebuilt + "#" + uri.Bookmark == rest);
  }
  URI_CHECK(uri.Params.empty() || uri.Params.front() == '?');
  URI_CHECK((uri.Path + uri.Document + uri.Params).find('#') == std::string::npos);

  // What the client puts on the wire holds no blank and no control byte.
  if (AddressProblem(uri).empty()) {
    for (const char c : uri.Host + PercentEncode(uri.Path + uri.Document) + PercentEncode(uri.Params, "?"))
      URI_CHECK(static_cast<unsigned char>(c) > 0x20 && static_cast<unsigned char>(c) < 0x7F);
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
