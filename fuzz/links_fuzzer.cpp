// Feeds arbitrary bytes as a page to the link extraction and as URLs to the
// URL helpers, and checks what must hold for every input: no crash, no hang,
// and results that keep their promises. Small pages are also run through
// the extraction rule written the plain way (deleting from the front), which
// the fast scanner must match exactly.
#include "scan/SWFLinks.h"
#include "scan/URLUtils.h"
#include "platform/kvuStrings.h"
#include "tests/support/ReferenceLinks.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace {

using namespace quenloft;

#define LINKS_CHECK(cond)                                                                                    \
  do {                                                                                                       \
    if (!(cond)) {                                                                                           \
      std::fprintf(stderr, "links_fuzzer: check failed: %s (line %d)\n", #cond, __LINE__);                   \
      std::abort();                                                                                          \
    }                                                                                                        \
  } while (0)

std::string Fold(std::string_view S)
{
  std::string folded(S);
  for (char& c : folded)
    c = AsciiLower(c);
  return folded;
}

void CheckExtraction(const std::string& Page)
{
  std::vector<std::string> list;
  CollectSWFLinks(Page, list);
  std::set<std::string> folded;
  for (const std::string& link : list) {
    LINKS_CHECK(link.size() >= 4 && link.compare(link.size() - 4, 4, ".swf") == 0);
    LINKS_CHECK(IsSWFLink(link));
    LINKS_CHECK(Page.find('"' + link) != std::string::npos);
    LINKS_CHECK(folded.insert(Fold(link)).second);
  }
  if (Page.size() <= 64 * 1024) {
    std::vector<std::string> plain;
    testing::ReferenceCollectSWFLinks(Page, plain);
    LINKS_CHECK(list == plain);
  }

  // The cursor only moves forward and stays inside the page.
  std::string_view cursor = Page;
  for (;;) {
    const std::size_t before = cursor.size();
    const std::string link = NextSWFLink(cursor);
    LINKS_CHECK(cursor.size() <= before);
    LINKS_CHECK(cursor.data() + cursor.size() == Page.data() + Page.size());
    if (link.empty())
      break;
    LINKS_CHECK(cursor.size() < before);
  }
}

void CheckURL(const std::string& URL)
{
  const std::string encoded = EncodeURL(URL);
  LINKS_CHECK(encoded.size() >= URL.size() && encoded.size() <= 3 * URL.size());
  for (char c : encoded) {
    const bool alnum = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
    LINKS_CHECK(alnum || std::string_view(".-_~/+:!$&'(),=@[]%?#").find(c) != std::string_view::npos);
  }

  const std::string prefixed = EnsureHttpPrefix(URL);
  LINKS_CHECK(StartsText(prefixed, "http://") || StartsText(prefixed, "https://"));
  LINKS_CHECK(prefixed.size() >= URL.size() &&
              prefixed.compare(prefixed.size() - URL.size(), URL.size(), URL) == 0);
  if (StartsText(URL, "http://") || StartsText(URL, "https://"))
    LINKS_CHECK(prefixed == URL);

  const std::string name = ExtractURLFileName(URL);
  LINKS_CHECK(name.find_first_of("/?#") == std::string::npos);
  LINKS_CHECK(URL.find(name) != std::string::npos);

  const std::string base = ExtractURLBase(URL);
  LINKS_CHECK(URL.compare(0, base.size(), base) == 0 || base == URL + "/");
  LINKS_CHECK(base.empty() || base.back() == '/');

  const std::string pageBase = "http://www.host.test/dir/";
  const std::string absolute = MakeAbsolute(pageBase, URL);
  if (StartsText(URL, "http:") || StartsText(URL, "https:"))
    LINKS_CHECK(absolute == URL);
  if (!URL.empty() && URL.find_first_of(":/?#") == std::string::npos && URL != "." && URL != "..")
    LINKS_CHECK(absolute == pageBase + URL);
  if (URL.find(':') == std::string::npos)
    LINKS_CHECK(StartsText(absolute, "http:"));

  // Part of the input as the base, the rest as the link.
  const std::size_t split = URL.empty() ? 0 : static_cast<unsigned char>(URL[0]) % (URL.size() + 1);
  const std::string ownBase = URL.substr(0, split);
  const std::string link = URL.substr(split);
  LINKS_CHECK(MakeAbsolute(ownBase, link).size() <= ownBase.size() + link.size() + 1);

  LINKS_CHECK(HasFileExt(URL + ".swf", ".SWF"));
  LINKS_CHECK(!HasFileExt(URL + ".swf\\x", ".swf"));
  const std::string sub = URL.substr(0, split % 4);
  const std::size_t at = LastPos(sub, URL);
  LINKS_CHECK(at == 0 || URL.compare(at - 1, sub.size(), sub) == 0);
  if (!sub.empty() && URL.find(sub) != std::string::npos)
    LINKS_CHECK(at > 0 && URL.find(sub, at - 1 + sub.size()) == std::string::npos);

  std::string cut = URL;
  TruncateFrom(cut, split);
  LINKS_CHECK(cut == (split >= 1 && split <= URL.size() ? URL.substr(0, split - 1) : URL));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size)
{
  const std::string input(reinterpret_cast<const char*>(Data), Size);
  CheckExtraction(input);
  CheckURL(input);
  return 0;
}
