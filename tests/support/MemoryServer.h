// An in-memory stand-in for the HTTP client's transport: each connection the
// client opens gets the next list of canned replies (one per request, then a
// close), handed out in pieces of a chosen size, and every byte the client
// sends is recorded per connection. No sockets.
//
// Header only, so the fuzz targets can use it without the test library.
// Threads: one client on one thread.
#pragma once

#include "http/IdException.h"
#include "http/IdHTTP.h"
#include "http/IdIOHandler.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace quenloft::testing {

// The replies of one connection, in order. Reply i is sent once the client
// has sent its (i+1)-th request head; after the last reply the server
// closes.
using Replies = std::vector<std::string>;

struct MemoryServer {
  struct Connection {
    std::string Host;
    int Port = 0;
    bool Secure = false;
    Replies Pending;       // replies not sent yet
    std::string Available; // bytes sent and not yet received by the client
    std::string Received;  // bytes the client sent
    bool Closed = false;   // closed by the client

    // Releases the replies that the requests received so far ask for.
    void Answer()
    {
      std::size_t Heads = 0;
      for (std::size_t At = Received.find("\r\n\r\n"); At != std::string::npos;
           At = Received.find("\r\n\r\n", At + 4))
        ++Heads;
      while (Sent < Heads && !Pending.empty()) {
        Available += Pending.front();
        Pending.erase(Pending.begin());
        ++Sent;
      }
    }
    // Nothing to send and nothing more to come: the server has closed.
    bool ServerClosed() const { return Available.empty() && Pending.empty(); }
    std::size_t Sent = 0;
  };

  // One list of replies per connection, in the order the client opens them.
  std::vector<Replies> Answers;
  // Size of the next piece a receive hands out (at least 1); default: all.
  std::function<std::size_t()> NextPiece;
  // A secure open fails with this text (a failed handshake), when set.
  std::string TLSFailure;
  std::vector<Connection> Connections;

  // Byte by byte.
  void SplitBytewise() { NextPiece = [] { return std::size_t(1); }; }
  // Pieces of random size from 1 to AMax, reproducible by ASeed.
  void SplitRandomly(unsigned ASeed, std::size_t AMax = 64)
  {
    auto Engine = std::make_shared<std::mt19937>(ASeed);
    NextPiece = [Engine, AMax] {
      return std::uniform_int_distribution<std::size_t>(1, AMax)(*Engine);
    };
  }
};

class MemoryTransport : public TIdIOHandler {
public:
  MemoryTransport(MemoryServer& AServer, bool ASecure) : FServer(AServer), FSecure(ASecure) {}

  void Open(const std::string& Host, int Port, int) override
  {
    if (FSecure && !FServer.TLSFailure.empty())
      throw EIdTLSError(FServer.TLSFailure);
    const std::size_t Index = FServer.Connections.size();
    if (Index >= FServer.Answers.size())
      throw EIdSocketError(10061, "Socket Error # 10061\r\nConnection refused.");
    MemoryServer::Connection C;
    C.Host = Host;
    C.Port = Port;
    C.Secure = FSecure;
    C.Pending = FServer.Answers[Index];
    FServer.Connections.push_back(std::move(C));
    FIndex = static_cast<int>(Index);
  }
  void Close() override
  {
    if (FIndex >= 0)
      FServer.Connections[static_cast<std::size_t>(FIndex)].Closed = true;
    FIndex = -1;
  }
  bool Allocated() const override { return FIndex >= 0; }
  // A server that has not been asked yet sends nothing.
  bool Readable(int) override
  {
    const auto& C = Current();
    return !C.Available.empty() || C.ServerClosed();
  }
  int Recv(void* Buffer, int Count) override
  {
    std::string& Bytes = Current().Available;
    std::size_t N = std::min(Bytes.size(), static_cast<std::size_t>(Count));
    if (FServer.NextPiece)
      N = std::min(N, std::max<std::size_t>(FServer.NextPiece(), 1));
    std::memcpy(Buffer, Bytes.data(), N);
    Bytes.erase(0, N);
    return static_cast<int>(N); // 0: closed (or waiting for a request that never comes)
  }
  int Send(const void* Buffer, int Count) override
  {
    auto& C = Current();
    C.Received.append(static_cast<const char*>(Buffer), static_cast<std::size_t>(Count));
    C.Answer();
    return Count;
  }
  bool Secure() const override { return FSecure; }

private:
  MemoryServer::Connection& Current() const
  {
    if (FIndex < 0)
      throw EIdSocketError(10058, "Socket Error # 10058\r\nCannot send or receive after socket is closed.");
    return FServer.Connections[static_cast<std::size_t>(FIndex)];
  }

  MemoryServer& FServer;
  bool FSecure;
  int FIndex = -1;
};

// The client with every connection made over MemoryServer.
class MemoryHTTP : public TIdHTTP {
public:
  explicit MemoryHTTP(MemoryServer& AServer) : FServer(AServer) {}

protected:
  std::unique_ptr<TIdIOHandler> CreateIOHandler(bool ASecure) override
  {
    return std::make_unique<MemoryTransport>(FServer, ASecure);
  }

private:
  MemoryServer& FServer;
};

} // namespace quenloft::testing
