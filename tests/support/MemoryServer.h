// An in-memory stand-in for the servers the HTTP client talks to: each
// connection the client opens gets the next list of canned replies (one per
// request, then a close), handed out in pieces of a chosen size, and every
// byte the client sends is recorded per connection. No sockets: the client's
// transport is a MemoryIOHandler with this server as its peer.
//
// Header only, so the fuzz targets can use it without the test library.
// Threads: one client on one thread.
#pragma once

#include "http/IdException.h"
#include "http/IdHTTP.h"
#include "tests/support/MemoryIOHandler.h"

#include <functional>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace quenloft::testing {

// The replies of one connection, in order. Reply i is sent once the client
// has sent its (i+1)-th request head; after the last reply the server
// closes.
using Replies = std::vector<std::string>;

struct MemoryServer : MemoryIOHandler::Peer {
  struct Connection {
    std::string Host;
    int Port = 0;
    bool Secure = false;
    Replies Pending;      // replies not sent yet
    std::string Received; // bytes the client sent
    bool Closed = false;  // closed by the client
    std::size_t Sent = 0; // replies sent
  };

  // One list of replies per connection, in the order the client opens them.
  std::vector<Replies> Answers;
  // Size of the next piece a receive hands out (at least 1); default: all.
  std::function<std::size_t()> NextPiece;
  // A secure open fails with this text (a failed handshake), when set.
  std::string TLSFailure;
  std::vector<Connection> Connections;

  // Byte by byte.
  void SplitBytewise()
  {
    NextPiece = [] { return std::size_t(1); };
  }
  // Pieces of random size from 1 to AMax, reproducible by ASeed.
  void SplitRandomly(unsigned ASeed, std::size_t AMax = 64)
  {
    auto Engine = std::make_shared<std::mt19937>(ASeed);
    NextPiece = [Engine, AMax] { return std::uniform_int_distribution<std::size_t>(1, AMax)(*Engine); };
  }

  void Opened(MemoryIOHandler& Transport, const std::string& Host, int Port) override
  {
    if (Transport.Secure() && !TLSFailure.empty())
      throw EIdTLSError(TLSFailure);
    const std::size_t Index = Connections.size();
    if (Index >= Answers.size())
      throw EIdSocketError(10061, "Socket Error # 10061\r\nConnection refused.");
    Connection C;
    C.Host = Host;
    C.Port = Port;
    C.Secure = Transport.Secure();
    C.Pending = Answers[Index];
    Connections.push_back(std::move(C));
    FOpen[&Transport] = Index;
    Answer(Transport);
  }
  void Received(MemoryIOHandler& Transport, std::string_view Bytes) override
  {
    Of(Transport).Received.append(Bytes);
    Answer(Transport);
  }
  void Closed(MemoryIOHandler& Transport) override
  {
    Of(Transport).Closed = true;
    FOpen.erase(&Transport);
  }

private:
  Connection& Of(const MemoryIOHandler& Transport) { return Connections[FOpen.at(&Transport)]; }

  // Releases the replies that the requests received so far ask for; once
  // the last one is out, the server closes.
  void Answer(MemoryIOHandler& Transport)
  {
    Connection& C = Of(Transport);
    std::size_t Heads = 0;
    for (std::size_t At = C.Received.find("\r\n\r\n"); At != std::string::npos;
         At = C.Received.find("\r\n\r\n", At + 4))
      ++Heads;
    while (C.Sent < Heads && !C.Pending.empty()) {
      std::string_view Reply = C.Pending.front();
      while (!Reply.empty()) {
        const std::size_t N = NextPiece ? std::max<std::size_t>(NextPiece(), 1) : Reply.size();
        Transport.AddInput(Reply.substr(0, N));
        Reply.remove_prefix(std::min(N, Reply.size()));
      }
      C.Pending.erase(C.Pending.begin());
      ++C.Sent;
    }
    if (C.Pending.empty())
      Transport.CloseAfterInput();
  }

  std::map<const MemoryIOHandler*, std::size_t> FOpen;
};

// The client with every connection made over MemoryServer.
class MemoryHTTP : public TIdHTTP {
public:
  explicit MemoryHTTP(MemoryServer& AServer) : FServer(AServer) {}

protected:
  std::unique_ptr<TIdIOHandler> CreateIOHandler(bool ASecure) override
  {
    return std::make_unique<MemoryIOHandler>(FServer, ASecure);
  }

private:
  MemoryServer& FServer;
};

} // namespace quenloft::testing
