#include "cli/InfoCommand.h"

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <iostream>
#include <memory>
#include <sstream>
#include <stdexcept>

#include "cli/OutputText.h"
#include "swf/FilterReader.h"
#include "swf/MovieReader.h"
#include "swf/SWFStreams.h"

#include <sys/stat.h>

namespace quenloft {
namespace {

struct TInfoOptions {
  std::vector<std::string> Files;
  bool Json = false;
};

bool IsMovie(const TSWFFileHeader& H)
{
  return H.Signature[0] != 0; // a file that is not a movie reads as all zero
}

// 8.8 fixed point: whole frames per second in the high byte.
double FramesPerSecond(const TSWFFileHeader& H)
{
  return H.FrameRate / 256.0;
}

std::string Signature(const TSWFFileHeader& H)
{
  return IsMovie(H) ? std::string(H.Signature, 3) : std::string();
}

// Why File is no file to read a header from: a folder, or something that
// is no regular file (a FIFO or a device would block the read or never end
// it). "" for a regular file, and for a missing one, whose open says why.
std::string NotAFile(const std::string& File)
{
  struct stat info {};
  if (::stat(File.c_str(), &info) != 0)
    return {};
  if (S_ISDIR(info.st_mode))
    return "is a directory";
  if (!S_ISREG(info.st_mode))
    return "not a regular file";
  return {};
}

// What the movie model adds to the header: whether script drives the
// movie and which tags the player skips. Empty when the file is no movie.
std::shared_ptr<swf::Movie> ReadModel(const std::string& File, const TSWFFileHeader& H, std::string& Error)
{
  if (!IsMovie(H))
    return nullptr;
  try {
    return swf::ReadMovieFile(File);
  } catch (const swf::EMovieError& e) {
    Error = e.what();
    return nullptr;
  }
}

std::string SkippedText(const swf::Movie& M)
{
  std::string text;
  for (const auto& [name, count] : M.SkippedTags)
    text += (text.empty() ? "" : ", ") + name + " " + std::to_string(count);
  return text.empty() ? "none" : text;
}

void PrintText(const std::string& File, const TSWFFileHeader& H, const swf::Movie* M,
               const std::string& ModelError)
{
  if (!IsMovie(H)) {
    std::cout << ShowText(File) << ": not a Flash movie (FWS or CWS)\n";
    return;
  }
  std::ostringstream rate;
  rate << FramesPerSecond(H);
  std::cout << ShowText(File) << '\n'
            << "  signature    " << Signature(H) << '\n'
            << "  version      " << static_cast<int>(H.Version) << '\n'
            << "  file length  " << H.FileLength << " bytes\n"
            << "  size         " << TwipsToPixels(H.Rect.Xmin, H.Rect.Xmax) << " x "
            << TwipsToPixels(H.Rect.Ymin, H.Rect.Ymax) << " pixels\n"
            << "  frame rate   " << rate.str() << " per second\n"
            << "  frames       " << H.FrameCount << '\n';
  if (M) {
    std::cout << "  script       " << (M->Scripted ? "yes" : "no") << '\n'
              << "  skipped tags " << SkippedText(*M) << '\n'
              << "  filters      " << swf::CountFilters(*M) << '\n';
    if (!M->ReadError.empty())
      std::cout << "  read error   " << ShowLine(M->ReadError) << '\n';
  } else if (!ModelError.empty()) {
    std::cout << "  read error   " << ShowLine(ModelError) << '\n';
  }
}

void PrintJson(const nlohmann::ordered_json& Object)
{
  // File names need not be UTF-8: bytes that are not are replaced.
  std::cout << Object.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace) << '\n';
}

} // namespace

int RunInfo(const std::vector<std::string>& Files, bool Json)
{
  int status = 0;
  for (const std::string& file : Files) {
    nlohmann::ordered_json object;
    object["file"] = file;
    if (!IsUTF8(file))
      object["file_bytes"] = Base64(file);
    try {
      if (const std::string reason = NotAFile(file); !reason.empty())
        throw std::runtime_error(reason);
      const TSWFFileHeader h = ReadSWFFileHeader(file);
      std::string modelError;
      const auto movie = ReadModel(file, h, modelError);
      if (!Json) {
        PrintText(file, h, movie.get(), modelError);
        continue;
      }
      object["signature"] = Signature(h);
      object["version"] = h.Version;
      object["file_length"] = h.FileLength;
      object["width"] = TwipsToPixels(h.Rect.Xmin, h.Rect.Xmax);
      object["height"] = TwipsToPixels(h.Rect.Ymin, h.Rect.Ymax);
      object["frame_rate"] = FramesPerSecond(h);
      object["frame_count"] = h.FrameCount;
      if (movie) {
        object["script"] = movie->Scripted;
        object["skipped_tags"] = nlohmann::ordered_json::object();
        for (const auto& [name, count] : movie->SkippedTags)
          object["skipped_tags"][name] = count;
        object["filters"] = swf::CountFilters(*movie);
        if (!movie->ReadError.empty())
          object["read_error"] = movie->ReadError;
      } else if (!modelError.empty()) {
        object["read_error"] = modelError;
      }
    } catch (const std::exception& e) {
      status = 1;
      if (!Json) {
        std::cout.flush();
        std::cerr << ShowText(file) << ": " << ShowLine(e.what()) << '\n';
        continue;
      }
      object["error"] = e.what();
    }
    PrintJson(object);
  }
  return status;
}

void AddInfoCommand(CLI::App& App, int& ExitCode)
{
  auto options = std::make_shared<TInfoOptions>();
  CLI::App* info =
      App.add_subcommand("info", "Print the header of each movie file: size, frame rate and frame count");
  info->add_option("FILE", options->Files, "Movie files (.swf) to read")->required();
  info->add_flag("--json", options->Json, "One JSON object per file and line");
  info->callback([options, &ExitCode] { ExitCode = RunInfo(options->Files, options->Json); });
}

} // namespace quenloft
