// What quenloft-cli prints about the movies: on a terminal one line per
// movie with a live bar (redrawn in place only when the whole percentage
// changes), otherwise one line per finished movie, or with --json one JSON
// object per line (keys row, url, file, size, state, error).
//
// Threads: the CLI-loop thread only.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>

namespace quenloft {

struct TSWFTask;

enum class TOutputMode { Terminal, Lines, Json };

// "512 B", "1.50 KiB", "3.25 MiB", "1.00 GiB".
std::string FormatBytes(std::int64_t Bytes);

class TProgressView {
public:
  TProgressView(TOutputMode Mode, std::ostream& Out, std::size_t Total)
      : FMode(Mode), FOut(Out), FTotal(Total)
  {}

  // The task's row changed (work-begin, or a new whole percentage).
  void Progress(std::size_t Row, const TSWFTask& Task, std::int64_t Bytes);
  // The task ended: done, or failed with Error.
  void Finished(std::size_t Row, const TSWFTask& Task, const std::string& Error);
  // The task was cancelled by Ctrl-C; its partial file (if any) stays.
  void Stopped(std::size_t Row, const TSWFTask& Task);
  // The task never started because of Ctrl-C (reported in JSON only).
  void NotStarted(std::size_t Row, const TSWFTask& Task);
  // The closing summary (stdout; stderr in JSON mode, keeping stdout pure).
  void Summary(std::size_t Done, std::size_t Failed, std::size_t Stopped, std::size_t NotStarted,
               const std::string& Folder, std::ostream& Err);

private:
  std::string RowMark(std::size_t Row) const;
  void EndLiveLine();
  void JsonLine(std::size_t Row, const TSWFTask& Task, const char* State, const std::string& Error);

  TOutputMode FMode;
  std::ostream& FOut;
  std::size_t FTotal;
  bool FLiveLine = false; // a terminal line is open (no newline yet)
};

// The bytes on disk of the task's output file (0 when there is none).
std::int64_t OutputBytes(const TSWFTask& Task);

} // namespace quenloft
