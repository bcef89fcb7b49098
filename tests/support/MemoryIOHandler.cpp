#include "tests/support/MemoryIOHandler.h"

#include "http/IdException.h"
#include "http/IdWinsockErrors.h"

#include <algorithm>
#include <cstring>
#include <random>
#include <stdexcept>

namespace quenloft::testing {

void MemoryIOHandler::AddInput(std::string_view Bytes)
{
  if (!Bytes.empty()) {
    FPieces.emplace_back(Bytes);
  }
}

void MemoryIOHandler::AddInputInPieces(std::string_view Bytes, std::size_t PieceSize)
{
  PieceSize = std::max<std::size_t>(PieceSize, 1);
  while (!Bytes.empty()) {
    const std::size_t N = std::min(PieceSize, Bytes.size());
    AddInput(Bytes.substr(0, N));
    Bytes.remove_prefix(N);
  }
}

void MemoryIOHandler::AddInputRandomly(std::string_view Bytes, std::uint32_t Seed, std::size_t MaxPiece)
{
  std::mt19937 Random(Seed);
  std::uniform_int_distribution<std::size_t> Length(1, std::max<std::size_t>(MaxPiece, 1));
  while (!Bytes.empty()) {
    const std::size_t N = std::min(Length(Random), Bytes.size());
    AddInput(Bytes.substr(0, N));
    Bytes.remove_prefix(N);
  }
}

std::size_t MemoryIOHandler::PendingInput() const
{
  std::size_t Total = 0;
  for (const std::string& Piece : FPieces) {
    Total += Piece.size();
  }
  return Total;
}

void MemoryIOHandler::Open(const std::string& Host, int Port, int /*ATimeout*/)
{
  ++FOpenCalls;
  FOpenedHost = Host;
  FOpenedPort = Port;
  FAllocated = true;
}

void MemoryIOHandler::Close()
{
  if (FAllocated) {
    ++FCloseCalls;
  }
  FAllocated = false;
}

bool MemoryIOHandler::Readable(int /*ATimeout*/)
{
  if (!FAllocated) {
    throw EIdConnClosedGracefully();
  }
  return !FPieces.empty() || FCloseAtEnd || FRecvErrorAtEnd != 0;
}

int MemoryIOHandler::Recv(void* Buffer, int Count)
{
  if (!FAllocated) {
    throw EIdConnClosedGracefully();
  }
  ++FRecvCalls;
  if (FPieces.empty()) {
    if (FRecvErrorAtEnd != 0) {
      RaiseSocketError(FRecvErrorAtEnd);
    }
    if (FCloseAtEnd) {
      return 0;
    }
    throw std::logic_error("MemoryIOHandler: a receive with nothing scripted would wait for ever");
  }
  std::string& Piece = FPieces.front();
  const std::size_t N = std::min(Piece.size(), static_cast<std::size_t>(std::max(Count, 0)));
  std::memcpy(Buffer, Piece.data(), N);
  Piece.erase(0, N);
  if (Piece.empty()) {
    FPieces.pop_front();
  }
  return static_cast<int>(N);
}

int MemoryIOHandler::Send(const void* Buffer, int Count)
{
  if (!FAllocated) {
    throw EIdConnClosedGracefully();
  }
  ++FSendCalls;
  if (FSendErrorCode != 0) {
    RaiseSocketError(FSendErrorCode);
  }
  std::size_t N = static_cast<std::size_t>(std::max(Count, 0));
  if (FMaxSendPiece > 0) {
    N = std::min(N, FMaxSendPiece);
  }
  FSent.append(static_cast<const char*>(Buffer), N);
  return static_cast<int>(N);
}

} // namespace quenloft::testing
