#include "cli/ProgressView.h"

#include "cli/OutputText.h"
#include "download/SWFTask.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <ostream>

namespace quenloft {

std::string FormatBytes(std::int64_t Bytes)
{
  if (Bytes < 1024)
    return std::to_string(Bytes) + " B";
  static const char* const units[] = {"KiB", "MiB", "GiB", "TiB"};
  double value = static_cast<double>(Bytes) / 1024.0;
  std::size_t unit = 0;
  while (value >= 1024.0 && unit + 1 < std::size(units)) {
    value /= 1024.0;
    ++unit;
  }
  char text[32];
  std::snprintf(text, sizeof text, "%.2f %s", value, units[unit]);
  return text;
}

std::int64_t OutputBytes(const TSWFTask& Task)
{
  std::error_code ec;
  if (Task.FileName.empty())
    return 0;
  const auto size = std::filesystem::file_size(Task.FileName, ec);
  return ec ? 0 : static_cast<std::int64_t>(size);
}

std::string TProgressView::RowMark(std::size_t Row) const
{
  const std::string total = std::to_string(FTotal);
  std::string row = std::to_string(Row);
  if (row.size() < total.size())
    row.insert(0, total.size() - row.size(), ' ');
  return "[" + row + "/" + total + "] ";
}

void TProgressView::EndLiveLine()
{
  if (FLiveLine)
    FOut << '\n';
  FLiveLine = false;
}

void TProgressView::Progress(std::size_t Row, const TSWFTask& Task, std::int64_t Bytes)
{
  if (FMode != TOutputMode::Terminal)
    return;
  // Written piece by piece straight to the stream: one redraw per whole
  // percentage, so there is nothing to gain from building a string first.
  constexpr int width = 20;
  FOut << '\r' << RowMark(Row) << ShowText(Task.URL) << "  ";
  if (!Task.Note.empty()) {
    FOut << Task.Note;
  } else if (Task.Size > 0) {
    const int filled = std::min<int>(Task.Percent, 100) * width / 100;
    FOut << '[' << std::string(static_cast<std::size_t>(filled), '#')
         << std::string(static_cast<std::size_t>(width - filled), '-') << "] "
         << static_cast<int>(Task.Percent) << "% of " << FormatBytes(Task.Size);
  } else {
    FOut << "downloading (" << FormatBytes(Bytes) << ", size unknown)";
  }
  FOut << "\x1b[K" << std::flush;
  FLiveLine = true;
}

void TProgressView::Finished(std::size_t Row, const TSWFTask& Task, const std::string& Error)
{
  const bool done = Error.empty();
  if (FMode == TOutputMode::Json) {
    JsonLine(Row, Task, done ? "done" : "failed", Error);
    return;
  }
  std::string line = RowMark(Row);
  if (done)
    line += "done    " + ShowText(Task.FileName) + " (" + FormatBytes(OutputBytes(Task)) + ")";
  else
    line += "failed  " + ShowText(Task.URL) + ": " + ShowLine(Error);
  if (FMode == TOutputMode::Terminal)
    FOut << '\r' << line << "\x1b[K\n" << std::flush;
  else
    FOut << line << '\n' << std::flush;
  FLiveLine = false;
}

void TProgressView::Stopped(std::size_t Row, const TSWFTask& Task)
{
  if (FMode == TOutputMode::Json) {
    JsonLine(Row, Task, "stopped", "");
    return;
  }
  EndLiveLine();
  std::string line = RowMark(Row) + "stopped " + ShowText(Task.URL);
  if (!Task.FileName.empty())
    line += "; partial file kept: " + ShowText(Task.FileName) + " (" + FormatBytes(OutputBytes(Task)) + ")";
  FOut << line << '\n' << std::flush;
}

void TProgressView::NotStarted(std::size_t Row, const TSWFTask& Task)
{
  if (FMode == TOutputMode::Json)
    JsonLine(Row, Task, "queued", "");
}

void TProgressView::Summary(std::size_t Done, std::size_t Failed, std::size_t StoppedCount,
                            std::size_t NotStartedCount, const std::string& Folder, std::ostream& Err)
{
  EndLiveLine();
  std::ostream& out = FMode == TOutputMode::Json ? Err : FOut;
  out << Done << " saved, " << Failed << " failed";
  if (StoppedCount + NotStartedCount > 0)
    out << ", stopped (" << StoppedCount << " cancelled, " << NotStartedCount << " not started)";
  out << "; folder: " << ShowText(Folder) << '\n' << std::flush;
}

void TProgressView::JsonLine(std::size_t Row, const TSWFTask& Task, const char* State,
                             const std::string& Error)
{
  nlohmann::ordered_json line;
  line["row"] = Row;
  line["url"] = Task.URL;
  line["file"] = Task.FileName;
  // A name that is not UTF-8 cannot stand in JSON as it is: its raw bytes
  // come along, so a script can always find the file.
  if (!IsUTF8(Task.FileName))
    line["file_bytes"] = Base64(Task.FileName);
  line["size"] = OutputBytes(Task);
  line["state"] = State;
  line["error"] = Error.empty() ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json(Error);
  // Page text is 8-bit; bytes that are not UTF-8 are replaced, not fatal.
  FOut << line.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace) << '\n' << std::flush;
}

} // namespace quenloft
