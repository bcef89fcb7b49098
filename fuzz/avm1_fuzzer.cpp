// Fuzzes the script machine with arbitrary action bytes: the first byte picks
// the SWF version, the rest is one action block. Decoding must end cleanly
// on any input, and running it must end (a small action budget stands in for
// the player's) without crashing, however the block jumps, recurses, throws
// or grows strings and arrays. The heap is collected afterwards.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "swf/avm1/Decoder.h"
#include "swf/avm1/Machine.h"

namespace {

class QuietHost final : public quenloft::swf::avm1::Host {
public:
  void Trace(std::string_view) override {}
  void Log(std::string_view) override {}
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size)
{
  using namespace quenloft::swf::avm1;
  if (Size == 0)
    return 0;
  const int version = 4 + Data[0] % 7;
  QuietHost host;
  Machine machine(version, host);
  machine.SetBlockBudget(200'000);
  const auto block = Decode(std::span(Data + 1, Size - 1), machine.Atoms(), version);
  if (block->Actions.empty())
    __builtin_trap(); // the end of the block is always an action
  RunContext context;
  machine.RunBlock(block, context);
  machine.Collect();
  // Again, over what the first run left behind.
  machine.RunBlock(block, context);
  machine.Collect();
  return 0;
}
