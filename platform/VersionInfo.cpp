#include "platform/VersionInfo.h"

#include <cerrno>
#include <cstring>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

#include "platform/VersionNote.h"

namespace quenloft {
namespace {

// ELF constants (System V ABI, "ELF Header", "Sections", "Program Header").
constexpr unsigned char kElfMagic[4] = {0x7F, 'E', 'L', 'F'};
constexpr int kEiClass = 4;
constexpr int kEiData = 5;
constexpr unsigned char kElfClass32 = 1;
constexpr unsigned char kElfClass64 = 2;
constexpr unsigned char kElfDataLsb = 1;
constexpr unsigned char kElfDataMsb = 2;
constexpr std::uint32_t kShtNote = 7;
constexpr std::uint32_t kPtNote = 4;
// Notes larger than this are not ours; reading stops there.
constexpr std::uint64_t kMaxNoteArea = 1 << 20;
constexpr std::uint32_t kMaxHeaders = 65535;

class TElfFile {
public:
  explicit TElfFile(const std::string& FileName) { FHandle = ::open(FileName.c_str(), O_RDONLY | O_CLOEXEC); }
  ~TElfFile()
  {
    if (FHandle >= 0)
      ::close(FHandle);
  }
  TElfFile(const TElfFile&) = delete;
  TElfFile& operator=(const TElfFile&) = delete;

  bool Open() const { return FHandle >= 0; }

  // Exactly Count bytes at Offset, or false.
  bool ReadAt(std::uint64_t Offset, void* Buffer, std::size_t Count) const
  {
    auto* out = static_cast<char*>(Buffer);
    while (Count > 0) {
      if (Offset > static_cast<std::uint64_t>(INT64_MAX))
        return false;
      const ssize_t n = ::pread(FHandle, out, Count, static_cast<off_t>(Offset));
      if (n < 0 && errno == EINTR)
        continue;
      if (n <= 0)
        return false;
      out += n;
      Offset += static_cast<std::uint64_t>(n);
      Count -= static_cast<std::size_t>(n);
    }
    return true;
  }

private:
  int FHandle = -1;
};

// Reads integers of the file's byte order out of a byte buffer.
struct TDecoder {
  bool BigEndian = false;

  std::uint64_t Get(const unsigned char* P, int Size) const
  {
    std::uint64_t v = 0;
    for (int i = 0; i < Size; ++i) {
      const int index = BigEndian ? i : Size - 1 - i;
      v = (v << 8) | P[index];
    }
    return v;
  }
};

std::uint64_t AlignUp(std::uint64_t Value, std::uint64_t Align)
{
  return (Value + Align - 1) / Align * Align;
}

// Walks the notes of one note area. Notes are aligned to 4 bytes, or to 8
// in areas whose alignment says so (e.g. GNU property notes).
std::optional<TFileVersion> FindInNotes(const std::vector<unsigned char>& Area, std::uint64_t Align,
                                        const TDecoder& D)
{
  Align = Align == 8 ? 8 : 4;
  std::uint64_t pos = 0;
  while (pos + 12 <= Area.size()) {
    const std::uint64_t nameSize = D.Get(&Area[pos], 4);
    const std::uint64_t descSize = D.Get(&Area[pos + 4], 4);
    const std::uint64_t type = D.Get(&Area[pos + 8], 4);
    const std::uint64_t name = pos + 12;
    const std::uint64_t desc = name + AlignUp(nameSize, Align);
    const std::uint64_t next = desc + AlignUp(descSize, Align);
    if (next > Area.size() || next <= pos)
      return std::nullopt; // damaged: a size runs past the area
    if (nameSize == sizeof kVersionNoteName && type == kVersionNoteType && descSize >= 8 &&
        std::memcmp(&Area[name], kVersionNoteName, sizeof kVersionNoteName) == 0) {
      TFileVersion v;
      v.Major = static_cast<std::uint16_t>(D.Get(&Area[desc], 2));
      v.Minor = static_cast<std::uint16_t>(D.Get(&Area[desc + 2], 2));
      v.Release = static_cast<std::uint16_t>(D.Get(&Area[desc + 4], 2));
      v.Build = static_cast<std::uint16_t>(D.Get(&Area[desc + 6], 2));
      return v;
    }
    pos = next;
  }
  return std::nullopt;
}

std::optional<TFileVersion> FindInArea(const TElfFile& File, std::uint64_t Offset, std::uint64_t Size,
                                       std::uint64_t Align, const TDecoder& D)
{
  if (Size == 0 || Size > kMaxNoteArea)
    return std::nullopt;
  std::vector<unsigned char> area(static_cast<std::size_t>(Size));
  if (!File.ReadAt(Offset, area.data(), area.size()))
    return std::nullopt;
  return FindInNotes(area, Align, D);
}

} // namespace

std::optional<TFileVersion> ReadFileVersion(const std::string& FileName)
{
  TElfFile file(FileName);
  if (!file.Open())
    return std::nullopt;
  unsigned char ehdr[64];
  if (!file.ReadAt(0, ehdr, 52)) // the 32-bit header is the shorter one
    return std::nullopt;
  if (std::memcmp(ehdr, kElfMagic, 4) != 0)
    return std::nullopt;
  const bool is64 = ehdr[kEiClass] == kElfClass64;
  if (!is64 && ehdr[kEiClass] != kElfClass32)
    return std::nullopt;
  if (ehdr[kEiData] != kElfDataLsb && ehdr[kEiData] != kElfDataMsb)
    return std::nullopt;
  if (is64 && !file.ReadAt(52, ehdr + 52, 12))
    return std::nullopt;
  TDecoder d;
  d.BigEndian = ehdr[kEiData] == kElfDataMsb;
  const int addr = is64 ? 8 : 4; // size of an address or offset field

  // Field positions of Elf32_Ehdr / Elf64_Ehdr.
  const std::uint64_t phoff = d.Get(ehdr + 24 + addr, addr);
  const std::uint64_t shoff = d.Get(ehdr + 24 + 2 * addr, addr);
  const int tail = 24 + 3 * addr + 4; // e_flags done: e_ehsize follows
  const std::uint64_t phentsize = d.Get(ehdr + tail + 2, 2);
  const std::uint64_t phnum = d.Get(ehdr + tail + 4, 2);
  const std::uint64_t shentsize = d.Get(ehdr + tail + 6, 2);
  const std::uint64_t shnum = d.Get(ehdr + tail + 8, 2);

  // Section headers: sh_name, sh_type (4 each), sh_flags, sh_addr, sh_offset,
  // sh_size (address-sized), sh_link, sh_info (4 each), sh_addralign.
  const std::uint64_t shMin = is64 ? 64 : 40;
  if (shoff != 0 && shentsize >= shMin && shnum <= kMaxHeaders) {
    std::vector<unsigned char> sh(static_cast<std::size_t>(shentsize));
    for (std::uint64_t i = 0; i < shnum; ++i) {
      if (!file.ReadAt(shoff + i * shentsize, sh.data(), sh.size()))
        break;
      if (d.Get(sh.data() + 4, 4) != kShtNote)
        continue;
      const std::uint64_t offset = d.Get(sh.data() + 8 + 2 * addr, addr);
      const std::uint64_t size = d.Get(sh.data() + 8 + 3 * addr, addr);
      const std::uint64_t align = d.Get(sh.data() + 16 + 4 * addr, addr);
      if (auto v = FindInArea(file, offset, size, align, d))
        return v;
    }
  }

  // Program headers, for files whose section headers were stripped away.
  // Elf64_Phdr: p_type, p_flags, p_offset, p_vaddr, p_paddr, p_filesz,
  // p_memsz, p_align; Elf32_Phdr has p_flags after p_memsz instead.
  const std::uint64_t phMin = is64 ? 56 : 32;
  if (phoff != 0 && phentsize >= phMin && phnum <= kMaxHeaders) {
    std::vector<unsigned char> ph(static_cast<std::size_t>(phentsize));
    for (std::uint64_t i = 0; i < phnum; ++i) {
      if (!file.ReadAt(phoff + i * phentsize, ph.data(), ph.size()))
        break;
      if (d.Get(ph.data(), 4) != kPtNote)
        continue;
      const std::uint64_t offset = is64 ? d.Get(ph.data() + 8, 8) : d.Get(ph.data() + 4, 4);
      const std::uint64_t size = is64 ? d.Get(ph.data() + 32, 8) : d.Get(ph.data() + 16, 4);
      const std::uint64_t align = is64 ? d.Get(ph.data() + 48, 8) : d.Get(ph.data() + 28, 4);
      if (auto v = FindInArea(file, offset, size, align, d))
        return v;
    }
  }
  return std::nullopt;
}

} // namespace quenloft
