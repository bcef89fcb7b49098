#include "cli/InfoCommand.h"

#include "cli/CommandPrograms.h"

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <cmath>
#include <exception>
#include <algorithm>
#include <iostream>
#include <memory>
#include <sstream>
#include <stdexcept>

#include "cli/OutputText.h"
#include "swf/FilterReader.h"
#include "swf/MovieReader.h"
#include "swf/SoundReader.h"
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
// movie and which tags the player skips. Empty when the file is no movie;
// Error and Fault then say why.
std::shared_ptr<swf::Movie> ReadModel(const std::string& File, std::string& Error, swf::MovieFault& Fault)
{
  try {
    return swf::ReadMovieFile(File);
  } catch (const swf::EMovieError& e) {
    Error = e.what();
    Fault = e.Fault();
    return nullptr;
  }
}

// The header of a movie the header reader does not read (an LZMA movie,
// or a compressed header it refuses) as the movie reader found it; the
// first 8 bytes are read as stored.
TSWFFileHeader HeaderOfModel(const std::string& File, const swf::Movie& M)
{
  TFileStream file(File, fmOpenRead | fmShareDenyWrite);
  TSWFFileHeader h;
  ReadSWFHeaderPart(file, h, hpPrefix);
  h.Rect = TSWFRect{M.Stage.XMin, M.Stage.YMin, M.Stage.XMax, M.Stage.YMax};
  h.FrameRate = static_cast<std::uint16_t>(std::lround(M.FrameRate * 256));
  h.FrameCount = M.Root.FrameCount;
  return h;
}

// The header and the model of File. A file the header reader calls no
// movie, or whose compressed header it cannot read, is read by the movie
// reader alone; when that fails too, the header is all zero (and Fault says
// why), except for a header the header reader failed on, whose error
// stands.
TSWFFileHeader ReadHeaderAndModel(const std::string& File, std::shared_ptr<swf::Movie>& Movie,
                                  std::string& ModelError, swf::MovieFault& Fault)
{
  TSWFFileHeader h;
  std::exception_ptr headerError;
  try {
    h = ReadSWFFileHeader(File);
  } catch (const EZDecompressionError&) {
    headerError = std::current_exception();
  } catch (const EReadError&) {
    headerError = std::current_exception();
  }
  Movie = ReadModel(File, ModelError, Fault);
  if (IsMovie(h) && !headerError)
    return h;
  if (Movie)
    return HeaderOfModel(File, *Movie);
  if (headerError)
    throw std::runtime_error(std::string("not a movie: ") + swf::MovieFaultText(Fault));
  return TSWFFileHeader{};
}

// The sounds sorted by id: the dictionary keeps no order.
std::vector<const swf::Sound*> SortedSounds(const swf::Movie& M)
{
  std::vector<const swf::Sound*> sounds;
  for (const auto& [id, s] : M.Sounds)
    sounds.push_back(&s);
  std::sort(sounds.begin(), sounds.end(), [](const auto* A, const auto* B) { return A->Id < B->Id; });
  return sounds;
}

std::string FormatText(const swf::SoundFormat& F)
{
  std::string text = std::string(swf::CodingName(F.Coding)) + " " + std::to_string(swf::DecodedRate(F)) + " Hz " +
                     (F.Stereo ? "stereo" : "mono");
  if (F.Coding == swf::SoundCoding::PcmNative || F.Coding == swf::SoundCoding::PcmLittle)
    text += F.Is16Bit ? " 16-bit" : " 8-bit";
  return text;
}

nlohmann::ordered_json FormatJson(const swf::SoundFormat& F)
{
  nlohmann::ordered_json o;
  o["format"] = swf::CodingName(F.Coding);
  o["rate"] = swf::DecodedRate(F);
  o["channels"] = F.Stereo ? 2 : 1;
  o["bits"] = F.Is16Bit ? 16 : 8;
  return o;
}

void PrintSounds(const swf::Movie& M)
{
  for (const swf::Sound* s : SortedSounds(M))
    std::cout << "  sound        " << s->Id << ": " << FormatText(s->Format) << ", " << s->SampleCount
              << " samples\n";
  if (M.Root.StreamHead)
    std::cout << "  stream       " << FormatText(M.Root.StreamHead->Stream) << ", "
              << M.Root.StreamHead->SamplesPerFrame << " samples a frame\n";
}

std::string SkippedText(const swf::Movie& M)
{
  std::string text;
  for (const auto& [name, count] : M.SkippedTags)
    text += (text.empty() ? "" : ", ") + name + " " + std::to_string(count);
  return text.empty() ? "none" : text;
}

void PrintText(const std::string& File, const TSWFFileHeader& H, const swf::Movie* M,
               const std::string& ModelError, swf::MovieFault Fault)
{
  if (!IsMovie(H)) {
    std::cout << ShowText(File) << ": not a movie: " << swf::MovieFaultText(Fault) << '\n';
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
    PrintSounds(*M);
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
      std::shared_ptr<swf::Movie> movie;
      std::string modelError;
      swf::MovieFault fault = swf::MovieFault::Damaged;
      const TSWFFileHeader h = ReadHeaderAndModel(file, movie, modelError, fault);
      if (!Json) {
        PrintText(file, h, movie.get(), modelError, fault);
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
        object["sounds"] = nlohmann::ordered_json::array();
        for (const swf::Sound* s : SortedSounds(*movie)) {
          nlohmann::ordered_json o;
          o["id"] = s->Id;
          o.update(FormatJson(s->Format));
          o["samples"] = s->SampleCount;
          object["sounds"].push_back(o);
        }
        if (movie->Root.StreamHead) {
          nlohmann::ordered_json o = FormatJson(movie->Root.StreamHead->Stream);
          o["samples_per_frame"] = movie->Root.StreamHead->SamplesPerFrame;
          object["stream"] = o;
        }
        object["filters"] = swf::CountFilters(*movie);
        if (!movie->ReadError.empty())
          object["read_error"] = movie->ReadError;
      } else if (!IsMovie(h)) {
        object["not_a_movie"] = swf::MovieFaultText(fault);
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
      App.add_subcommand("info", HandedCommandDescription("info"));
  info->add_option("FILE", options->Files, "Movie files (.swf) to read")->required();
  info->add_flag("--json", options->Json, "One JSON object per file and line");
  info->callback([options, &ExitCode] { ExitCode = RunInfo(options->Files, options->Json); });
}

} // namespace quenloft
