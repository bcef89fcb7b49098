// The main window's task list under load (offscreen platform):
// - a page with 10,000 movies fills the list (goal: well under a second);
// - 10,000 tasks x 100 work events each, where a row is refilled only when
//   its whole percentage changes; the refills are counted, and a task's row
//   is found through the Id map, not by searching the list.
#include "app/gui/VellicorFrm.h"
#include "bench/gui/BenchApp.h"

#include <benchmark/benchmark.h>

#include <QApplication>

#include <string>
#include <vector>

namespace quenloft {
namespace {

std::vector<std::string> MovieURLs(int Count)
{
  std::vector<std::string> URLs;
  URLs.reserve(static_cast<std::size_t>(Count));
  for (int I = 0; I < Count; ++I)
    URLs.push_back("http://www.example.com/games/flash/movie-" + std::to_string(I) + ".swf");
  return URLs;
}

// The rows a scan ends with, for 10,000 tasks, then one paint of the list.
void BM_FillList10000(benchmark::State& State)
{
  BenchApp();
  TVellicorForm Form;
  Form.show();
  const std::vector<std::string> URLs = MovieURLs(10000);
  for (auto _ : State) {
    Form.Downloader().Clear();
    Form.Rows().Clear();
    Form.Downloader().AddTasks(URLs);
    Form.ShowTaskRows();
    Form.ListView1->repaint();
    QCoreApplication::processEvents();
  }
  State.counters["rows"] = static_cast<double>(Form.Rows().RowCount());
}
BENCHMARK(BM_FillList10000)->Unit(benchmark::kMillisecond)->Iterations(3);

// 100 work events per task (plus its work-begin) for 10,000 tasks. A
// 1,000,000-byte body reported every 10,000 bytes changes the whole
// percentage at every event (100 refills per task); reported every 1,000
// bytes (its first 100,000 bytes) it changes only ten times.
void WorkEvents(benchmark::State& State, std::int32_t Size, std::int64_t Step)
{
  BenchApp();
  TVellicorForm Form;
  Form.show();
  const int Tasks = 10000;
  Form.Downloader().AddTasks(MovieURLs(Tasks));
  Form.ShowTaskRows();
  std::uint64_t Events = 0;
  std::uint64_t Refills = 0;
  for (auto _ : State) {
    const std::uint64_t Before = Form.Rows().FillCount();
    for (int T = 0; T < Tasks; ++T) {
      TSWFTask& Task = *Form.Downloader().Tasks().Items(static_cast<std::size_t>(T));
      Task.Percent = 0;
      Form.HandleMessage({WM_DOWNLOAD_WORKBEGIN, Size, Task.Id, {}});
      for (int I = 1; I <= 100; ++I)
        Form.HandleMessage({WM_DOWNLOAD_WORK, I * Step, Task.Id, {}});
      Events += 101;
    }
    QCoreApplication::processEvents();
    Refills += Form.Rows().FillCount() - Before;
  }
  State.counters["events"] =
      benchmark::Counter(static_cast<double>(Events), benchmark::Counter::kAvgIterations);
  State.counters["row_refills"] =
      benchmark::Counter(static_cast<double>(Refills), benchmark::Counter::kAvgIterations);
  State.counters["events_per_s"] =
      benchmark::Counter(static_cast<double>(Events), benchmark::Counter::kIsRate);
}

void BM_WorkEvents_EveryPercent(benchmark::State& State)
{
  WorkEvents(State, 1000000, 10000);
}
void BM_WorkEvents_TenthsOfAPercent(benchmark::State& State)
{
  WorkEvents(State, 1000000, 1000);
}
BENCHMARK(BM_WorkEvents_EveryPercent)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_WorkEvents_TenthsOfAPercent)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace
} // namespace quenloft
