// The program's four-part version as an ELF note, so that the version can be
// read back from the executable file itself (platform/VersionInfo.h), the way
// a version resource would be.
//
// The note: name "Quenloft", type 1, description four 16-bit numbers (major,
// minor, release, build) in the file's byte order, in the allocated section
// ".note.quenloft.version".
//
// Use QUENLOFT_VERSION_NOTE() once per program at namespace scope, or let
// CMake add platform/VersionNote.cpp (quenloft_stamp_version). A second use
// in the same program is a link error.
//
// Threads: compile-time data only.
#pragma once

#include <cstdint>

#include "quenloft/VersionConfig.h"

namespace quenloft {

inline constexpr char kVersionNoteName[] = "Quenloft";
inline constexpr std::uint32_t kVersionNoteType = 1;

struct TVersionNote {
  std::uint32_t NameSize; // 9: "Quenloft" and its terminator
  std::uint32_t DescSize; // 8: the four 16-bit parts of Version
  std::uint32_t Type;     // kVersionNoteType
  char Name[12];          // padded to 4 bytes
  std::uint16_t Version[4];
};

} // namespace quenloft

#if defined(__clang__)
// Clang's AddressSanitizer would pad the note with a red zone; the note must
// keep the exact layout a reader expects.
#define QUENLOFT_NOTE_NO_ASAN __attribute__((no_sanitize("address")))
#else
#define QUENLOFT_NOTE_NO_ASAN
#endif

#define QUENLOFT_VERSION_NOTE()                                                                              \
  extern "C" __attribute__((section(".note.quenloft.version"), used, aligned(4)))                            \
  QUENLOFT_NOTE_NO_ASAN const ::quenloft::TVersionNote quenloft_version_note = {                             \
      9,                                                                                                     \
      8,                                                                                                     \
      ::quenloft::kVersionNoteType,                                                                          \
      "Quenloft",                                                                                            \
      {QUENLOFT_VERSION_MAJOR, QUENLOFT_VERSION_MINOR, QUENLOFT_VERSION_PATCH, QUENLOFT_VERSION_TWEAK}}
