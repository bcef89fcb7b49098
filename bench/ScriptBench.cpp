// The script machine's speed and memory. The loop below (a million
// iterations of `s += f(i) * 2`, as a compiler writes it inside a
// function) runs 18 actions an iteration; the goal is 25 million actions a
// second on one core in a Release build. The object case makes 100,000
// objects of five properties, reads them back and drops them: the heap
// must come back to where it started once collected.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "swf/avm1/Decoder.h"
#include "swf/avm1/Machine.h"

#include <sys/resource.h>

namespace quenloft {
namespace {

using namespace swf::avm1;

class QuietHost final : public Host {
public:
  void Trace(std::string_view Line) override { Last = Line; }
  void Log(std::string_view Message) override { Note = Message; }
  std::string Last;
  std::string Note;
};

// A small assembler for action bytes.
class Code {
public:
  Code& Op(std::uint8_t C)
  {
    Bytes.push_back(C);
    return *this;
  }
  Code& Op(std::uint8_t C, const std::vector<std::uint8_t>& Data)
  {
    Bytes.push_back(C);
    Bytes.push_back(static_cast<std::uint8_t>(Data.size()));
    Bytes.push_back(static_cast<std::uint8_t>(Data.size() >> 8));
    Bytes.insert(Bytes.end(), Data.begin(), Data.end());
    return *this;
  }
  Code& Int(std::int32_t V)
  {
    std::vector<std::uint8_t> d{7};
    for (int i = 0; i < 4; ++i)
      d.push_back(static_cast<std::uint8_t>(static_cast<std::uint32_t>(V) >> (8 * i)));
    return Op(0x96, d);
  }
  Code& Str(const std::string& S)
  {
    std::vector<std::uint8_t> d{0};
    d.insert(d.end(), S.begin(), S.end());
    d.push_back(0);
    return Op(0x96, d);
  }
  Code& Reg(std::uint8_t R) { return Op(0x96, {4, R}); }
  // One Push of several values, as compilers write them: registers (R),
  // integers (I) and strings (S).
  struct Item {
    char Kind;
    std::int32_t N;
    std::string S;
  };
  Code& Push(const std::vector<Item>& Items)
  {
    std::vector<std::uint8_t> d;
    for (const Item& i : Items) {
      if (i.Kind == 'R') {
        d.push_back(4);
        d.push_back(static_cast<std::uint8_t>(i.N));
      } else if (i.Kind == 'I') {
        d.push_back(7);
        for (int k = 0; k < 4; ++k)
          d.push_back(static_cast<std::uint8_t>(static_cast<std::uint32_t>(i.N) >> (8 * k)));
      } else {
        d.push_back(0);
        d.insert(d.end(), i.S.begin(), i.S.end());
        d.push_back(0);
      }
    }
    return Op(0x96, d);
  }
  Code& Store(std::uint8_t R) { return Op(0x87, {R}); }
  Code& Branch(std::uint8_t C, std::int16_t Offset)
  {
    const auto u = static_cast<std::uint16_t>(Offset);
    return Op(C, {static_cast<std::uint8_t>(u), static_cast<std::uint8_t>(u >> 8)});
  }
  // DefineFunction2 Name(one parameter in register 1), registers, flags
  // suppressing this, arguments and super; the body follows.
  Code& Function(const std::string& Name, std::uint8_t Registers, std::uint16_t BodySize, bool Param)
  {
    std::vector<std::uint8_t> d(Name.begin(), Name.end());
    d.push_back(0);
    d.push_back(Param ? 1 : 0);
    d.push_back(0);
    d.push_back(Registers);
    d.push_back(0x2A); // suppress this, arguments, super
    d.push_back(0);
    if (Param) {
      d.push_back(1);
      d.push_back('x');
      d.push_back(0);
    }
    d.push_back(static_cast<std::uint8_t>(BodySize));
    d.push_back(static_cast<std::uint8_t>(BodySize >> 8));
    return Op(0x8E, d);
  }
  std::vector<std::uint8_t> Bytes;
};

// function f(x) { return x; }
// function run() { var s = 0; for (var i = 0; i < N; i++) s += f(i) * 2; trace(s); }
// run();
std::vector<std::uint8_t> LoopProgram(std::int32_t N)
{
  Code f;
  f.Reg(1).Op(0x3E);
  Code head;
  head.Int(0).Store(1).Op(0x17).Int(0).Store(2).Op(0x17);
  Code test; // i < N, else leave
  test.Push({{'R', 2, {}}, {'I', N, {}}}).Op(0x48).Op(0x12);
  Code body;
  body.Push({{'R', 1, {}}, {'R', 2, {}}, {'I', 1, {}}, {'S', 0, "f"}}).Op(0x3D).Int(2).Op(0x0C).Op(0x47);
  body.Store(1).Op(0x17);
  body.Reg(2).Op(0x50).Store(2).Op(0x17);
  Code tail;
  tail.Reg(1).Op(0x26);
  // If (5 bytes) jumps over the body and the back jump (5 bytes).
  Code loop = test;
  loop.Branch(0x9D, static_cast<std::int16_t>(body.Bytes.size() + 5));
  loop.Bytes.insert(loop.Bytes.end(), body.Bytes.begin(), body.Bytes.end());
  const auto back = -static_cast<std::int16_t>(loop.Bytes.size() + 5);
  loop.Branch(0x99, back);
  Code run;
  run.Bytes = head.Bytes;
  run.Bytes.insert(run.Bytes.end(), loop.Bytes.begin(), loop.Bytes.end());
  run.Bytes.insert(run.Bytes.end(), tail.Bytes.begin(), tail.Bytes.end());
  Code program;
  program.Function("f", 2, static_cast<std::uint16_t>(f.Bytes.size()), true);
  program.Bytes.insert(program.Bytes.end(), f.Bytes.begin(), f.Bytes.end());
  program.Function("run", 3, static_cast<std::uint16_t>(run.Bytes.size()), false);
  program.Bytes.insert(program.Bytes.end(), run.Bytes.begin(), run.Bytes.end());
  program.Int(0).Str("run").Op(0x3D).Op(0x17).Op(0x00);
  return program.Bytes;
}

void ScriptLoop(benchmark::State& State)
{
  constexpr std::int32_t Iterations = 1'000'000;
  constexpr double ActionsPerIteration = 18;
  QuietHost host;
  Machine machine(8, host);
  const auto block = Decode(LoopProgram(Iterations), machine.Atoms(), 8);
  for (auto _ : State) {
    machine.RunBlock(block, RunContext{});
    machine.Collect();
  }
  // s = sum of 2i for i < N.
  if (host.Last != "999999000000")
    State.SkipWithError(("the loop computed \"" + host.Last + "\" " + host.Note).c_str());
  State.counters["actions/s"] = benchmark::Counter(Iterations * ActionsPerIteration * State.iterations(),
                                                   benchmark::Counter::kIsRate);
}
BENCHMARK(ScriptLoop)->Unit(benchmark::kMillisecond);

// for (i = 0; i < 100000; i++) a[i] = {p0: i, p1: i, p2: i, p3: i, p4: i};
// then the sum of every a[i].p4; then a = null.
std::vector<std::uint8_t> ObjectProgram(std::int32_t N)
{
  Code c;
  c.Str("a").Int(0).Str("Array").Op(0x40).Op(0x1D); // a = new Array()
  c.Int(0).Store(1).Op(0x17);                       // r1 = 0
  Code make;
  make.Str("a").Op(0x1C).Reg(1);                    // a, i
  for (int p = 0; p < 5; ++p)
    make.Str("p" + std::to_string(p)).Reg(1);
  make.Int(5).Op(0x43).Op(0x4F);                    // a[i] = {...}
  make.Reg(1).Op(0x50).Store(1).Op(0x17);
  Code test;
  test.Reg(1).Int(N).Op(0x48).Op(0x12);
  Code loop = test;
  loop.Branch(0x9D, static_cast<std::int16_t>(make.Bytes.size() + 5));
  loop.Bytes.insert(loop.Bytes.end(), make.Bytes.begin(), make.Bytes.end());
  loop.Branch(0x99, -static_cast<std::int16_t>(loop.Bytes.size() + 5));
  c.Bytes.insert(c.Bytes.end(), loop.Bytes.begin(), loop.Bytes.end());
  // Read back: r2 = 0; for (r1 = 0; r1 < N; r1++) r2 += a[r1].p4
  c.Int(0).Store(2).Op(0x17).Int(0).Store(1).Op(0x17);
  Code read;
  read.Reg(2).Str("a").Op(0x1C).Reg(1).Op(0x4E).Str("p4").Op(0x4E).Op(0x47).Store(2).Op(0x17);
  read.Reg(1).Op(0x50).Store(1).Op(0x17);
  Code loop2 = test;
  loop2.Branch(0x9D, static_cast<std::int16_t>(read.Bytes.size() + 5));
  loop2.Bytes.insert(loop2.Bytes.end(), read.Bytes.begin(), read.Bytes.end());
  loop2.Branch(0x99, -static_cast<std::int16_t>(loop2.Bytes.size() + 5));
  c.Bytes.insert(c.Bytes.end(), loop2.Bytes.begin(), loop2.Bytes.end());
  c.Reg(2).Op(0x26);
  c.Str("a").Op(0x96, {2}).Op(0x1D); // a = null
  c.Op(0x00);
  return c.Bytes;
}

long PeakKiB()
{
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

void ScriptObjects(benchmark::State& State)
{
  constexpr std::int32_t Objects = 100'000;
  QuietHost host;
  Machine machine(8, host);
  // The constant names exist from the decoding on; the heap's start is
  // measured after it.
  const auto block = Decode(ObjectProgram(Objects), machine.Atoms(), 8);
  machine.Collect();
  const std::size_t startCells = machine.Heap().LiveCells();
  const std::size_t startBytes = machine.Heap().LiveBytes();
  std::size_t peakBytes = 0;
  for (auto _ : State) {
    machine.RunBlock(block, RunContext{});
    peakBytes = std::max(peakBytes, machine.Heap().LiveBytes());
    machine.Collect();
  }
  if (host.Last != std::to_string(static_cast<std::int64_t>(Objects) * (Objects - 1) / 2))
    State.SkipWithError(("the read-back sum is " + host.Last).c_str());
  // Index names ("0".."99999") are interned once and stay; objects go.
  const std::size_t names = machine.Atoms().Size();
  State.counters["cells_after_collect"] = static_cast<double>(machine.Heap().LiveCells());
  State.counters["cells_at_start"] = static_cast<double>(startCells);
  State.counters["names"] = static_cast<double>(names);
  State.counters["heap_peak_MiB"] = static_cast<double>(peakBytes) / (1 << 20);
  State.counters["heap_start_MiB"] = static_cast<double>(startBytes) / (1 << 20);
  State.counters["process_peak_MiB"] = static_cast<double>(PeakKiB()) / 1024;
  if (machine.Heap().LiveCells() > startCells + names)
    State.SkipWithError("the heap did not come back after collection");
}
BENCHMARK(ScriptObjects)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace quenloft
