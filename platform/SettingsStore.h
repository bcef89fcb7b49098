// The per-user store of named values that stands in for the registry: typed
// values (text, 32-bit integer, binary) under key paths such as
// "Software/Quenloft", kept in a human-readable file under
// $XDG_CONFIG_HOME/Quenloft/ (~/.config/Quenloft/ by default).
//
// The file, one section per key:
//
//   [Software/Quenloft]
//   OutputPath=sz:/home/ann/Downloaded SWF Files/
//   InstallTracked=dword:ffffffff
//
// Key paths and value names compare without regard to ASCII case; "\" and
// "/" both separate key levels. The unnamed (default) value of a key is
// written "@". Names and texts escape "\", "=", "[", "]", "@" and control
// bytes as \xHH (and "\" as "\\").
//
// Every call reads the file anew and keeps nothing between calls. A write
// takes an exclusive lock on "<file>.lock" around its read-modify-write, so
// writers in several threads or programs lose none of each other's values,
// and replaces the file atomically (temporary file in the same folder,
// fsync, rename, fsync of the folder): a crash or a full disk never leaves a
// half-written store. A damaged file reads as far as its lines make sense;
// lines that do not are ignored. Failures never raise: reads give nothing,
// writes return false and leave the old file as it was.
//
// Threads: any thread; calls share no state.
#pragma once

#include <optional>
#include <string>

namespace quenloft {

enum class TRegDataType {
  rdString,       // REG_SZ: the text's bytes, no terminator
  rdExpandString, // REG_EXPAND_SZ: as rdString, never expanded by us
  rdInteger,      // REG_DWORD: 4 bytes little-endian
  rdBinary,       // REG_BINARY: raw bytes
};

struct TRegData {
  TRegDataType Type = TRegDataType::rdString;
  std::string Bytes;

  bool operator==(const TRegData&) const = default;
};

class TSettingsStore {
public:
  // A store kept in FileName (any path; the folder is created on the first
  // write).
  explicit TSettingsStore(std::string FileName);

  // $XDG_CONFIG_HOME/Quenloft/ (an absolute XDG_CONFIG_HOME only), else
  // $HOME/.config/Quenloft/; "" when neither can be found.
  static std::string DefaultFolder();

  const std::string& FileName() const { return FFileName; }

  // Whether the key exists (a key exists once a value was written to it).
  bool KeyExists(const std::string& Key) const;
  // The value, or nothing when the file, the key or the value is missing.
  std::optional<TRegData> ReadValue(const std::string& Key, const std::string& Name) const;
  // Creates the key when needed and sets the value. False on any failure.
  bool WriteValue(const std::string& Key, const std::string& Name, const TRegData& Data) const;

private:
  std::string FFileName;
};

} // namespace quenloft
