#include "scan/SWFLinks.h"

#include "scan/URLUtils.h"
#include "http/IdURIReference.h"
#include "platform/kvuStrings.h"

#include <algorithm>
#include <cstring>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace quenloft {

namespace {

constexpr std::string_view kSwfEnd = ".swf";

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

// A hash that two texts equal under SameText share. Eight bytes at a
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
      if (slot.Hash == hash && SameText(FList[slot.Position], Link))
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

// Whether Link begins with the scheme "http" or "https" (any case) and
// the ":" that ends a scheme.
bool NamesWebScheme(std::string_view Link)
{
  return StartsText(Link, "http:") || StartsText(Link, "https:");
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
  // A link that names its own web scheme is taken as the page wrote it.
  if (NamesWebScheme(Link))
    return Link;
  return ResolveReference(Base, Link);
}

} // namespace quenloft
