// TSWFTask: one movie to fetch; TSWFTaskList: the owning list of them in the
// scanner's order.
//
// Every task carries an Id that is unique in the process and never reused.
// Workers pass it back as the LParam of their messages, so a message that
// arrives after its task was freed (a new scan cleared the list) finds no
// task through FindById and is dropped instead of touching freed memory.
//
// Threads: the UI / CLI-loop thread only. Workers never see a task, only
// its Id.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace quenloft {

// The value is also the image index of the task's list row.
enum TTaskState : std::uint8_t { tsQueued, tsDownloading, tsDone, tsFailed };

struct TSWFTask {
  TSWFTask();

  std::string URL;
  std::int32_t Size = 0;    // total announced at work-begin; <= 0 when unknown
  std::uint8_t Percent = 0; // 0..100
  std::uint8_t State = tsQueued;
  std::string FileName; // output path, fixed when the task starts
  // Shown in place of the percentage while set: "retrying (2/3)" while a
  // retry waits; cleared when the next transfer begins or the task ends.
  std::string Note;
  std::uint64_t Id; // process-unique, never reused
};

class TSWFTaskList {
public:
  TSWFTaskList() = default;
  TSWFTaskList(const TSWFTaskList&) = delete;
  TSWFTaskList& operator=(const TSWFTaskList&) = delete;

  std::size_t Count() const { return FItems.size(); }
  TSWFTask* Items(std::size_t Index) const { return FItems.at(Index).get(); }
  // Takes ownership; returns the task.
  TSWFTask* Add(std::unique_ptr<TSWFTask> Task);
  // Frees every task.
  void Clear();
  // Position of Task (by identity; Task is never dereferenced), -1 if absent.
  // A linear search: per-event callers use IndexOfId.
  std::ptrdiff_t IndexOf(const TSWFTask* Task) const;
  // Position of the live task with that Id, -1 if none; constant time.
  std::ptrdiff_t IndexOfId(std::uint64_t Id) const;
  // The live task with that Id, or nullptr.
  TSWFTask* FindById(std::uint64_t Id) const;

private:
  std::vector<std::unique_ptr<TSWFTask>> FItems;
  // Id -> position in FItems. Tasks are only appended or all cleared, so a
  // position never changes while its task lives.
  std::unordered_map<std::uint64_t, std::size_t> FById;
};

} // namespace quenloft
