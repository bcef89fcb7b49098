#include "platform/Classes.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quenloft {

EReadError::EReadError() : EStreamError("Stream read error") {}
EWriteError::EWriteError() : EStreamError("Stream write error") {}
EWriteError::EWriteError(const std::string& FileName, const std::string& Reason)
    : EStreamError("Cannot write file \"" + FileName + "\". " + Reason)
{}

EFOpenError::EFOpenError(const std::string& FileName, const std::string& Reason)
    : EStreamError("Cannot open file \"" + FileName + "\". " + Reason)
{}

EFCreateError::EFCreateError(const std::string& FileName, const std::string& Reason)
    : EStreamError("Cannot create file \"" + FileName + "\". " + Reason)
{}

std::string ExpandFileName(const std::string& FileName)
{
  std::error_code ec;
  auto full = std::filesystem::absolute(FileName, ec);
  if (ec)
    return FileName;
  return full.lexically_normal().string();
}

std::string SysErrorMessage(int ErrorCode)
{
  // strerror may share one buffer between threads; workers call this too.
  char buffer[256];
  return ::strerror_r(ErrorCode, buffer, sizeof buffer);
}

std::int64_t TStream::Size()
{
  const std::int64_t pos = Seek(0, TSeekOrigin::soCurrent);
  const std::int64_t end = Seek(0, TSeekOrigin::soEnd);
  Seek(pos, TSeekOrigin::soBeginning);
  return end;
}

void TStream::ReadBuffer(void* Buffer, std::size_t Count)
{
  auto* out = static_cast<char*>(Buffer);
  while (Count > 0) {
    const std::size_t got = Read(out, Count);
    if (got == 0)
      throw EReadError();
    out += got;
    Count -= got;
  }
}

void TStream::WriteBuffer(const void* Buffer, std::size_t Count)
{
  if (Count > 0 && Write(Buffer, Count) != Count)
    throw EWriteError();
}

std::size_t TMemoryStream::Read(void* Buffer, std::size_t Count)
{
  if (FPosition >= FData.size())
    return 0;
  const std::size_t n = std::min(Count, FData.size() - FPosition);
  std::memcpy(Buffer, FData.data() + FPosition, n);
  FPosition += n;
  return n;
}

std::size_t TMemoryStream::Write(const void* Buffer, std::size_t Count)
{
  if (Count == 0)
    return 0;
  if (FPosition + Count > FData.size())
    FData.resize(FPosition + Count);
  std::memcpy(FData.data() + FPosition, Buffer, Count);
  FPosition += Count;
  return Count;
}

std::int64_t TMemoryStream::Seek(std::int64_t Offset, TSeekOrigin Origin)
{
  std::int64_t base = 0;
  if (Origin == TSeekOrigin::soCurrent)
    base = static_cast<std::int64_t>(FPosition);
  else if (Origin == TSeekOrigin::soEnd)
    base = static_cast<std::int64_t>(FData.size());
  FPosition = static_cast<std::size_t>(std::max<std::int64_t>(0, base + Offset));
  return static_cast<std::int64_t>(FPosition);
}

void TMemoryStream::SetSize(std::int64_t NewSize)
{
  FData.resize(static_cast<std::size_t>(std::max<std::int64_t>(0, NewSize)));
  FPosition = std::min(FPosition, FData.size());
}

void TMemoryStream::Reserve(std::int64_t NewSize)
{
  constexpr std::int64_t MaxReserve = 64 << 20;
  if (NewSize > 0 && NewSize <= MaxReserve)
    FData.reserve(static_cast<std::size_t>(NewSize));
}

TFileStream::TFileStream(const std::string& FileName, unsigned Mode) : FFileName(FileName)
{
  const bool creating = (Mode & (fmCreate | fmCreateNew)) != 0;
  int flags = O_CLOEXEC;
  if (creating) {
    flags |= O_RDWR | O_CREAT | ((Mode & fmCreateNew) ? O_EXCL : O_TRUNC);
  } else if ((Mode & 0x3) == fmOpenWrite) {
    flags |= O_WRONLY;
  } else if ((Mode & 0x3) == fmOpenReadWrite) {
    flags |= O_RDWR;
  } else {
    flags |= O_RDONLY;
  }
  FHandle = ::open(FileName.c_str(), flags, 0644);
  if (FHandle < 0) {
    const int err = errno;
    if (creating)
      throw EFCreateError(ExpandFileName(FileName), SysErrorMessage(err));
    throw EFOpenError(ExpandFileName(FileName), SysErrorMessage(err));
  }
  int lock = 0;
  if (Mode & fmShareExclusive)
    lock = LOCK_EX;
  else if (Mode & fmShareDenyWrite)
    lock = LOCK_SH;
  if (lock != 0 && ::flock(FHandle, lock | LOCK_NB) != 0) {
    ::close(FHandle);
    FHandle = -1;
    const std::string reason =
        "The process cannot access the file because it is being used by another process.";
    if (creating)
      throw EFCreateError(ExpandFileName(FileName), reason);
    throw EFOpenError(ExpandFileName(FileName), reason);
  }
  if (creating)
    FSize = 0;
}

TFileStream::~TFileStream()
{
  Close();
}

void TFileStream::Close()
{
  if (FHandle >= 0) {
    ::close(FHandle);
    FHandle = -1;
  }
}

std::size_t TFileStream::Read(void* Buffer, std::size_t Count)
{
  for (;;) {
    const ssize_t n = ::pread(FHandle, Buffer, Count, FPosition);
    if (n >= 0) {
      FPosition += n;
      return static_cast<std::size_t>(n);
    }
    if (errno != EINTR)
      return 0;
  }
}

std::size_t TFileStream::Write(const void* Buffer, std::size_t Count)
{
  const auto* in = static_cast<const char*>(Buffer);
  std::size_t done = 0;
  while (done < Count) {
    const ssize_t n = ::pwrite(FHandle, in + done, Count - done, FPosition);
    if (n < 0) {
      if (errno == EINTR)
        continue;
      // The system's reason goes with the failure: "Stream write error"
      // alone does not say that the disk is full.
      throw EWriteError(ExpandFileName(FFileName), SysErrorMessage(errno));
    }
    done += static_cast<std::size_t>(n);
    FPosition += n;
    if (FSize >= 0 && FPosition > FSize)
      FSize = FPosition;
  }
  return done;
}

std::int64_t TFileStream::Seek(std::int64_t Offset, TSeekOrigin Origin)
{
  std::int64_t base = 0;
  if (Origin == TSeekOrigin::soCurrent) {
    base = FPosition;
  } else if (Origin == TSeekOrigin::soEnd) {
    base = FSize;
    struct stat info {};
    if (base < 0) {
      if (::fstat(FHandle, &info) != 0)
        return -1;
      base = info.st_size;
    }
  }
  // As lseek: no position before the start.
  if (base + Offset < 0)
    return -1;
  FPosition = base + Offset;
  return FPosition;
}

void TFileStream::SetSize(std::int64_t NewSize)
{
  if (::ftruncate(FHandle, NewSize) != 0)
    throw EWriteError(ExpandFileName(FFileName), SysErrorMessage(errno));
  if (FSize >= 0)
    FSize = NewSize;
  if (Position() > NewSize)
    SetPosition(NewSize);
}

} // namespace quenloft
