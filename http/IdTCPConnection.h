// TIdTCPConnection: one TCP connection with buffered input (line, block and
// stream reads), buffered output, close detection and the work events of
// body reads. TIdTCPClient adds the host, the port and Connect.
//
// Threads: a connection is used by one thread at a time; its events run on
// that thread.
#pragma once

#include "http/IdAbortSignal.h"
#include "http/IdComponent.h"
#include "http/IdIOHandler.h"
#include "platform/Classes.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace quenloft {

enum class TIdMaxLineAction { maException, maSplit };

class TIdTCPConnection : public TIdComponent {
public:
  TIdTCPConnection();
  ~TIdTCPConnection() override;

  // The transport. Without one, Connect creates a plain socket handler and
  // Disconnect frees it again; a handler set here is kept across connects.
  TIdIOHandler* IOHandler() const { return FIOHandler.get(); }
  void SetIOHandler(std::unique_ptr<TIdIOHandler> AHandler);

  bool Connected();
  virtual void Disconnect();

  // A line without its terminator (LF; one CR before it is dropped too).
  // ATimeout -1 means ReadTimeout; AMaxLineLength -1 means MaxLineLength.
  std::string ReadLn(std::string_view ATerminator = "\n", int ATimeout = -1, int AMaxLineLength = -1);
  // Exactly Count bytes, or EIdConnClosedGracefully.
  void ReadBuffer(void* Buffer, std::size_t Count);
  // AByteCount bytes into AStream (or everything until the peer closes) as
  // one wmRead work level; the stream ends at what was written.
  void ReadStream(TStream& AStream, std::int64_t AByteCount = -1, bool AReadUntilDisconnect = false);
  int FillInputBuffer(bool ARaiseExceptionIfDisconnected, int ATimeout, bool ARaiseExceptionOnTimeout);
  void CheckClosed(bool ARaiseExceptionIfDisconnected, bool AIgnoreBuffer);
  // Takes in what already arrived and notices a close by the peer, waiting
  // at most ATimeout ms.
  int PollForClose(bool ARaiseExceptionIfDisconnected, int ATimeout = 1);

  void Write(std::string_view AOut);
  void WriteLn(std::string_view AOut = {});
  void WriteBuffer(const void* ABuffer, std::size_t AByteCount, bool AWriteNow = false);
  void BeginBufferedWrite(int AThreshold = -1);
  void EndBufferedWrite();

  // Ends the transfer in progress from any thread: every wait of the
  // transport raises EIdAborted at once, and so does every later one until
  // ResetAbort (the owner's thread, between transfers). This is the
  // connection's own signal, for a connection with one user; the program's
  // shared client is stopped through the signal of a TIdTransferLease.
  void Abort() { FAbortSignal.Abort(); }
  void ResetAbort() { FAbortSignal.Reset(); }
  bool AbortRequested() const { return ActiveAbortSignal()->Aborted(); }

  // Bytes received and not yet consumed.
  std::size_t InputBufferSize() const;
  // Those bytes, valid until the next read or write of the connection.
  std::string_view InputBuffer() const;
  // Bytes received since the last connect.
  std::int64_t BytesReceived() const { return FBytesReceived; }
  void ClearInputBuffer();
  bool ClosedGracefully() const { return FClosedGracefully; }

  int ReadTimeout = 0; // ms without a byte; 0 waits without limit
  int MaxLineLength = 16384;
  TIdMaxLineAction MaxLineAction = TIdMaxLineAction::maException;
  int RecvBufferSize = 32768;
  int SendBufferSize = 32768;
  bool ReadLnSplit = false;
  bool ReadLnTimedOut = false;

protected:
  // Used by TIdTCPClient::Connect.
  void OpenIOHandler(const std::string& Host, int Port, int ATimeout);
  // The handler was made by Connect; Disconnect frees it.
  void MarkIOHandlerOwnedByConnect() { FFreeIOHandlerOnDisconnect = true; }

private:
  friend class TIdTransferLease;
  struct TBuffers;
  // The lease's signal while one is held (nullptr: the connection's own).
  void UseAbortSignal(const TIdAbortSignal* ASignal);
  const TIdAbortSignal* ActiveAbortSignal() const { return FLeaseAbort ? FLeaseAbort : &FAbortSignal; }

  // Takes ACount bytes off the input buffer and reports them as read progress.
  void RemoveInput(std::size_t ACount);
  // One receive into ABuffer: > 0 bytes, 0 on a close, -1 on a time-out
  // when that is not to raise. Handles the errors that mean "closed".
  int Receive(char* ABuffer, std::size_t ACount, bool ARaiseExceptionIfDisconnected, int ATimeout,
              bool ARaiseExceptionOnTimeout);
  void ReadStreamBlocks(TStream& AStream, std::int64_t ARemaining, bool AReadUntilDisconnect);
  void SendAll(const char* ABuffer, std::size_t AByteCount);

  std::unique_ptr<TIdIOHandler> FIOHandler;
  bool FFreeIOHandlerOnDisconnect = false;
  bool FClosedGracefully = false;
  std::int64_t FBytesReceived = 0;
  std::unique_ptr<TBuffers> FBuffers;
  TIdAbortSignal FAbortSignal;
  const TIdAbortSignal* FLeaseAbort = nullptr;
};

class TIdTCPClient : public TIdTCPConnection {
public:
  std::string Host;
  int Port = 0;

  // Raises EIdAlreadyConnected when connected; see TIdIOHandler::Open for the rest.
  void Connect(int ATimeout = 0);
};

} // namespace quenloft
