// Link extraction over a large page. The goal: CollectSWFLinks runs at no
// less than 0.6 of the speed of a bare search for ".swf" (BM_FindScan,
// the floor any scanner has to pay), so a scan stays linear and close to
// memory speed however big the page is.
#include "scan/SWFLinks.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace quenloft {
namespace {

constexpr std::size_t kPageSize = 64u << 20;
// Filler bytes before each link; with the markup around the links this
// gives about 100,000 of them.
constexpr std::size_t kFillerPerLink = 570;

std::string ClipName(int N)
{
  char name[32];
  std::snprintf(name, sizeof name, "clip%05d.swf", N);
  return name;
}

std::string SwapCase(std::string S)
{
  for (char& c : S) {
    if (c >= 'a' && c <= 'z')
      c = static_cast<char>(c - 'a' + 'A');
    else if (c >= 'A' && c <= 'Z')
      c = static_cast<char>(c - 'A' + 'a');
  }
  return S;
}

// A 64 MiB page of text and markup with about 100,000 quoted links:
// relative, absolute and with a query, a third of them repeating an earlier
// link in another letter case; script names with ".swf" in them that end no
// link are sprinkled in between. Built once.
const std::string& BigPage()
{
  static const std::string page = [] {
    std::mt19937 rng(4711);
    const std::vector<std::string> filler = {
        "<p class=\"text\">Lorem ipsum dolor sit amet, consectetur adipiscing elit. ",
        "Sed do eiusmod tempor incididunt ut labore et dolore magna aliqua.</p>\n",
        "<div id=\"nav\"><a href=\"index.html\">Home</a> | <a href=\"about.html\">About</a></div>\n",
        "<img src=\"images/banner.png\" alt=\"A banner, 468x60.\" width=\"468\">\n",
        "Ut enim ad minim veniam, quis nostrud exercitation ullamco laboris. ",
        "<span style=\"color: #336699\">Duis aute irure dolor in reprehenderit.</span>\n",
        "<script src=\"js/swfobject.js\"></script>\n",
        "<script type=\"text/javascript\" src=\"lib/jquery.swfobject.js\"></script>\n",
        "<!-- swfobject.embedSWF(so, 'flash', '100%') uses the .swfobject loader -->\n",
    };
    std::vector<std::string> links;
    std::string text;
    text.reserve(kPageSize + 4096);
    int made = 0;
    while (text.size() < kPageSize) {
      const std::size_t slotEnd = text.size() + kFillerPerLink;
      while (text.size() < slotEnd)
        text += filler[rng() % filler.size()];
      if (!links.empty() && rng() % 3 == 0) {
        // A repeat of an earlier link in another letter case.
        text += "<embed src=\"" + SwapCase(links[rng() % links.size()]) + "\">\n";
        continue;
      }
      std::string link;
      switch (made % 3) {
      case 0: link = "movies/" + ClipName(made); break;
      case 1: link = "http://cdn.example.test/media/" + ClipName(made); break;
      default: link = "games/" + ClipName(made); break;
      }
      ++made;
      links.push_back(link);
      if (made % 3 == 2)
        text += "<param name=\"movie\" value=\"" + link + "?v=1\">\n";
      else
        text += "<embed src=\"" + link + "\" width=\"550\" height=\"400\">\n";
    }
    return text;
  }();
  return page;
}

void BM_CollectSWFLinks(benchmark::State& State)
{
  const std::string& page = BigPage();
  std::size_t found = 0;
  for (auto _ : State) {
    std::vector<std::string> list;
    CollectSWFLinks(page, list);
    found = list.size();
    benchmark::DoNotOptimize(list.data());
  }
  State.SetBytesProcessed(static_cast<std::int64_t>(State.iterations()) *
                          static_cast<std::int64_t>(page.size()));
  State.counters["links"] = static_cast<double>(found);
}
BENCHMARK(BM_CollectSWFLinks)->Unit(benchmark::kMillisecond);

void BM_FindScan(benchmark::State& State)
{
  const std::string_view page = BigPage();
  std::size_t count = 0;
  for (auto _ : State) {
    count = 0;
    for (std::size_t at = page.find(".swf"); at != std::string_view::npos; at = page.find(".swf", at + 4))
      ++count;
    benchmark::DoNotOptimize(count);
  }
  State.SetBytesProcessed(static_cast<std::int64_t>(State.iterations()) *
                          static_cast<std::int64_t>(page.size()));
  State.counters["swf"] = static_cast<double>(count);
}
BENCHMARK(BM_FindScan)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace quenloft
