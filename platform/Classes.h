// The small run-time base the rest of the program stands on: the general
// exception class and the byte streams (memory and file) that the HTTP
// client writes bodies into and the SWF reader reads headers from.
//
// Threads: a stream object is used by one thread at a time.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace quenloft {

// The general exception class. Every failure the program raises derives
// from it; thread guards catch it and hand its message on.
class Exception : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

class EStreamError : public Exception {
public:
  using Exception::Exception;
};
// "Stream read error": fewer bytes than asked for were available.
class EReadError : public EStreamError {
public:
  EReadError();
};
// "Stream write error": the stream took fewer bytes than it was given; or,
// from a file, "Cannot write file "%s". %s" with the system's reason (say
// "No space left on device").
class EWriteError : public EStreamError {
public:
  EWriteError();
  EWriteError(const std::string& FileName, const std::string& Reason);
};
// "Cannot open file "%s". %s"
class EFOpenError : public EStreamError {
public:
  EFOpenError(const std::string& FileName, const std::string& Reason);
};
// "Cannot create file "%s". %s"
class EFCreateError : public EStreamError {
public:
  EFCreateError(const std::string& FileName, const std::string& Reason);
};

enum class TSeekOrigin { soBeginning, soCurrent, soEnd };

class TStream {
public:
  virtual ~TStream() = default;

  // Reads up to Count bytes; returns how many were read (0 at the end).
  virtual std::size_t Read(void* Buffer, std::size_t Count) = 0;
  // Writes Count bytes; returns how many were written.
  virtual std::size_t Write(const void* Buffer, std::size_t Count) = 0;
  virtual std::int64_t Seek(std::int64_t Offset, TSeekOrigin Origin) = 0;
  // Grows or cuts the stream; the position stays unless it lies beyond the end.
  virtual void SetSize(std::int64_t NewSize) = 0;
  // A hint that the stream will soon hold about NewSize bytes. It never
  // changes the content: a file is not grown ahead of its data, so a
  // transfer that is killed half-way leaves a file of just the bytes that
  // arrived, never one of full size with a zero-filled tail.
  virtual void Reserve(std::int64_t NewSize) { (void)NewSize; }

  std::int64_t Position() { return Seek(0, TSeekOrigin::soCurrent); }
  void SetPosition(std::int64_t Pos) { Seek(Pos, TSeekOrigin::soBeginning); }
  std::int64_t Size();

  // Exactly Count bytes or EReadError.
  void ReadBuffer(void* Buffer, std::size_t Count);
  // Exactly Count bytes or EWriteError.
  void WriteBuffer(const void* Buffer, std::size_t Count);
  void WriteBuffer(std::string_view Bytes) { WriteBuffer(Bytes.data(), Bytes.size()); }
};

// A growable in-memory stream.
class TMemoryStream : public TStream {
public:
  TMemoryStream() = default;
  explicit TMemoryStream(std::string Bytes) : FData(std::move(Bytes)) {}

  std::size_t Read(void* Buffer, std::size_t Count) override;
  std::size_t Write(const void* Buffer, std::size_t Count) override;
  std::int64_t Seek(std::int64_t Offset, TSeekOrigin Origin) override;
  void SetSize(std::int64_t NewSize) override;
  // Reserves memory up to a sane bound: the size comes from the peer.
  void Reserve(std::int64_t NewSize) override;

  const std::string& Bytes() const { return FData; }
  std::string TakeBytes()
  {
    FPosition = 0;
    return std::move(FData);
  }
  void Clear()
  {
    FData.clear();
    FPosition = 0;
  }

private:
  std::string FData;
  std::size_t FPosition = 0;
};

// File open modes. The sharing modes are kept with advisory locks (flock),
// so they hold between the streams of this program.
enum TFileMode : unsigned {
  fmOpenRead = 0x0000,
  fmOpenWrite = 0x0001,
  fmOpenReadWrite = 0x0002,
  fmShareExclusive = 0x0010, // no other stream of ours may hold the file
  fmShareDenyWrite = 0x0020,
  fmCreate = 0x1000,    // create or truncate
  fmCreateNew = 0x2000, // create; fail when the file exists already
};

class TFileStream : public TStream {
public:
  // Raises EFOpenError, or EFCreateError for the create modes.
  TFileStream(const std::string& FileName, unsigned Mode);
  ~TFileStream() override;
  TFileStream(const TFileStream&) = delete;
  TFileStream& operator=(const TFileStream&) = delete;

  std::size_t Read(void* Buffer, std::size_t Count) override;
  // Raises EWriteError with the system's reason when the system refuses
  // (a full disk, a quota); the bytes written before that stay written.
  std::size_t Write(const void* Buffer, std::size_t Count) override;
  std::int64_t Seek(std::int64_t Offset, TSeekOrigin Origin) override;
  void SetSize(std::int64_t NewSize) override;

  const std::string& FileName() const { return FFileName; }
  int Handle() const { return FHandle; }
  void Close();

private:
  std::string FFileName;
  int FHandle = -1;
  // The stream keeps its own position (reads and writes go to it with
  // pread / pwrite), so asking for it costs no system call. The size is
  // kept too for a file this stream created: nobody else writes to it.
  std::int64_t FPosition = 0;
  std::int64_t FSize = -1; // -1: ask the system
};

// The full form of a path ("/abs/dir/name" for "name"), as error texts show it.
std::string ExpandFileName(const std::string& FileName);
// The system's text for an errno value.
std::string SysErrorMessage(int ErrorCode);

} // namespace quenloft
