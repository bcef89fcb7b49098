#include "platform/SettingsStore.h"

#include "platform/kvuStrings.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quenloft {
namespace {

// How long a writer waits for another writer's lock before it gives up (a
// settings write is never worth hanging the window for).
constexpr auto kLockWait = std::chrono::seconds(2);

using TValues = std::vector<std::pair<std::string, TRegData>>;
using TSections = std::vector<std::pair<std::string, TValues>>;

// "Software\Quenloft\" and "/Software//Quenloft" are the same key.
std::string NormalizeKey(const std::string& Key)
{
  std::string out;
  std::string part;
  auto flush = [&] {
    if (part.empty())
      return;
    if (!out.empty())
      out += '/';
    out += part;
    part.clear();
  };
  for (char c : Key) {
    if (c == '/' || c == '\\')
      flush();
    else
      part += c;
  }
  flush();
  return out;
}

const char kHex[] = "0123456789abcdef";

int HexDigit(char C)
{
  if (C >= '0' && C <= '9')
    return C - '0';
  if (C >= 'a' && C <= 'f')
    return C - 'a' + 10;
  if (C >= 'A' && C <= 'F')
    return C - 'A' + 10;
  return -1;
}

std::string Escape(const std::string& Text)
{
  std::string out;
  for (char c : Text) {
    const auto b = static_cast<unsigned char>(c);
    if (c == '\\') {
      out += "\\\\";
    } else if (b < 0x20 || b == 0x7F || c == '=' || c == '[' || c == ']' || c == '@' || c == ';' ||
               c == '#') {
      out += "\\x";
      out += kHex[b >> 4];
      out += kHex[b & 0xF];
    } else {
      out += c;
    }
  }
  return out;
}

std::optional<std::string> Unescape(const std::string& Text)
{
  std::string out;
  for (std::size_t i = 0; i < Text.size(); ++i) {
    if (Text[i] != '\\') {
      out += Text[i];
      continue;
    }
    if (i + 1 < Text.size() && Text[i + 1] == '\\') {
      out += '\\';
      ++i;
    } else if (i + 3 < Text.size() && Text[i + 1] == 'x' && HexDigit(Text[i + 2]) >= 0 &&
               HexDigit(Text[i + 3]) >= 0) {
      out += static_cast<char>(HexDigit(Text[i + 2]) * 16 + HexDigit(Text[i + 3]));
      i += 3;
    } else {
      return std::nullopt;
    }
  }
  return out;
}

std::string FormatData(const TRegData& Data)
{
  switch (Data.Type) {
  case TRegDataType::rdString: return "sz:" + Escape(Data.Bytes);
  case TRegDataType::rdExpandString: return "expand_sz:" + Escape(Data.Bytes);
  case TRegDataType::rdInteger: {
    std::uint32_t v = 0;
    for (std::size_t i = 0; i < 4 && i < Data.Bytes.size(); ++i)
      v |= static_cast<std::uint32_t>(static_cast<unsigned char>(Data.Bytes[i])) << (8 * i);
    std::string out = "dword:";
    for (int shift = 28; shift >= 0; shift -= 4)
      out += kHex[(v >> shift) & 0xF];
    return out;
  }
  case TRegDataType::rdBinary: {
    std::string out = "hex:";
    for (char c : Data.Bytes) {
      const auto b = static_cast<unsigned char>(c);
      out += kHex[b >> 4];
      out += kHex[b & 0xF];
    }
    return out;
  }
  }
  return "hex:";
}

bool StartsWith(const std::string& S, const char* Prefix, std::string& Rest)
{
  const std::string p(Prefix);
  if (S.compare(0, p.size(), p) != 0)
    return false;
  Rest = S.substr(p.size());
  return true;
}

std::optional<TRegData> ParseData(const std::string& Text)
{
  std::string rest;
  if (StartsWith(Text, "sz:", rest) || StartsWith(Text, "expand_sz:", rest)) {
    auto text = Unescape(rest);
    if (!text)
      return std::nullopt;
    const auto type = Text[0] == 's' ? TRegDataType::rdString : TRegDataType::rdExpandString;
    return TRegData{type, std::move(*text)};
  }
  if (StartsWith(Text, "dword:", rest)) {
    if (rest.empty() || rest.size() > 8)
      return std::nullopt;
    std::uint32_t v = 0;
    for (char c : rest) {
      const int d = HexDigit(c);
      if (d < 0)
        return std::nullopt;
      v = (v << 4) | static_cast<std::uint32_t>(d);
    }
    std::string bytes(4, '\0');
    for (int i = 0; i < 4; ++i)
      bytes[static_cast<std::size_t>(i)] = static_cast<char>((v >> (8 * i)) & 0xFF);
    return TRegData{TRegDataType::rdInteger, std::move(bytes)};
  }
  if (StartsWith(Text, "hex:", rest)) {
    if (rest.size() % 2 != 0)
      return std::nullopt;
    std::string bytes;
    for (std::size_t i = 0; i < rest.size(); i += 2) {
      const int hi = HexDigit(rest[i]);
      const int lo = HexDigit(rest[i + 1]);
      if (hi < 0 || lo < 0)
        return std::nullopt;
      bytes += static_cast<char>(hi * 16 + lo);
    }
    return TRegData{TRegDataType::rdBinary, std::move(bytes)};
  }
  return std::nullopt;
}

// Lines that make no sense (damage, hand edits gone wrong) are skipped, and
// so are values before the first section; the rest of the file still counts.
TSections Parse(const std::string& Text)
{
  TSections sections;
  TValues* current = nullptr;
  std::size_t pos = 0;
  while (pos < Text.size()) {
    std::size_t end = Text.find('\n', pos);
    if (end == std::string::npos)
      end = Text.size();
    std::string line = Text.substr(pos, end - pos);
    pos = end + 1;
    if (!line.empty() && line.back() == '\r')
      line.pop_back();
    if (line.empty() || line[0] == ';' || line[0] == '#')
      continue;
    if (line[0] == '[') {
      current = nullptr;
      if (line.size() < 2 || line.back() != ']')
        continue;
      auto key = Unescape(line.substr(1, line.size() - 2));
      if (!key)
        continue;
      const std::string norm = NormalizeKey(*key);
      for (auto& s : sections)
        if (SameText(s.first, norm))
          current = &s.second;
      if (current == nullptr) {
        sections.emplace_back(norm, TValues{});
        current = &sections.back().second;
      }
      continue;
    }
    const std::size_t eq = line.find('=');
    if (current == nullptr || eq == std::string::npos)
      continue;
    const std::string rawName = line.substr(0, eq);
    std::optional<std::string> name =
        rawName == "@" ? std::optional<std::string>(std::string()) : Unescape(rawName);
    auto data = ParseData(line.substr(eq + 1));
    if (!name || !data)
      continue;
    bool replaced = false;
    for (auto& v : *current)
      if (SameText(v.first, *name)) {
        v.second = *data;
        replaced = true;
      }
    if (!replaced)
      current->emplace_back(std::move(*name), std::move(*data));
  }
  return sections;
}

std::string Format(const TSections& Sections)
{
  std::string out = "; Quenloft settings, written by the program.\n";
  for (const auto& [key, values] : Sections) {
    out += "\n[" + Escape(key) + "]\n";
    for (const auto& [name, data] : values)
      out += (name.empty() ? std::string("@") : Escape(name)) + "=" + FormatData(data) + "\n";
  }
  return out;
}

// The file's bytes, or nothing with the reason in Error.
std::optional<std::string> ReadWholeFile(const std::string& FileName, int* Error = nullptr)
{
  const int fd = ::open(FileName.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (Error != nullptr)
      *Error = errno;
    return std::nullopt;
  }
  std::string text;
  char buf[4096];
  for (;;) {
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0) {
      const int err = errno;
      ::close(fd);
      if (n < 0) {
        if (Error != nullptr)
          *Error = err;
        return std::nullopt;
      }
      return text;
    }
    text.append(buf, static_cast<std::size_t>(n));
  }
}

bool WriteAll(int Fd, const std::string& Text)
{
  std::size_t done = 0;
  while (done < Text.size()) {
    const ssize_t n = ::write(Fd, Text.data() + done, Text.size() - done);
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0)
      return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

// Replaces FileName by Text so that readers see either the old or the new
// file whole, also after a crash at any point.
bool ReplaceFileAtomically(const std::string& FileName, const std::string& Text)
{
  const std::filesystem::path target(FileName);
  const std::string folder = target.parent_path().string();
  std::string name = ".";
  name += target.filename().string();
  name += ".XXXXXX";
  std::string temp = (target.parent_path() / name).string();
  const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0)
    return false;
  bool ok = ::fchmod(fd, 0600) == 0 && WriteAll(fd, Text) && ::fsync(fd) == 0;
  ok = (::close(fd) == 0) && ok;
  if (ok)
    ok = ::rename(temp.c_str(), FileName.c_str()) == 0;
  if (!ok) {
    ::unlink(temp.c_str());
    return false;
  }
  // The rename itself becomes durable with the folder's entry.
  const int dir = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
  return true;
}

class TLockFile {
public:
  explicit TLockFile(const std::string& Path)
  {
    FHandle = ::open(Path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (FHandle < 0)
      return;
    const auto deadline = std::chrono::steady_clock::now() + kLockWait;
    while (::flock(FHandle, LOCK_EX | LOCK_NB) != 0) {
      if ((errno != EWOULDBLOCK && errno != EINTR) || std::chrono::steady_clock::now() >= deadline) {
        ::close(FHandle);
        FHandle = -1;
        return;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  }
  ~TLockFile()
  {
    if (FHandle >= 0)
      ::close(FHandle); // closing releases the lock
  }
  TLockFile(const TLockFile&) = delete;
  TLockFile& operator=(const TLockFile&) = delete;
  bool Locked() const { return FHandle >= 0; }

private:
  int FHandle = -1;
};

const TValues* FindSection(const TSections& Sections, const std::string& Key)
{
  const std::string norm = NormalizeKey(Key);
  for (const auto& s : Sections)
    if (SameText(s.first, norm))
      return &s.second;
  return nullptr;
}

} // namespace

TSettingsStore::TSettingsStore(std::string FileName) : FFileName(std::move(FileName)) {}

std::string TSettingsStore::DefaultFolder()
{
  // The base directory spec: a relative $XDG_CONFIG_HOME is invalid and ignored.
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg != nullptr && xdg[0] == '/')
    return std::string(xdg) + "/Quenloft/";
  std::string home;
  if (const char* h = std::getenv("HOME"); h != nullptr && h[0] == '/') {
    home = h;
  } else if (const passwd* pw = ::getpwuid(::getuid()); pw != nullptr && pw->pw_dir != nullptr) {
    home = pw->pw_dir;
  }
  if (home.empty())
    return {};
  return home + "/.config/Quenloft/";
}

bool TSettingsStore::KeyExists(const std::string& Key) const
{
  const auto text = ReadWholeFile(FFileName);
  if (!text)
    return false;
  return FindSection(Parse(*text), Key) != nullptr;
}

std::optional<TRegData> TSettingsStore::ReadValue(const std::string& Key, const std::string& Name) const
{
  const auto text = ReadWholeFile(FFileName);
  if (!text)
    return std::nullopt;
  const TSections sections = Parse(*text);
  const TValues* values = FindSection(sections, Key);
  if (values == nullptr)
    return std::nullopt;
  for (const auto& [name, data] : *values)
    if (SameText(name, Name))
      return data;
  return std::nullopt;
}

bool TSettingsStore::WriteValue(const std::string& Key, const std::string& Name, const TRegData& Data) const
{
  if (FFileName.empty())
    return false;
  try {
    const std::filesystem::path folder = std::filesystem::path(FFileName).parent_path();
    std::error_code ec;
    if (!folder.empty()) {
      std::filesystem::create_directories(folder, ec);
      if (ec)
        return false;
    }
    TLockFile lock(FFileName + ".lock");
    if (!lock.Locked())
      return false;
    // Read under the lock: a value another writer set a moment ago is kept.
    int error = 0;
    const auto text = ReadWholeFile(FFileName, &error);
    if (!text && error != ENOENT)
      return false; // unreadable (not missing): never replace what we cannot see
    TSections sections = text ? Parse(*text) : TSections{};
    const std::string key = NormalizeKey(Key);
    TValues* values = nullptr;
    for (auto& s : sections)
      if (SameText(s.first, key))
        values = &s.second;
    if (values == nullptr) {
      sections.emplace_back(key, TValues{});
      values = &sections.back().second;
    }
    bool replaced = false;
    for (auto& v : *values)
      if (SameText(v.first, Name)) {
        v.second = Data;
        replaced = true;
      }
    if (!replaced)
      values->emplace_back(Name, Data);
    return ReplaceFileAtomically(FFileName, Format(sections));
  } catch (const std::exception&) {
    return false; // allocation failure and the like: the old file stands
  }
}

} // namespace quenloft
