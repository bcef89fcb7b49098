#include "scan/URLSWFParse.h"

#include "http/IdHTTP.h"
#include "http/IdTransferLease.h"
#include "platform/Classes.h"
#include "scan/SWFLinks.h"
#include "scan/URLUtils.h"
#include "platform/kvuStrings.h"

#include <cmath>
#include <optional>

namespace quenloft {
namespace {

// A memory stream that refuses to grow past a bound: the write that would
// pass it raises, which aborts the client's transfer there and then instead
// of after the whole body has arrived.
class TBoundedStream : public TMemoryStream {
public:
  explicit TBoundedStream(std::int64_t Limit) : FLimit(Limit) {}

  std::size_t Write(const void* Buffer, std::size_t Count) override
  {
    if (Position() + static_cast<std::int64_t>(Count) > FLimit)
      throw Exception("The page is larger than 64 MiB");
    return TMemoryStream::Write(Buffer, Count);
  }

private:
  std::int64_t FLimit;
};

} // namespace

void TURLSWFParser::FindLinks(std::vector<std::string>& List)
{
  FURL = EnsureHttpPrefix(FURL);
  // A typed movie address is the result as it stands, query and all.
  if (HasFileExt(ExtractURLFileName(FURL), ".swf")) {
    List.push_back(FURL);
    return;
  }
  const std::string base = ExtractURLBase(FURL);
  const std::string text = FetchPage(FURL);
  std::vector<std::string> raw;
  CollectSWFLinks(text, raw);
  for (const auto& link : raw)
    List.push_back(MakeAbsolute(base, link));
}

std::string TURLSWFParser::FetchPage(const std::string& URL)
{
  FLastError.clear();
  std::optional<TIdAbortSignal> never;
  if (!FAbort)
    never.emplace();
  std::string text;
  try {
    const TIdTransferLease lease(
        *FHTTP,
        {[this](TIdComponent& Sender, TWorkMode Mode, std::int32_t Max) { HTTPWorkBegin(Sender, Mode, Max); },
         [this](TIdComponent& Sender, TWorkMode Mode, std::int32_t Count) { HTTPWork(Sender, Mode, Count); }},
        FAbort ? *FAbort : *never);
    TBoundedStream body(MaxPageBytes);
    FHTTP->Get(EncodeURL(URL), body);
    text = body.TakeBytes();
  } catch (const std::exception& e) {
    // The scan reports nothing; the front end may read the reason.
    FLastError = e.what();
    if (FLastError.empty())
      FLastError = "the request failed";
    text.clear();
  }
  return text;
}

std::string TURLSWFParser::MakeAbsolute(const std::string& Base, const std::string& Link) const
{
  return quenloft::MakeAbsolute(Base, Link);
}

void TURLSWFParser::HTTPWorkBegin(TIdComponent&, TWorkMode, std::int32_t AWorkCountMax)
{
  FWorkMax = AWorkCountMax;
}

void TURLSWFParser::HTTPWork(TIdComponent&, TWorkMode, std::int32_t AWorkCount)
{
  if (FWorkMax <= 0)
    return;
  // nearbyint in the default rounding mode: halves go to the even neighbour.
  const auto percent =
      static_cast<std::int64_t>(std::nearbyint(static_cast<double>(AWorkCount) / FWorkMax * 100.0));
  if (percent != FLastPercent && OnLoadProgress) {
    FLastPercent = static_cast<std::int32_t>(percent);
    OnLoadProgress(static_cast<std::uint8_t>(percent));
  }
}

} // namespace quenloft
