// A transport for tests that needs no network: the bytes it "receives" are
// scripted pieces (each receive returns at most one piece, so a test picks
// the split points), a close or a socket error can follow them, and every
// byte sent is recorded.
//
// A test scripts the input itself, or a peer does it (MemoryServer): the
// peer hears of every open, every byte sent and every close, and answers by
// scripting more input.
//
// A receive with nothing scripted and no close would wait for ever on a
// real socket; here it raises std::logic_error so that the test fails. With
// a peer it reads as a close instead: the peer waits for a request that
// never comes, and a client that asked Readable first was told so already.
// Readable() answers at once: true while a piece, a close or an error is
// pending, false (a time-out) otherwise.
//
// Header only, so the fuzz targets can use it without the test library.
// Threads: used by the test's thread only.
#pragma once

#include "http/IdException.h"
#include "http/IdIOHandler.h"
#include "http/IdWinsockErrors.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <deque>
#include <random>
#include <stdexcept>
#include <string>
#include <string_view>

namespace quenloft::testing {

class MemoryIOHandler : public TIdIOHandler {
public:
  // The other end of the connection.
  class Peer {
  public:
    virtual ~Peer() = default;
    // A connection opens; raising an exception fails the open.
    virtual void Opened(MemoryIOHandler& Transport, const std::string& Host, int Port) = 0;
    // The client sent Bytes over Transport.
    virtual void Received(MemoryIOHandler& Transport, std::string_view Bytes) = 0;
    // The client closed Transport's connection.
    virtual void Closed(MemoryIOHandler& Transport) = 0;
  };

  MemoryIOHandler() = default;
  // A transport whose input comes from APeer; each open starts with none.
  MemoryIOHandler(Peer& APeer, bool ASecure) : FPeer(&APeer), FSecure(ASecure) {}

  // One piece: a single receive returns at most these bytes.
  void AddInput(std::string_view Bytes)
  {
    if (!Bytes.empty())
      FPieces.emplace_back(Bytes);
  }
  // Bytes split into pieces of PieceSize (1: byte by byte).
  void AddInputInPieces(std::string_view Bytes, std::size_t PieceSize)
  {
    PieceSize = std::max<std::size_t>(PieceSize, 1);
    while (!Bytes.empty()) {
      const std::size_t N = std::min(PieceSize, Bytes.size());
      AddInput(Bytes.substr(0, N));
      Bytes.remove_prefix(N);
    }
  }
  // Bytes split at random points (reproducible by Seed), pieces of 1 to
  // MaxPiece bytes.
  void AddInputRandomly(std::string_view Bytes, std::uint32_t Seed, std::size_t MaxPiece = 64)
  {
    std::mt19937 Random(Seed);
    std::uniform_int_distribution<std::size_t> Length(1, std::max<std::size_t>(MaxPiece, 1));
    while (!Bytes.empty()) {
      const std::size_t N = std::min(Length(Random), Bytes.size());
      AddInput(Bytes.substr(0, N));
      Bytes.remove_prefix(N);
    }
  }
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
  std::size_t PendingInput() const
  {
    std::size_t Total = 0;
    for (const std::string& Piece : FPieces)
      Total += Piece.size();
    return Total;
  }

  void Open(const std::string& Host, int Port, int /*ATimeout*/) override
  {
    if (FPeer) {
      FPieces.clear();
      FCloseAtEnd = false;
      FRecvErrorAtEnd = 0;
      FPeer->Opened(*this, Host, Port);
    }
    ++FOpenCalls;
    FOpenedHost = Host;
    FOpenedPort = Port;
    FAllocated = true;
  }
  void Close() override
  {
    if (FAllocated) {
      ++FCloseCalls;
      if (FPeer)
        FPeer->Closed(*this);
    }
    FAllocated = false;
  }
  bool Allocated() const override { return FAllocated; }
  bool Readable(int /*ATimeout*/) override
  {
    if (!FAllocated)
      throw EIdConnClosedGracefully();
    return !FPieces.empty() || FCloseAtEnd || FRecvErrorAtEnd != 0;
  }
  int Recv(void* Buffer, int Count) override
  {
    if (!FAllocated)
      throw EIdConnClosedGracefully();
    ++FRecvCalls;
    if (FPieces.empty()) {
      if (FRecvErrorAtEnd != 0)
        RaiseSocketError(FRecvErrorAtEnd);
      if (FCloseAtEnd || FPeer)
        return 0;
      throw std::logic_error("MemoryIOHandler: a receive with nothing scripted would wait for ever");
    }
    std::string& Piece = FPieces.front();
    const std::size_t N = std::min(Piece.size(), static_cast<std::size_t>(std::max(Count, 0)));
    std::memcpy(Buffer, Piece.data(), N);
    Piece.erase(0, N);
    if (Piece.empty())
      FPieces.pop_front();
    return static_cast<int>(N);
  }
  int Send(const void* Buffer, int Count) override
  {
    if (!FAllocated)
      throw EIdConnClosedGracefully();
    ++FSendCalls;
    if (FSendErrorCode != 0)
      RaiseSocketError(FSendErrorCode);
    std::size_t N = static_cast<std::size_t>(std::max(Count, 0));
    if (FMaxSendPiece > 0)
      N = std::min(N, FMaxSendPiece);
    const std::string_view Bytes(static_cast<const char*>(Buffer), N);
    FSent.append(Bytes);
    if (FPeer)
      FPeer->Received(*this, Bytes);
    return static_cast<int>(N);
  }
  bool Secure() const override { return FSecure; }
  std::string PeerIP() const override { return "127.0.0.1"; }

private:
  Peer* FPeer = nullptr;
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
