// The settings of the program's one HTTP client, as the main window gives
// them to its client and as quenloft-cli gives them to its own: follow
// redirects, cookies on, no read time-out, the Accept / content type /
// user agent the program has always sent.
//
// Threads: call on the thread that owns the client, before it is used.
#pragma once

namespace quenloft {

class TIdHTTP;

void ApplyProgramClientSettings(TIdHTTP& HTTP);

} // namespace quenloft
