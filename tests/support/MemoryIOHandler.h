// A transport for tests that needs no network: the bytes it "receives" are
// scripted pieces (each receive returns at most one piece, so a test picks
// the split points), a close or a socket error can follow them, and every
// byte sent is recorded.
//
// A receive with nothing scripted and no close would wait for ever on a
// real socket; here it raises std::logic_error so that the test fails.
// Readable() answers at once: true while a piece, a close or an error is
// pending, false (a time-out) otherwise.
//
// Threads: used by the test's thread only.
#pragma once

#include "http/IdIOHandler.h"

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>

namespace quenloft::testing {

class MemoryIOHandler : public TIdIOHandler {
public:
  // One piece: a single receive returns at most these bytes.
  void AddInput(std::string_view Bytes);
  // Bytes split into pieces of PieceSize (1: byte by byte).
  void AddInputInPieces(std::string_view Bytes, std::size_t PieceSize);
  // Bytes split at random points (reproducible by Seed), pieces of 1 to
  // MaxPiece bytes.
  void AddInputRandomly(std::string_view Bytes, std::uint32_t Seed, std::size_t MaxPiece = 64);
  // After the scripted pieces the peer closes (receive returns 0).
  void CloseAfterInput() { FCloseAtEnd = true; }
  // After the scripted pieces a receive raises EIdSocketError(Code).
  void FailAfterInput(int Code) { FRecvErrorAtEnd = Code; }
  // Each send takes at most this many bytes (0: everything at once).
  void LimitSendPieces(std::size_t MaxPiece) { FMaxSendPiece = MaxPiece; }
  // Sends raise EIdSocketError(Code) from now on (0: they work again).
  void FailSends(int Code) { FSendErrorCode = Code; }
  // What Secure() reports.
  void SetSecure(bool Value) { FSecure = Value; }

  // Everything sent so far, and how many send calls carried it.
  const std::string& Sent() const { return FSent; }
  int SendCalls() const { return FSendCalls; }
  int RecvCalls() const { return FRecvCalls; }
  int OpenCalls() const { return FOpenCalls; }
  int CloseCalls() const { return FCloseCalls; }
  const std::string& OpenedHost() const { return FOpenedHost; }
  int OpenedPort() const { return FOpenedPort; }
  // Bytes scripted and not received yet.
  std::size_t PendingInput() const;

  void Open(const std::string& Host, int Port, int ATimeout) override;
  void Close() override;
  bool Allocated() const override { return FAllocated; }
  bool Readable(int ATimeout) override;
  int Recv(void* Buffer, int Count) override;
  int Send(const void* Buffer, int Count) override;
  bool Secure() const override { return FSecure; }
  std::string PeerIP() const override { return "127.0.0.1"; }

private:
  std::deque<std::string> FPieces;
  bool FCloseAtEnd = false;
  int FRecvErrorAtEnd = 0;
  std::size_t FMaxSendPiece = 0;
  int FSendErrorCode = 0;
  bool FSecure = false;
  bool FAllocated = false;
  std::string FSent;
  int FSendCalls = 0;
  int FRecvCalls = 0;
  int FOpenCalls = 0;
  int FCloseCalls = 0;
  std::string FOpenedHost;
  int FOpenedPort = 0;
};

} // namespace quenloft::testing
