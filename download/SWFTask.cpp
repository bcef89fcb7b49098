#include "download/SWFTask.h"

#include <atomic>

namespace quenloft {
namespace {

// Starts at 1 so that 0 never names a task.
std::atomic<std::uint64_t> NextTaskId{1};

} // namespace

TSWFTask::TSWFTask() : Id(NextTaskId.fetch_add(1, std::memory_order_relaxed)) {}

TSWFTask* TSWFTaskList::Add(std::unique_ptr<TSWFTask> Task)
{
  TSWFTask* task = Task.get();
  FItems.push_back(std::move(Task));
  FById[task->Id] = task;
  return task;
}

void TSWFTaskList::Clear()
{
  FById.clear();
  FItems.clear();
}

std::ptrdiff_t TSWFTaskList::IndexOf(const TSWFTask* Task) const
{
  for (std::size_t i = 0; i < FItems.size(); ++i)
    if (FItems[i].get() == Task)
      return static_cast<std::ptrdiff_t>(i);
  return -1;
}

TSWFTask* TSWFTaskList::FindById(std::uint64_t Id) const
{
  const auto it = FById.find(Id);
  return it == FById.end() ? nullptr : it->second;
}

} // namespace quenloft
