// Arbitrary bytes as a server's answer: through the response head reader,
// the redirect and status handling and the body framing of the HTTP
// client, over an in-memory transport (no sockets). The first byte picks
// how the answer is cut into receives; the rest is what every connection
// the client opens answers with.
#include "http/IdHTTP.h"
#include "tests/support/MemoryServer.h"

#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size)
{
  using namespace quenloft;
  if (Size == 0)
    return 0;
  testing::MemoryServer Server;
  if (Data[0] & 1)
    Server.SplitRandomly(Data[0], 1 + (Data[0] >> 1));
  const std::string Answer(reinterpret_cast<const char*>(Data + 1), Size - 1);
  // Enough connections for a whole redirect chain, each with two replies.
  for (int I = 0; I < 16; ++I)
    Server.Answers.push_back({Answer, Answer});

  testing::MemoryHTTP Client(Server);
  Client.HandleRedirects = true;
  TMemoryStream Body;
  try {
    Client.Get("http://fuzz.example/dir/page.html", Body);
    // A second request over whatever connection state the first one left.
    Client.Get("http://fuzz.example/next.swf");
  } catch (const Exception&) {
    // Every failure of a bad answer is an exception of ours.
  }
  return 0;
}
