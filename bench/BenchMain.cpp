// The benchmark program's entry. Benchmarks that need a window system
// (bench/gui) create their own QApplication on the offscreen platform.
#include <benchmark/benchmark.h>

int main(int argc, char** argv)
{
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv))
    return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
