#include "http/IdTCPConnection.h"

#include "http/IdException.h"
#include "http/IdIOHandlerSocket.h"
#include "http/IdWinsockErrors.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace quenloft {

namespace {

// The consumed front of the input buffer is moved away only after this many
// bytes, so that line reads do not copy the buffer on every line.
constexpr std::size_t CompactThreshold = 32768;
// Receives of at least this size go straight into the caller's block
// instead of through the input buffer.
constexpr std::size_t DirectReceiveMinimum = 8192;

} // namespace

// The input buffer (unconsumed bytes are Data[Start, End)), the scratch
// block of stream reads, and the write buffer of a buffered write.
struct TIdTCPConnection::TBuffers {
  std::unique_ptr<char[]> Data;
  std::size_t Capacity = 0;
  std::size_t Start = 0;
  std::size_t End = 0;

  std::unique_ptr<char[]> Scratch;
  std::size_t ScratchSize = 0;

  bool Writing = false;
  std::string WriteData;
  int WriteThreshold = -1;

  std::size_t Size() const { return End - Start; }
  const char* Begin() const { return Data.get() + Start; }

  void Clear()
  {
    Start = 0;
    End = 0;
    // A large buffer left by one big exact read is not kept for good.
    if (Capacity > 4 * 1024 * 1024) {
      Data.reset();
      Capacity = 0;
    }
  }

  void Compact()
  {
    if (Start > 0) {
      std::memmove(Data.get(), Data.get() + Start, Size());
      End -= Start;
      Start = 0;
    }
  }

  // Room for Count more bytes after End.
  char* Reserve(std::size_t Count)
  {
    if (Capacity - End >= Count) {
      return Data.get() + End;
    }
    if (Start > 0 && Capacity - Size() >= Count) {
      Compact();
      return Data.get() + End;
    }
    const std::size_t NewCapacity = std::max(Capacity * 2, Size() + Count);
    std::unique_ptr<char[]> NewData(new char[NewCapacity]);
    if (Size() > 0) {
      std::memcpy(NewData.get(), Data.get() + Start, Size());
    }
    End = Size();
    Start = 0;
    Data = std::move(NewData);
    Capacity = NewCapacity;
    return Data.get() + End;
  }

  void Append(const char* Bytes, std::size_t Count)
  {
    std::memcpy(Reserve(Count), Bytes, Count);
    End += Count;
  }

  void Remove(std::size_t Count)
  {
    Start += Count;
    if (Start == End) {
      Start = 0;
      End = 0;
    } else if (Start >= CompactThreshold && Start >= Size()) {
      // Moving only once the consumed part outweighs the rest keeps the
      // total copying linear even when a large read sits in the buffer.
      Compact();
    }
  }

  char* ScratchBlock(std::size_t Count)
  {
    if (ScratchSize < Count) {
      Scratch.reset(new char[Count]);
      ScratchSize = Count;
    }
    return Scratch.get();
  }
};

TIdTCPConnection::TIdTCPConnection() : FBuffers(std::make_unique<TBuffers>()) {}

TIdTCPConnection::~TIdTCPConnection() = default;

void TIdTCPConnection::SetIOHandler(std::unique_ptr<TIdIOHandler> AHandler)
{
  FIOHandler = std::move(AHandler);
  if (FIOHandler) {
    FIOHandler->SetAbortSignal(ActiveAbortSignal());
  }
  FFreeIOHandlerOnDisconnect = false;
}

std::size_t TIdTCPConnection::InputBufferSize() const
{
  return FBuffers->Size();
}

void TIdTCPConnection::UseAbortSignal(const TIdAbortSignal* ASignal)
{
  FLeaseAbort = ASignal;
  if (FIOHandler)
    FIOHandler->SetAbortSignal(ActiveAbortSignal());
}

std::string_view TIdTCPConnection::InputBuffer() const
{
  return {FBuffers->Begin(), FBuffers->Size()};
}

void TIdTCPConnection::ClearInputBuffer()
{
  FBuffers->Clear();
}

void TIdTCPConnection::RemoveInput(std::size_t ACount)
{
  if (ACount > FBuffers->Size()) {
    throw EIdNotEnoughDataInBuffer();
  }
  FBuffers->Remove(ACount);
  // Taking bytes out of the buffer is read progress (inside a wmRead level).
  DoWork(TWorkMode::wmRead, static_cast<std::int64_t>(ACount));
}

void TIdTCPConnection::OpenIOHandler(const std::string& Host, int Port, int ATimeout)
{
  if (auto* Socket = dynamic_cast<TIdIOHandlerSocket*>(FIOHandler.get())) {
    Socket->OnStatus = [this](TIdStatus AStatus, const std::string& AText) { DoStatus(AStatus, AText); };
  }
  ClearInputBuffer();
  FClosedGracefully = false;
  FBytesReceived = 0;
  FIOHandler->SetAbortSignal(ActiveAbortSignal());
  FIOHandler->Open(Host, Port, ATimeout);
}

void TIdTCPConnection::CheckClosed(bool ARaiseExceptionIfDisconnected, bool AIgnoreBuffer)
{
  const bool Closed = FClosedGracefully || (FIOHandler && !FIOHandler->Allocated());
  if (FClosedGracefully && FIOHandler && FIOHandler->Allocated()) {
    FIOHandler->Close();
    DoStatus(TIdStatus::hsDisconnected);
  }
  if (Closed && ARaiseExceptionIfDisconnected && (AIgnoreBuffer || InputBufferSize() == 0)) {
    throw EIdConnClosedGracefully();
  }
}

bool TIdTCPConnection::Connected()
{
  CheckClosed(false, false);
  return FIOHandler && FIOHandler->Allocated();
}

int TIdTCPConnection::Receive(char* ABuffer, std::size_t ACount, bool ARaiseExceptionIfDisconnected,
                              int ATimeout, bool ARaiseExceptionOnTimeout)
{
  // -1 means ReadTimeout, and a ReadTimeout of 0 waits without limit; any
  // other value is the wait itself (0: only what has arrived already).
  int Wait = ATimeout;
  if (Wait == -1) {
    Wait = ReadTimeout > 0 ? ReadTimeout : -1;
  }
  // Always through the poll, also without a limit: that is where a stop
  // from another thread ends the wait.
  if (!FIOHandler->Readable(Wait)) {
    if (ARaiseExceptionOnTimeout) {
      throw EIdReadTimeout(Wait);
    }
    return -1;
  }
  int Received = 0;
  const int Count = static_cast<int>(std::min<std::size_t>(ACount, std::numeric_limits<int>::max()));
  try {
    Received = FIOHandler->Recv(ABuffer, Count);
  } catch (const EIdSocketError& E) {
    const int Code = E.LastError();
    if (Code != Id_WSAESHUTDOWN && Code != Id_WSAECONNABORTED && Code != Id_WSAECONNRESET) {
      throw;
    }
    FIOHandler->Close();
    // A reset of a connection that still holds data, or one noticed by a
    // mere poll (an idle kept-alive connection the server dropped), counts
    // as a close; otherwise the error stands.
    if (ARaiseExceptionIfDisconnected && InputBufferSize() == 0) {
      throw;
    }
    Received = 0;
  } catch (const EIdReadTimeout&) {
    // A secure transport timed out inside a record: what is left of the
    // stream cannot be decrypted any more, so the connection is over.
    FIOHandler->Close();
    if (ARaiseExceptionOnTimeout) {
      throw;
    }
    Received = 0;
  }
  if (Received == 0) {
    FClosedGracefully = true;
  }
  FBytesReceived += Received;
  return Received;
}

int TIdTCPConnection::FillInputBuffer(bool ARaiseExceptionIfDisconnected, int ATimeout,
                                      bool ARaiseExceptionOnTimeout)
{
  CheckClosed(ARaiseExceptionIfDisconnected, false);
  int Result = 0;
  if (FIOHandler && FIOHandler->Allocated()) {
    do {
      const std::size_t Want = static_cast<std::size_t>(std::max(RecvBufferSize, 1));
      char* Tail = FBuffers->Reserve(Want);
      Result = Receive(Tail, Want, ARaiseExceptionIfDisconnected, ATimeout, ARaiseExceptionOnTimeout);
      if (Result < 0) {
        return -1;
      }
      FBuffers->End += static_cast<std::size_t>(Result);
      CheckClosed(ARaiseExceptionIfDisconnected, false);
    } while (Result == 0 && FIOHandler && FIOHandler->Allocated());
  } else if (ARaiseExceptionIfDisconnected) {
    throw EIdNotConnected();
  }
  return Result;
}

int TIdTCPConnection::PollForClose(bool ARaiseExceptionIfDisconnected, int ATimeout)
{
  return FillInputBuffer(ARaiseExceptionIfDisconnected, ATimeout, false);
}

std::string TIdTCPConnection::ReadLn(std::string_view ATerminator, int ATimeout, int AMaxLineLength)
{
  if (ATerminator.empty()) {
    ATerminator = "\n";
  }
  const std::size_t MaxLength =
      static_cast<std::size_t>(AMaxLineLength < 0 ? std::max(MaxLineLength, 0) : AMaxLineLength);
  ReadLnSplit = false;
  ReadLnTimedOut = false;

  std::size_t SearchFrom = 0;
  while (true) {
    const std::string_view Input(FBuffers->Begin(), FBuffers->Size());
    const std::size_t Found = Input.find(ATerminator, SearchFrom);
    // The length limit counts everything before the terminator, so a CR in
    // front of the LF counts too (a maximum of 0 means no limit).
    const bool TooLong =
        MaxLength > 0 && (Found != std::string_view::npos ? Found > MaxLength : Input.size() > MaxLength);
    if (TooLong) {
      if (MaxLineAction == TIdMaxLineAction::maException) {
        throw EIdReadLnMaxLineLengthExceeded();
      }
      ReadLnSplit = true;
      std::string Line(Input.substr(0, MaxLength));
      RemoveInput(MaxLength);
      return Line;
    }
    if (Found != std::string_view::npos) {
      std::string Line(Input.substr(0, Found));
      RemoveInput(Found + ATerminator.size());
      if (ATerminator == "\n" && !Line.empty() && Line.back() == '\r') {
        Line.pop_back();
      }
      return Line;
    }
    SearchFrom = Input.size() >= ATerminator.size() ? Input.size() - ATerminator.size() + 1 : 0;

    // A close by the peer ends the read even while part of a line waits.
    CheckClosed(true, true);
    if (FillInputBuffer(true, ATimeout, ATimeout == -1) < 0) {
      ReadLnTimedOut = true;
      return {};
    }
  }
}

void TIdTCPConnection::ReadBuffer(void* Buffer, std::size_t Count)
{
  while (InputBufferSize() < Count) {
    FillInputBuffer(true, -1, true);
    CheckClosed(true, true);
  }
  if (Count > 0) {
    std::memcpy(Buffer, FBuffers->Begin(), Count);
    RemoveInput(Count);
  }
}

void TIdTCPConnection::ReadStream(TStream& AStream, std::int64_t AByteCount, bool AReadUntilDisconnect)
{
  if (AByteCount < 0 && !AReadUntilDisconnect) {
    // The count comes first, as a 4-byte integer in network order.
    unsigned char Count[4];
    ReadBuffer(Count, sizeof(Count));
    AByteCount = static_cast<std::int32_t>((std::uint32_t(Count[0]) << 24) | (std::uint32_t(Count[1]) << 16) |
                                           (std::uint32_t(Count[2]) << 8) | std::uint32_t(Count[3]));
    AByteCount = std::max<std::int64_t>(AByteCount, 0);
  }
  if (!AReadUntilDisconnect) {
    // Room for the whole body up front instead of growing with every block;
    // only a hint, so a file never looks complete before its bytes are in.
    AStream.Reserve(AStream.Position() + AByteCount);
  }
  std::int64_t Remaining = AReadUntilDisconnect ? std::numeric_limits<std::int64_t>::max() : AByteCount;

  BeginWork(TWorkMode::wmRead, AReadUntilDisconnect ? 0 : AByteCount);
  // The work level is closed and the stream ends where the writing ended,
  // also after a failure.
  const auto Finish = [&] {
    const std::int64_t Position = AStream.Position();
    if (AStream.Size() > Position) {
      AStream.SetSize(Position);
    }
  };
  try {
    ReadStreamBlocks(AStream, Remaining, AReadUntilDisconnect);
  } catch (...) {
    try {
      Finish();
    } catch (const Exception&) {
      // the first failure is the one to report
    }
    EndWork(TWorkMode::wmRead);
    throw;
  }
  try {
    Finish();
  } catch (...) {
    EndWork(TWorkMode::wmRead);
    throw;
  }
  EndWork(TWorkMode::wmRead);
}

void TIdTCPConnection::ReadStreamBlocks(TStream& AStream, std::int64_t Remaining, bool AReadUntilDisconnect)
{
  const std::int64_t Start = AStream.Position();
  // What arrived together with the head goes first.
  const std::size_t Buffered = static_cast<std::size_t>(
      std::min<std::int64_t>(static_cast<std::int64_t>(InputBufferSize()), Remaining));
  if (Buffered > 0) {
    AStream.WriteBuffer(FBuffers->Begin(), Buffered);
    RemoveInput(Buffered);
    Remaining -= static_cast<std::int64_t>(Buffered);
  }

  // Then every receive as it comes: a slow server shows progress, and meets
  // a stop, with each piece rather than once per block.
  try {
    while (Remaining > 0 && (!AReadUntilDisconnect || Connected())) {
      const std::size_t Want =
          static_cast<std::size_t>(std::min<std::int64_t>(Remaining, std::max(RecvBufferSize, 1)));
      if (InputBufferSize() == 0 && Want >= DirectReceiveMinimum) {
        // Straight from the socket into the stream: no copy through the
        // input buffer, and never past Want, so the bytes after the body
        // stay in the socket.
        CheckClosed(true, true);
        char* Block = FBuffers->ScratchBlock(Want);
        const int Received = Receive(Block, Want, true, -1, true);
        if (Received <= 0) {
          CheckClosed(true, true);
          continue;
        }
        AStream.WriteBuffer(Block, static_cast<std::size_t>(Received));
        DoWork(TWorkMode::wmRead, Received);
        Remaining -= Received;
        continue;
      }
      if (InputBufferSize() == 0) {
        FillInputBuffer(true, -1, true);
        CheckClosed(true, true);
      }
      const std::size_t Take = std::min(InputBufferSize(), Want);
      AStream.WriteBuffer(FBuffers->Begin(), Take);
      RemoveInput(Take);
      Remaining -= static_cast<std::int64_t>(Take);
    }
  } catch (const EIdSocketError& E) {
    // Until the close: a server that resets the connection after its body
    // (closing with our unread bytes on it) ended the body as a close does.
    const int Code = E.LastError();
    if (!AReadUntilDisconnect || AStream.Position() == Start ||
        (Code != Id_WSAESHUTDOWN && Code != Id_WSAECONNABORTED && Code != Id_WSAECONNRESET)) {
      throw;
    }
  } catch (const EIdConnClosedGracefully&) {
    if (!AReadUntilDisconnect) {
      throw;
    }
    // Until the close: everything still buffered belongs to the body (not
    // reported as progress).
    if (InputBufferSize() > 0) {
      AStream.WriteBuffer(FBuffers->Begin(), InputBufferSize());
      FBuffers->Clear();
    }
  }
}

void TIdTCPConnection::Write(std::string_view AOut)
{
  WriteBuffer(AOut.data(), AOut.size());
}

void TIdTCPConnection::WriteLn(std::string_view AOut)
{
  if (FBuffers->Writing) {
    WriteBuffer(AOut.data(), AOut.size());
    WriteBuffer("\r\n", 2);
    return;
  }
  // One send for the line and its end.
  std::string Line;
  Line.reserve(AOut.size() + 2);
  Line.append(AOut);
  Line.append("\r\n");
  WriteBuffer(Line.data(), Line.size());
}

void TIdTCPConnection::SendAll(const char* ABuffer, std::size_t AByteCount)
{
  std::size_t Sent = 0;
  while (Sent < AByteCount) {
    const int Count = static_cast<int>(std::min<std::size_t>(AByteCount - Sent, 1u << 30));
    int Result = 0;
    try {
      Result = FIOHandler->Send(ABuffer + Sent, Count);
    } catch (const EIdSocketError& E) {
      const int Code = E.LastError();
      if (Code == Id_WSAESHUTDOWN || Code == Id_WSAECONNABORTED || Code == Id_WSAECONNRESET) {
        FIOHandler->Close();
      }
      throw;
    }
    if (Result == 0) {
      FClosedGracefully = true;
    }
    CheckClosed(true, false);
    Sent += static_cast<std::size_t>(Result);
    DoWork(TWorkMode::wmWrite, Result);
  }
}

void TIdTCPConnection::WriteBuffer(const void* ABuffer, std::size_t AByteCount, bool AWriteNow)
{
  if (AByteCount == 0) {
    return;
  }
  CheckClosed(true, true);
  if (!FIOHandler || !FIOHandler->Allocated()) {
    throw EIdNotConnected();
  }
  const char* Bytes = static_cast<const char*>(ABuffer);
  if (AWriteNow || !FBuffers->Writing) {
    SendAll(Bytes, AByteCount);
    return;
  }
  FBuffers->WriteData.append(Bytes, AByteCount);
  const int Threshold = FBuffers->WriteThreshold;
  if (Threshold > 0 && FBuffers->WriteData.size() >= static_cast<std::size_t>(Threshold)) {
    std::string Out;
    Out.swap(FBuffers->WriteData);
    SendAll(Out.data(), Out.size());
  }
}

void TIdTCPConnection::BeginBufferedWrite(int AThreshold)
{
  FBuffers->Writing = true;
  FBuffers->WriteData.clear();
  FBuffers->WriteThreshold = AThreshold;
}

void TIdTCPConnection::EndBufferedWrite()
{
  if (!FBuffers->Writing) {
    return;
  }
  // The buffer is dropped also when sending fails.
  std::string Out;
  Out.swap(FBuffers->WriteData);
  FBuffers->Writing = false;
  FBuffers->WriteThreshold = -1;
  WriteBuffer(Out.data(), Out.size(), true);
}

void TIdTCPConnection::Disconnect()
{
  DoStatus(TIdStatus::hsDisconnecting);
  if (FIOHandler) {
    FClosedGracefully = true;
    FIOHandler->Close();
  }
  if (FFreeIOHandlerOnDisconnect) {
    FIOHandler.reset();
    FFreeIOHandlerOnDisconnect = false;
  }
  DoStatus(TIdStatus::hsDisconnected);
}

void TIdTCPClient::Connect(int ATimeout)
{
  if (!IOHandler()) {
    SetIOHandler(std::make_unique<TIdIOHandlerSocket>());
    MarkIOHandlerOwnedByConnect();
  } else if (Connected()) {
    throw EIdAlreadyConnected();
  }
  OpenIOHandler(Host, Port, ATimeout);
}

} // namespace quenloft
