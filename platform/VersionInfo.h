// File versions: the four numbers an executable of ours carries in its
// version note (platform/VersionNote.h), read back from the file on disk.
//
// Threads: stateless; any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace quenloft {

struct TFileVersion {
  std::uint16_t Major = 0;
  std::uint16_t Minor = 0;
  std::uint16_t Release = 0;
  std::uint16_t Build = 0;

  bool operator==(const TFileVersion&) const = default;
};

// The version note of an ELF file (32 or 64 bit, either byte order), found
// through its note sections or, in a file without section headers, its note
// segments. Nothing for a missing file, a file that is not ELF, a damaged
// one, or one without the note. Only the headers and notes are read.
std::optional<TFileVersion> ReadFileVersion(const std::string& FileName);

} // namespace quenloft
