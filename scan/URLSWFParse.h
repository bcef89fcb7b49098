// TURLSWFParser: turns the typed address into the list of movie URLs. An
// address that names a ".swf" file is the whole result; otherwise the page
// is fetched once with the shared client (progress reported through
// OnLoadProgress) and its ".swf" links are made absolute, in page order.
//
// A fetch failure is not raised: FindLinks returns with nothing appended, and
// LastError() holds the reason for a front end that wants to say it. The page
// is held in memory, so it is bounded: a body past MaxPageBytes fails the
// fetch as soon as the bound is passed.
//
// Threads: everything runs on the caller's thread (the coordinator's scan
// job, TScanJob), OnLoadProgress too, from inside the fetch. The client is
// held through a transfer lease while FetchPage runs; FAbort, when given,
// may be raised from any thread to end the fetch at once.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "http/IdAbortSignal.h"
#include "http/IdComponent.h"

namespace quenloft {

class TIdHTTP;

class TURLSWFParser {
public:
  // The largest page body that is scanned.
  static constexpr std::int64_t MaxPageBytes = 64ll * 1024 * 1024;

  std::int32_t FWorkMax = 0;
  std::int32_t FLastPercent = 0;
  TIdHTTP* FHTTP = nullptr;               // not owned
  const TIdAbortSignal* FAbort = nullptr; // not owned; nullptr: no stop
  std::string FURL;                       // as typed; gets its "http://" when the scan starts
  std::function<void(std::uint8_t Percent)> OnLoadProgress;

  // Appends the absolute movie URLs to List.
  void FindLinks(std::vector<std::string>& List);
  // The body of URL, or "" on any failure (the reason goes to LastError).
  std::string FetchPage(const std::string& URL);
  std::string MakeAbsolute(const std::string& Base, const std::string& Link) const;
  void HTTPWorkBegin(TIdComponent& Sender, TWorkMode AWorkMode, std::int32_t AWorkCountMax);
  void HTTPWork(TIdComponent& Sender, TWorkMode AWorkMode, std::int32_t AWorkCount);

  // Why the last fetch failed; "" when it did not.
  const std::string& LastError() const { return FLastError; }

private:
  std::string FLastError;
};

} // namespace quenloft
