#include "http/RetryPolicy.h"

#include "http/IdException.h"
#include "http/IdWinsockErrors.h"

#include <algorithm>
#include <charconv>

namespace quenloft {

bool IsTransientFailure(const std::exception& AError)
{
  if (const auto* Reply = dynamic_cast<const EIdHTTPProtocolException*>(&AError)) {
    switch (Reply->ErrorCode()) {
    case 408:
    case 429:
    case 500:
    case 502:
    case 503:
    case 504: return true;
    default: return false;
    }
  }
  if (const auto* Socket = dynamic_cast<const EIdSocketError*>(&AError)) {
    switch (Socket->LastError()) {
    case Id_WSAECONNREFUSED:
    case Id_WSAECONNRESET:
    case Id_WSAECONNABORTED:
    case Id_WSAENETRESET:
    case Id_WSAETIMEDOUT: return true;
    default: return false;
    }
  }
  return dynamic_cast<const EIdConnClosedGracefully*>(&AError) != nullptr ||
         dynamic_cast<const EIdReadTimeout*>(&AError) != nullptr ||
         dynamic_cast<const EIdConnectTimeout*>(&AError) != nullptr;
}

std::chrono::milliseconds RetryWait(int ATriesMade, const std::string& ARetryAfter, TIdClockTime ANow)
{
  using std::chrono::milliseconds;
  const milliseconds Most = MaxRetryWait;
  const std::size_t First = ARetryAfter.find_first_not_of(" \t");
  const std::size_t Last = ARetryAfter.find_last_not_of(" \t");
  if (First != std::string::npos) {
    const std::string_view Value(ARetryAfter.data() + First, Last - First + 1);
    if (Value.find_first_not_of("0123456789") == std::string_view::npos) {
      std::uint64_t Seconds = 0;
      const auto [End, Error] = std::from_chars(Value.data(), Value.data() + Value.size(), Seconds);
      if (Error == std::errc::result_out_of_range ||
          Seconds >= static_cast<std::uint64_t>(MaxRetryWait.count()))
        return Most;
      if (Error == std::errc() && End == Value.data() + Value.size())
        return std::chrono::seconds(Seconds);
    } else if (const auto When = ParseHTTPDate(std::string(Value))) {
      if (*When <= ANow)
        return milliseconds(0);
      return std::min(std::chrono::duration_cast<milliseconds>(*When - ANow), Most);
    }
  }
  const int Doublings = std::clamp(ATriesMade - 1, 0, 6);
  return std::min(milliseconds(1000LL << Doublings), Most);
}

} // namespace quenloft
