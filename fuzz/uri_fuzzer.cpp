// Feeds arbitrary bytes to the URL splitter, the builder, the address check,
// the encoder and the reference resolver, and checks what holds for every
// input: no crash, and fields that keep their promises (behind an authority
// the path is "/".."/", every reference is its parts put back together,
// encoded text holds no blank or control byte, a resolved path holds no dot
// segment).
#include "http/IdException.h"
#include "http/IdURI.h"
#include "http/IdURIReference.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <algorithm>

namespace {

using namespace quenloft;

#define URI_CHECK(cond)                                                                                      \
  do {                                                                                                       \
    if (!(cond)) {                                                                                           \
      std::fprintf(stderr, "uri_fuzzer: check failed: %s (line %d)\n", #cond, __LINE__);                     \
      std::abort();                                                                                          \
    }                                                                                                        \
  } while (0)

// Whether APath holds a complete "." or ".." segment.
bool HasDotSegment(std::string_view APath)
{
  for (std::size_t from = 0; from <= APath.size();) {
    const std::size_t end = std::min(APath.find('/', from), APath.size());
    const std::string_view segment = APath.substr(from, end - from);
    if (segment == "." || segment == "..")
      return true;
    from = end + 1;
  }
  return false;
}

void CheckResolve(const std::string& ABase, const std::string& ANew)
{
  // A reference with a path of its own gives a path free of dot segments
  // (one without takes the base's as it is), and resolving with an empty
  // reference changes nothing but the fragment.
  const std::string target = ResolveReference("http://h/" + ABase, ANew);
  constexpr std::size_t pathStart = std::string_view("http://h").size();
  const bool ownPath = !ANew.empty() && ANew.front() != '?' && ANew.front() != '#';
  if (ownPath && target.starts_with("http://h/")) {
    const std::string_view path =
        std::string_view(target).substr(pathStart, target.find_first_of("?#", pathStart) - pathStart);
    URI_CHECK(!HasDotSegment(path));
    URI_CHECK(RemoveDotSegments(path) == path);
  }
  URI_CHECK(ResolveReference(target, "") == target.substr(0, target.find('#')));
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

  // Each new address resolves against the current one.
  const std::size_t half = normalized.size() / 2;
  CheckResolve(normalized.substr(0, half), normalized.substr(half));
  CheckResolve("dir/sub/", uri.Path);
  CheckResolve(uri.Path, normalized);
  return 0;
}
