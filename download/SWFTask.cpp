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
  FById[task->Id] = FItems.size();
  try {
    FItems.push_back(std::move(Task));
  } catch (...) {
    FById.erase(task->Id);
    throw;
  }
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

std::ptrdiff_t TSWFTaskList::IndexOfId(std::uint64_t Id) const
{
  const auto it = FById.find(Id);
  return it == FById.end() ? -1 : static_cast<std::ptrdiff_t>(it->second);
}

TSWFTask* TSWFTaskList::FindById(std::uint64_t Id) const
{
  const std::ptrdiff_t at = IndexOfId(Id);
  return at < 0 ? nullptr : FItems[static_cast<std::size_t>(at)].get();
}

} // namespace quenloft
