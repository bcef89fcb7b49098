#include "scan/SWFLinks.h"

#include "scan/URLUtils.h"
#include "platform/kvuStrings.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace quenloft {

namespace {

constexpr std::string_view kSwfEnd = ".swf";

constexpr char FoldByte(char C)
{
  return C >= 'A' && C <= 'Z' ? static_cast<char>(C - 'A' + 'a') : C;
}

// The first ".swf" in [From, To), or null. Pages are large and most of
// their bytes are no link, so this search is where a scan spends its time.
const char* FindSwfEnd(const char* From, const char* To)
{
#if defined(__SSE2__)
  // Sixteen positions at a time: a position is a candidate when its byte is
  // "." and the byte three further on is "f"; candidates are then checked
  // for the "sw" between. Loads reach three bytes past the block, hence the
  // margin of 19.
  const __m128i dot = _mm_set1_epi8('.');
  const __m128i eff = _mm_set1_epi8('f');
  for (; To - From >= 19; From += 16) {
    const __m128i first = _mm_loadu_si128(reinterpret_cast<const __m128i*>(From));
    const __m128i last = _mm_loadu_si128(reinterpret_cast<const __m128i*>(From + 3));
    auto mask = static_cast<unsigned>(
        _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(first, dot), _mm_cmpeq_epi8(last, eff))));
    for (; mask != 0; mask &= mask - 1) {
      const char* at = From + __builtin_ctz(mask);
      if (at[1] == 's' && at[2] == 'w')
        return at;
    }
  }
#endif
  if (To - From < static_cast<std::ptrdiff_t>(kSwfEnd.size()))
    return nullptr;
  return static_cast<const char*>(
      memmem(From, static_cast<std::size_t>(To - From), kSwfEnd.data(), kSwfEnd.size()));
}

// Equality of texts that ignores ASCII letter case.
struct TFoldedEqual {
  bool operator()(std::string_view A, std::string_view B) const noexcept
  {
    if (A.size() != B.size())
      return false;
    for (std::size_t i = 0; i < A.size(); ++i)
      if (FoldByte(A[i]) != FoldByte(B[i]))
        return false;
    return true;
  }
};

// A hash that two texts equal under TFoldedEqual share. Eight bytes at a
// time: setting bit 5 of every byte maps both cases of a letter to one value
// (it also pairs a few other bytes, which only costs a compare).
std::uint64_t FoldedHash(std::string_view S) noexcept
{
  constexpr std::uint64_t kCaseBits = 0x2020202020202020ull;
  constexpr std::uint64_t kMul = 0x9E3779B97F4A7C15ull;
  std::uint64_t h = S.size() * kMul;
  auto mix = [&h](std::uint64_t Word) {
    h = (h ^ (Word | kCaseBits)) * kMul;
    h ^= h >> 29;
  };
  std::size_t i = 0;
  for (; i + 8 <= S.size(); i += 8) {
    std::uint64_t word;
    std::memcpy(&word, S.data() + i, 8);
    mix(word);
  }
  if (i < S.size()) {
    std::uint64_t word = 0;
    std::memcpy(&word, S.data() + i, S.size() - i);
    mix(word);
  }
  return h;
}

// The links of a list, found by their text with letter case ignored. Open
// addressing over (hash, position in the list): the table stays small and
// flat, and a link's text is read again only when its full hash matches,
// which in practice means it is a repeat.
class TLinkIndex {
public:
  explicit TLinkIndex(const std::vector<std::string>& List) : FList(List)
  {
    Grow(64);
    for (std::size_t i = 0; i < List.size(); ++i)
      Add(FoldedHash(List[i]), i);
  }

  // Whether Link is new; if so, the caller appends it to the list next.
  bool AddIfNew(std::string_view Link)
  {
    const std::uint64_t hash = FoldedHash(Link);
    for (std::size_t at = hash & FMask;; at = (at + 1) & FMask) {
      const TSlot& slot = FSlots[at];
      if (slot.Position == kEmpty)
        break;
      if (slot.Hash == hash && TFoldedEqual{}(FList[slot.Position], Link))
        return false;
    }
    Add(hash, FList.size());
    return true;
  }

private:
  static constexpr std::size_t kEmpty = SIZE_MAX;
  struct TSlot {
    std::uint64_t Hash = 0;
    std::size_t Position = kEmpty;
  };

  void Add(std::uint64_t Hash, std::size_t Position)
  {
    if ((FCount + 1) * 2 > FSlots.size())
      Grow(FSlots.size() * 2);
    Place({Hash, Position});
    ++FCount;
  }
  void Place(TSlot Slot)
  {
    std::size_t at = Slot.Hash & FMask;
    while (FSlots[at].Position != kEmpty)
      at = (at + 1) & FMask;
    FSlots[at] = Slot;
  }
  void Grow(std::size_t Size)
  {
    std::vector<TSlot> old(Size);
    old.swap(FSlots);
    FMask = Size - 1;
    for (const TSlot& slot : old)
      if (slot.Position != kEmpty)
        Place(slot);
  }

  const std::vector<std::string>& FList;
  std::vector<TSlot> FSlots;
  std::size_t FMask = 0;
  std::size_t FCount = 0;
};

// ---- Reference resolution, RFC 3986 section 5.2 ----

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
  for (char c : S)
    if (!alpha(c) && !(c >= '0' && c <= '9') && c != '+' && c != '-' && c != '.')
      return false;
  return true;
}

// Splits a reference the way the regular expression of RFC 3986 appendix B
// does, except that a scheme must have the syntax of section 3.1 (strict
// parsing): 'a b:c' is a relative path, not a reference with scheme "a b".
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

// RFC 3986 section 5.2.4, the buffer algorithm. The input buffer is a view
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

// RFC 3986 section 5.2.3.
std::string MergePaths(const TURIParts& Base, std::string_view RefPath)
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

bool IsHttpScheme(const std::optional<std::string_view>& Scheme)
{
  return Scheme && (TFoldedEqual{}(*Scheme, "http") || TFoldedEqual{}(*Scheme, "https"));
}

// NextSWFLink without the copy: the link as a view into the page.
std::string_view NextLinkView(std::string_view& Text)
{
  // Set once a search for a closing quote has run to the end of the page:
  // no later candidate can close either, and searching again for each one
  // would make a quote-less tail quadratic.
  bool noQuoteLeft = false;
  for (;;) {
    // 1. The first ".swf" of the unexamined text (case-sensitive).
    const char* hit = FindSwfEnd(Text.data(), Text.data() + Text.size());
    if (hit == nullptr)
      return {};
    const std::size_t end = static_cast<std::size_t>(hit - Text.data()) + kSwfEnd.size();
    // 2. Followed by a byte other than a double quote or "?": not a link
    //    end ('swfobject.js'). Consume through the "f" and look again.
    if (end < Text.size() && Text[end] != '"' && Text[end] != '?') {
      Text.remove_prefix(end);
      continue;
    }
    // 3. The candidate runs from the cursor through the "f" and is consumed.
    const std::string_view candidate = Text.substr(0, end);
    Text.remove_prefix(end);
    // 4. The opening quote is the last one in the candidate, so the
    //    backwards search never passes what earlier steps consumed; the
    //    closing quote is the first one after the ".swf".
    const std::size_t before = end - kSwfEnd.size();
    const void* open = before > 0 ? memrchr(candidate.data(), '"', before) : nullptr;
    // 6. Without both quotes the candidate is dropped.
    if (open == nullptr || noQuoteLeft)
      continue;
    const void* close = Text.empty() ? nullptr : memchr(Text.data(), '"', Text.size());
    if (close == nullptr) {
      noQuoteLeft = true;
      continue;
    }
    // 5. The link lies between the quotes; the text through the closing
    //    quote goes, together with any query string after the ".swf".
    const std::size_t from = static_cast<std::size_t>(static_cast<const char*>(open) - candidate.data()) + 1;
    Text.remove_prefix(static_cast<std::size_t>(static_cast<const char*>(close) - Text.data()) + 1);
    return candidate.substr(from);
  }
}

} // namespace

std::string NextSWFLink(std::string_view& Text)
{
  return std::string(NextLinkView(Text));
}

bool IsSWFLink(std::string_view Link)
{
  return HasFileExt(ExtractURLFileName(Link), kSwfEnd);
}

void CollectSWFLinks(std::string_view Text, std::vector<std::string>& List)
{
  // The list keeps the first occurrence's case and the page order; a
  // repeated link costs a hash and one compare, and no allocation.
  TLinkIndex seen(List);
  for (std::string_view link = NextLinkView(Text); !link.empty(); link = NextLinkView(Text))
    if (IsSWFLink(link) && seen.AddIfNew(link))
      List.emplace_back(link);
}

std::string MakeAbsolute(const std::string& Base, const std::string& Link)
{
  const TURIParts R = SplitReference(Link);
  // A link that names its own web scheme is taken as the page wrote it.
  if (IsHttpScheme(R.Scheme))
    return Link;

  // RFC 3986 section 5.2.2, transform references (strict parser).
  const TURIParts B = SplitReference(Base);
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
          path = RemoveDotSegments(MergePaths(B, R.Path));
        T.Query = R.Query;
      }
      T.Authority = B.Authority;
    }
    T.Scheme = B.Scheme;
  }
  T.Fragment = R.Fragment;

  // RFC 3986 section 5.3, component recomposition.
  std::string result;
  result.reserve(Base.size() + Link.size() + 1);
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
