// Which failed requests are worth another try, and how long to wait first.
// Only what is likely to pass by itself is tried again: a refused or reset
// connection, a time-out, a server that closed before its answer was whole,
// and the answers 408, 429, 500, 502, 503 and 504. Other 4xx answers, TLS
// failures, names that do not resolve and addresses that cannot be read
// are final.
//
// Threads: pure functions; call from any thread.
#pragma once

#include "http/IdCookie.h"

#include <chrono>
#include <exception>
#include <string>

namespace quenloft {

// Tries after the first when nothing else is set (so three in all).
inline constexpr int DefaultRetries = 2;
// The longest wait between two tries, whatever the server asks.
inline constexpr std::chrono::seconds MaxRetryWait{60};

bool IsTransientFailure(const std::exception& AError);

// The wait before the next try, after ATriesMade tries (1 for the first
// failure): what ARetryAfter says (delay-seconds or an HTTP date, RFC 9110
// 10.2.3, measured from ANow), else 1 s, 2 s, 4 s and so on; at most
// MaxRetryWait, never negative.
std::chrono::milliseconds RetryWait(int ATriesMade, const std::string& ARetryAfter, TIdClockTime ANow);

} // namespace quenloft
