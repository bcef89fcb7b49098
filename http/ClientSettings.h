// The settings of the program's one HTTP client, as the main window gives
// them to its client and as quenloft-cli gives them to its own: follow
// redirects, cookies on, the environment's proxies, a 30 s connect and a
// 60 s idle time-out, the Accept / content type / user agent the program
// has always sent.
//
// Threads: call on the thread that owns the client, before it is used.
#pragma once

namespace quenloft {

class TIdHTTP;

inline constexpr int DefaultConnectTimeoutMs = 30000;
inline constexpr int DefaultReadTimeoutMs = 60000;

void ApplyProgramClientSettings(TIdHTTP& HTTP);

} // namespace quenloft
