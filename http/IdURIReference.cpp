#include "http/IdURIReference.h"

#include <algorithm>
#include <optional>

namespace quenloft {

namespace {

// The five components of a URI reference; a component that is absent
// differs from one that is present but empty (RFC 3986 section 5.2.1).
struct TURIParts {
  std::optional<std::string_view> Scheme;
  std::optional<std::string_view> Authority;
  std::string_view Path;
  std::optional<std::string_view> Query;
  std::optional<std::string_view> Fragment;
};

// scheme = ALPHA *( ALPHA / DIGIT / "+" / "-" / "." )   (RFC 3986 section 3.1)
bool IsScheme(std::string_view S)
{
  auto alpha = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); };
  if (S.empty() || !alpha(S[0]))
    return false;
  return std::all_of(S.begin(), S.end(), [&](char c) {
    return alpha(c) || (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
  });
}

// Splits a reference the way the regular expression of RFC 3986 appendix B
// does, except that a scheme must have the syntax of section 3.1: 'a b:c'
// is a relative path, not a reference with scheme "a b".
TURIParts SplitReference(std::string_view R)
{
  TURIParts parts;
  const std::size_t colon = R.find_first_of(":/?#");
  if (colon != std::string_view::npos && R[colon] == ':' && IsScheme(R.substr(0, colon))) {
    parts.Scheme = R.substr(0, colon);
    R.remove_prefix(colon + 1);
  }
  if (R.starts_with("//")) {
    R.remove_prefix(2);
    const std::size_t end = std::min(R.find_first_of("/?#"), R.size());
    parts.Authority = R.substr(0, end);
    R.remove_prefix(end);
  }
  const std::size_t hash = R.find('#');
  if (hash != std::string_view::npos) {
    parts.Fragment = R.substr(hash + 1);
    R = R.substr(0, hash);
  }
  const std::size_t query = R.find('?');
  if (query != std::string_view::npos) {
    parts.Query = R.substr(query + 1);
    R = R.substr(0, query);
  }
  parts.Path = R;
  return parts;
}

// RFC 3986 section 5.2.3.
std::string MergeWithBase(const TURIParts& Base, std::string_view RefPath)
{
  // If the base URI has a defined authority component and an empty path,
  // then return a string consisting of "/" concatenated with the
  // reference's path; otherwise,
  std::string merged;
  merged.reserve(Base.Path.size() + RefPath.size() + 1);
  if (Base.Authority && Base.Path.empty())
    return merged.append("/").append(RefPath);
  // return a string consisting of the reference's path component appended
  // to all but the last segment of the base URI's path (i.e., excluding any
  // characters after the right-most "/" in the base URI path, or excluding
  // the entire base URI path if it does not contain any "/" characters).
  const std::size_t slash = Base.Path.rfind('/');
  const std::size_t keep = slash == std::string_view::npos ? 0 : slash + 1;
  return merged.append(Base.Path.substr(0, keep)).append(RefPath);
}

} // namespace

// The buffer algorithm of RFC 3986 section 5.2.4. The input buffer is a view
// that moves forward; the output buffer only grows at its end or loses its
// last segment, so the whole run is linear in the path length.
std::string RemoveDotSegments(std::string_view In)
{
  // 1. The input buffer is initialized with the now-appended path
  //    components and the output buffer is initialized to the empty string.
  std::string out;
  out.reserve(In.size());
  auto removeLastSegment = [&out] {
    const std::size_t slash = out.rfind('/');
    out.resize(slash == std::string::npos ? 0 : slash);
  };
  // 2. While the input buffer is not empty, loop as follows:
  while (!In.empty()) {
    if (In.starts_with("../")) {
      // A. If the input buffer begins with a prefix of "../" or "./", then
      //    remove that prefix from the input buffer; otherwise,
      In.remove_prefix(3);
    } else if (In.starts_with("./")) {
      In.remove_prefix(2);
    } else if (In.starts_with("/./")) {
      // B. if the input buffer begins with a prefix of "/./" or "/.", where
      //    "." is a complete path segment, then replace that prefix with
      //    "/" in the input buffer; otherwise,
      In.remove_prefix(2);
    } else if (In == "/.") {
      In = "/";
    } else if (In.starts_with("/../")) {
      // C. if the input buffer begins with a prefix of "/../" or "/..",
      //    where ".." is a complete path segment, then replace that prefix
      //    with "/" in the input buffer and remove the last segment and its
      //    preceding "/" (if any) from the output buffer; otherwise,
      In.remove_prefix(3);
      removeLastSegment();
    } else if (In == "/..") {
      In = "/";
      removeLastSegment();
    } else if (In == "." || In == "..") {
      // D. if the input buffer consists only of "." or "..", then remove
      //    that from the input buffer; otherwise,
      In = {};
    } else {
      // E. move the first path segment in the input buffer to the end of
      //    the output buffer, including the initial "/" character (if any)
      //    and any subsequent characters up to, but not including, the next
      //    "/" character or the end of the input buffer.
      const std::size_t next = std::min(In.find('/', 1), In.size());
      out.append(In.substr(0, next));
      In.remove_prefix(next);
    }
  }
  // 3. Finally, the output buffer is returned as the result.
  return out;
}

std::string ResolveReference(std::string_view ABase, std::string_view AReference)
{
  const TURIParts R = SplitReference(AReference);
  const TURIParts B = SplitReference(ABase);

  // RFC 3986 section 5.2.2, transform references (strict parser).
  TURIParts T;
  std::string path;
  if (R.Scheme) {
    T.Scheme = R.Scheme;
    T.Authority = R.Authority;
    path = RemoveDotSegments(R.Path);
    T.Query = R.Query;
  } else {
    if (R.Authority) {
      T.Authority = R.Authority;
      path = RemoveDotSegments(R.Path);
      T.Query = R.Query;
    } else {
      if (R.Path.empty()) {
        path = B.Path;
        T.Query = R.Query ? R.Query : B.Query;
      } else {
        if (R.Path.starts_with('/'))
          path = RemoveDotSegments(R.Path);
        else
          path = RemoveDotSegments(MergeWithBase(B, R.Path));
        T.Query = R.Query;
      }
      T.Authority = B.Authority;
    }
    T.Scheme = B.Scheme;
  }
  T.Fragment = R.Fragment;

  // RFC 3986 section 5.3, component recomposition.
  std::string result;
  result.reserve(ABase.size() + AReference.size() + 1);
  if (T.Scheme)
    result.append(*T.Scheme).append(":");
  if (T.Authority)
    result.append("//").append(*T.Authority);
  result.append(path);
  if (T.Query)
    result.append("?").append(*T.Query);
  if (T.Fragment)
    result.append("#").append(*T.Fragment);
  return result;
}

} // namespace quenloft
