#include "cli/AudioCommand.h"

#include "cli/CommandPrograms.h"

#include <CLI/CLI.hpp>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>
#include <vector>

#include "cli/OutputText.h"
#include "swf/MovieReader.h"
#include "swf/sound/Soundtrack.h"

namespace quenloft {
namespace {

void PutU16(std::vector<std::uint8_t>& B, std::uint32_t V)
{
  B.push_back(static_cast<std::uint8_t>(V & 0xFF));
  B.push_back(static_cast<std::uint8_t>((V >> 8) & 0xFF));
}

void PutU32(std::vector<std::uint8_t>& B, std::uint32_t V)
{
  PutU16(B, V & 0xFFFF);
  PutU16(B, V >> 16);
}

// The 44-byte RIFF header of a 16-bit stereo PCM file with DataBytes of samples.
std::vector<std::uint8_t> WavHeader(std::uint32_t DataBytes)
{
  std::vector<std::uint8_t> h;
  const auto tag = [&h](const char* T) { h.insert(h.end(), T, T + 4); };
  tag("RIFF");
  PutU32(h, 36 + DataBytes);
  tag("WAVE");
  tag("fmt ");
  PutU32(h, 16);
  PutU16(h, 1); // PCM
  PutU16(h, 2);
  PutU32(h, swf::TSoundMixer::Rate);
  PutU32(h, swf::TSoundMixer::Rate * 4);
  PutU16(h, 4);
  PutU16(h, 16);
  tag("data");
  PutU32(h, DataBytes);
  return h;
}

// The largest WAV file: its sizes are 32-bit.
constexpr std::uint64_t kMaxDataBytes = 0xFFFFFFFFull - 36;

} // namespace

int RunAudio(const TAudioOptions& Options)
{
  std::shared_ptr<swf::Movie> movie;
  try {
    movie = swf::ReadMovieFile(Options.File);
  } catch (const std::exception& e) {
    std::cerr << ShowText(Options.File) << ": not a movie that can be read: " << ShowLine(e.what()) << '\n';
    return 1;
  }
  if (!swf::TMovieSound::HasSound(*movie)) {
    std::cerr << ShowText(Options.File) << ": the movie has no sound\n";
    return 1;
  }
  // "x": the file is made here or not at all, so an existing one is never
  // overwritten.
  errno = 0;
  std::FILE* out = std::fopen(Options.Output.c_str(), "wbx");
  if (!out) {
    std::cerr << ShowText(Options.Output) << ": cannot create the file"
              << (errno == EEXIST ? ": it exists already" : errno ? std::string(": ") + std::strerror(errno) : "")
              << '\n';
    return 1;
  }
  const auto fail = [&](const std::string& Why) {
    std::fclose(out);
    std::remove(Options.Output.c_str());
    std::cerr << ShowText(Options.Output) << ": " << Why << '\n';
    return 1;
  };
  swf::SoundtrackLimit limit;
  if (Options.Frames)
    limit.Frames = *Options.Frames;
  limit.Seconds = Options.Seconds;
  std::vector<std::uint8_t> header = WavHeader(0);
  if (std::fwrite(header.data(), 1, header.size(), out) != header.size())
    return fail("cannot write the file");
  std::uint64_t bytes = 0;
  try {
    swf::TSoundtrack track(movie, limit);
    std::vector<std::int16_t> block(8192 * 2);
    std::vector<std::uint8_t> raw;
    for (;;) {
      const std::size_t frames = track.Next(block.data(), block.size() / 2);
      if (frames == 0)
        break;
      if (bytes + frames * 4 > kMaxDataBytes)
        return fail("the soundtrack is longer than a WAV file holds");
      raw.clear();
      for (std::size_t i = 0; i < frames * 2; ++i)
        PutU16(raw, static_cast<std::uint16_t>(block[i]));
      if (std::fwrite(raw.data(), 1, raw.size(), out) != raw.size())
        return fail(std::string("cannot write the file: ") + std::strerror(errno));
      bytes += raw.size();
    }
    if (track.Sound().Mixer().Failures() > 0)
      std::cerr << ShowText(Options.File) << ": " << track.Sound().Mixer().Failures()
                << " sound(s) could not be decoded and are silent\n";
  } catch (const std::exception& e) {
    return fail(e.what());
  }
  header = WavHeader(static_cast<std::uint32_t>(bytes));
  if (std::fseek(out, 0, SEEK_SET) != 0 || std::fwrite(header.data(), 1, header.size(), out) != header.size())
    return fail("cannot write the file");
  if (std::fclose(out) != 0) {
    std::remove(Options.Output.c_str());
    std::cerr << ShowText(Options.Output) << ": cannot write the file\n";
    return 1;
  }
  return 0;
}

void AddAudioCommand(CLI::App& App, int& ExitCode)
{
  auto options = std::make_shared<TAudioOptions>();
  CLI::App* audio = App.add_subcommand("audio", HandedCommandDescription("audio"));
  audio->add_option("FILE", options->File, "Movie file (.swf)")->required();
  audio->add_option("-o,--output", options->Output, "WAV file to write (never overwritten)")->required();
  auto* frames = audio->add_option("--frames", options->Frames, "Play this many root frames")
                     ->check(CLI::NonNegativeNumber);
  audio->add_option("--seconds", options->Seconds, "Play this many seconds")
      ->check(CLI::Range(0.0, 86400.0))
      ->excludes(frames);
  audio->callback([options, &ExitCode] { ExitCode = RunAudio(*options); });
}

} // namespace quenloft
