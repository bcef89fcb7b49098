// A loopback server for tests of the HTTP client's odd cases: each accepted
// connection runs a script that reads request heads and sends exact bytes,
// sleeps, cuts or closes; Replay's answers also stall, drip, never end or
// drop a kept-alive connection. Every request head it reads is recorded.
//
// Listens on 127.0.0.1 at a free port unless told another loopback address
// (127.0.0.2 and so on stand in for other hosts; "::1" for IPv6) or port.
// Every read waits at most a bounded time, and the destructor stops the
// server and joins all its threads.
// Threads: each connection's script runs on a thread of its own; the
// accessors may be called from the test's thread at any time.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <list>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace quenloft::testing {

class ScriptedServer;

class ScriptedConnection {
public:
  ScriptedConnection(ScriptedServer& Server, int Socket) : FServer(Server), FSocket(Socket) {}

  // One request head through its blank line (recorded by the server), or ""
  // when the peer closed or Timeout passed. A body is not read.
  std::string ReadRequest(std::chrono::milliseconds Timeout = std::chrono::seconds(5));
  // Sends the bytes; false when the peer is gone (which is not an error).
  bool Send(std::string_view Bytes);
  // Sends Bytes in pieces of PieceSize with Pause between them.
  void SendSlowly(std::string_view Bytes, std::size_t PieceSize, std::chrono::milliseconds Pause);
  void Sleep(std::chrono::milliseconds Duration);
  // True when the peer closed its side within Timeout.
  bool WaitForPeerClose(std::chrono::milliseconds Timeout = std::chrono::seconds(5));
  // Closes the connection now (the script may still return normally).
  void Close();
  bool Stopping() const;

private:
  ScriptedServer& FServer;
  int FSocket;
  std::string FPending; // bytes read past the last request head
};

// One canned answer of Replay, with the directives of hostile servers.
struct ScriptedAnswer {
  std::string Bytes = {};
  bool CloseAfter = false;            // close the connection after sending
  std::chrono::milliseconds Delay{0}; // wait before sending
  // > 0: Bytes go out one byte per Drip (a server that drips).
  std::chrono::milliseconds Drip{0};
  // After Bytes, this piece again and again until the client goes (an
  // endless body).
  std::string Endless = {};
  // After Bytes (a head, or a head and part of a body), nothing more until
  // the client goes (a stalled server).
  bool Stall = false;
  // The request is read and the connection closed without an answer: the
  // server closed a kept-alive connection as the request came.
  bool DropRequest = false;
};

class ScriptedServer {
public:
  using Script = std::function<void(ScriptedConnection&)>;

  // Raises std::runtime_error when it cannot listen there (no IPv6 on the
  // loopback, a port in use, no right to a port below 1024).
  explicit ScriptedServer(Script OnConnection, const std::string& Address = "127.0.0.1", int Port = 0);
  ~ScriptedServer();
  ScriptedServer(const ScriptedServer&) = delete;
  ScriptedServer& operator=(const ScriptedServer&) = delete;

  int Port() const { return FPort; }
  // "http://127.0.0.1:<port>" + Path (an IPv6 address in brackets)
  std::string Url(std::string_view Path = "/") const;
  // The address listened on, as given ("::1" without brackets).
  const std::string& Address() const { return FAddress; }
  // Every request head read so far, in arrival order.
  std::vector<std::string> Requests() const;
  int ConnectionCount() const { return FConnections.load(); }

  // A script that answers each request with the next answer of the list
  // (shared by all connections, in order) and closes the connection when
  // the list is used up.
  static Script Replay(std::vector<ScriptedAnswer> Answers);
  static Script Replay(std::vector<std::string> Answers);

private:
  friend class ScriptedConnection;
  void AcceptLoop();
  void Record(std::string Request);

  Script FScript;
  std::string FAddress;
  int FListen = -1;
  int FPort = 0;
  std::atomic<bool> FStopping{false};
  std::atomic<int> FConnections{0};
  mutable std::mutex FLock;
  std::vector<std::string> FRequests;
  std::list<int> FSockets;
  std::list<std::thread> FThreads;
  std::thread FAcceptor;
};

} // namespace quenloft::testing
