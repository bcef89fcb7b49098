// HTTPS transport against a small TLS server on loopback: a trusted
// certificate works (by name and by address), an untrusted chain or a
// certificate for another name stops the connection before any request
// byte goes out, decrypted bytes held by the TLS layer count as readable,
// and both a close_notify and a bare TCP close end a read until close.
#include "http/IdException.h"
#include "http/IdSSLOpenSSL.h"
#include "http/IdTCPConnection.h"
#include "tests/support/ScriptedServer.h"
#include "tests/support/TestCertificates.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <csignal>
#include <functional>
#include <netinet/in.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <thread>
#include <unistd.h>

namespace quenloft {
namespace {

using namespace std::chrono_literals;

// Reads one line (through LF) from the TLS connection; "" on a close.
std::string ServerReadLine(SSL* Ssl)
{
  std::string Line;
  char C = 0;
  while (SSL_read(Ssl, &C, 1) == 1) {
    Line += C;
    if (C == '\n') {
      break;
    }
  }
  return Line;
}

void ServerWrite(SSL* Ssl, const std::string& Bytes)
{
  std::size_t Done = 0;
  while (Done < Bytes.size()) {
    const int N = SSL_write(Ssl, Bytes.data() + Done, static_cast<int>(Bytes.size() - Done));
    if (N <= 0) {
      return;
    }
    Done += static_cast<std::size_t>(N);
  }
}

// Serves one TLS connection on 127.0.0.1 with the given certificate and
// runs Script after the handshake. Every wait is bounded; the destructor
// joins the server thread.
class TlsTestServer {
public:
  using Script = std::function<void(SSL*)>;

  TlsTestServer(const std::string& CertFile, const std::string& KeyFile, Script AScript)
      : FScript(std::move(AScript))
  {
    FContext = SSL_CTX_new(TLS_server_method());
    if (FContext == nullptr || SSL_CTX_use_certificate_chain_file(FContext, CertFile.c_str()) != 1 ||
        SSL_CTX_use_PrivateKey_file(FContext, KeyFile.c_str(), SSL_FILETYPE_PEM) != 1) {
      throw std::runtime_error("TlsTestServer: cannot load the certificate");
    }
    FListen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in Address{};
    Address.sin_family = AF_INET;
    Address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(FListen, reinterpret_cast<sockaddr*>(&Address), sizeof(Address)) != 0 ||
        ::listen(FListen, 4) != 0) {
      throw std::runtime_error("TlsTestServer: cannot listen");
    }
    socklen_t Length = sizeof(Address);
    ::getsockname(FListen, reinterpret_cast<sockaddr*>(&Address), &Length);
    FPort = ntohs(Address.sin_port);
    FThread = std::thread([this] { Serve(); });
  }

  ~TlsTestServer()
  {
    FThread.join();
    ::close(FListen);
    SSL_CTX_free(FContext);
  }

  int Port() const { return FPort; }
  bool HandshakeDone() const { return FHandshakeDone; }

private:
  void Serve()
  {
    // A client that went away must not kill the test with SIGPIPE.
    sigset_t Signals;
    sigemptyset(&Signals);
    sigaddset(&Signals, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &Signals, nullptr);

    pollfd Poll{FListen, POLLIN, 0};
    if (::poll(&Poll, 1, 5000) != 1) {
      return;
    }
    const int Socket = ::accept4(FListen, nullptr, nullptr, SOCK_CLOEXEC);
    if (Socket < 0) {
      return;
    }
    timeval Limit{5, 0};
    ::setsockopt(Socket, SOL_SOCKET, SO_RCVTIMEO, &Limit, sizeof(Limit));
    ::setsockopt(Socket, SOL_SOCKET, SO_SNDTIMEO, &Limit, sizeof(Limit));
    SSL* Ssl = SSL_new(FContext);
    SSL_set_fd(Ssl, Socket);
    if (SSL_accept(Ssl) == 1) {
      FHandshakeDone = true;
      FScript(Ssl);
    }
    SSL_free(Ssl);
    ::close(Socket);
    ERR_clear_error();
  }

  Script FScript;
  SSL_CTX* FContext = nullptr;
  int FListen = -1;
  int FPort = 0;
  std::atomic<bool> FHandshakeDone{false};
  std::thread FThread;
};

const testing::TestCertificates& Certificates()
{
  return testing::GetTestCertificates();
}

std::unique_ptr<TIdSSLIOHandlerSocketOpenSSL> Handler(const std::string& CAFile)
{
  return std::make_unique<TIdSSLIOHandlerSocketOpenSSL>(CAFile);
}

TEST(TLS, TrustedCertificateByNameAndCloseNotify)
{
  const std::string Body(300000, 'b');
  std::string Got;
  TlsTestServer Server(Certificates().CertFile, Certificates().KeyFile, [&](SSL* Ssl) {
    Got = ServerReadLine(Ssl);
    ServerWrite(Ssl, "echo: " + Got);
    ServerWrite(Ssl, Body);
    SSL_shutdown(Ssl); // close_notify
  });
  TIdTCPClient Client;
  Client.SetIOHandler(Handler(Certificates().CAFile));
  Client.Host = "localhost";
  Client.Port = Server.Port();
  Client.ReadTimeout = 5000;
  Client.Connect();
  EXPECT_TRUE(Client.IOHandler()->Secure());
  Client.WriteLn("GET / HTTP/1.1");
  EXPECT_EQ(Client.ReadLn(), "echo: GET / HTTP/1.1");
  TMemoryStream Stream;
  Client.ReadStream(Stream, -1, true);
  EXPECT_TRUE(Stream.Bytes() == Body) << Stream.Bytes().size();
  EXPECT_FALSE(Client.Connected());
}

TEST(TLS, TrustedCertificateByAddressAndABareClose)
{
  TlsTestServer Server(Certificates().CertFile, Certificates().KeyFile, [](SSL* Ssl) {
    ServerWrite(Ssl, "line\r\ntail without close_notify");
    // The TCP connection ends without close_notify (many HTTP servers do).
  });
  TIdTCPClient Client;
  Client.SetIOHandler(Handler(Certificates().CAFile));
  Client.Host = "127.0.0.1";
  Client.Port = Server.Port();
  Client.ReadTimeout = 5000;
  Client.Connect();
  EXPECT_EQ(Client.ReadLn(), "line");
  TMemoryStream Stream;
  Client.ReadStream(Stream, -1, true);
  EXPECT_EQ(Stream.Bytes(), "tail without close_notify");
}

TEST(TLS, BufferedDecryptedBytesAreReadable)
{
  // One record holds both lines; with a 4-byte receive size the rest waits
  // inside the TLS layer, not on the socket, and must not time out.
  TlsTestServer Server(Certificates().CertFile, Certificates().KeyFile, [&](SSL* Ssl) {
    ServerWrite(Ssl, "abcdefgh\r\nsecond line\r\n");
    ServerReadLine(Ssl); // waits until the client closes
  });
  TIdTCPClient Client;
  Client.SetIOHandler(Handler(Certificates().CAFile));
  Client.Host = "localhost";
  Client.Port = Server.Port();
  Client.ReadTimeout = 300;
  Client.RecvBufferSize = 4;
  Client.Connect();
  EXPECT_EQ(Client.ReadLn(), "abcdefgh");
  EXPECT_EQ(Client.ReadLn(), "second line");
  Client.Disconnect();
}

TEST(TLS, ARecordThatStopsHalfwayEndsInReadTimeout)
{
  // The socket turns readable with the first bytes of a record; the rest
  // never comes. The read must end after ReadTimeout, not wait for it.
  TlsTestServer Server(Certificates().CertFile, Certificates().KeyFile, [&](SSL* Ssl) {
    ServerWrite(Ssl, "first\r\n");
    // An application-data record header announcing 64 bytes, and 3 of them.
    const char Partial[] = {0x17, 0x03, 0x03, 0x00, 0x40, 0x01, 0x02, 0x03};
    ::send(SSL_get_fd(Ssl), Partial, sizeof(Partial), MSG_NOSIGNAL);
    ServerReadLine(Ssl); // waits until the client closes
  });
  TIdTCPClient Client;
  Client.SetIOHandler(Handler(Certificates().CAFile));
  Client.Host = "localhost";
  Client.Port = Server.Port();
  Client.ReadTimeout = 300;
  Client.Connect();
  EXPECT_EQ(Client.ReadLn(), "first");
  const auto Start = std::chrono::steady_clock::now();
  EXPECT_THROW(Client.ReadLn(), EIdReadTimeout);
  EXPECT_LT(std::chrono::steady_clock::now() - Start, 3s) << "the server gives up after 5 s";
  EXPECT_FALSE(Client.Connected()) << "a TLS stream cut inside a record is not used again";
}

// Points Client at Host:Port through a TLS handler that trusts CAFile.
void Aim(TIdTCPClient& Client, const std::string& CAFile, const std::string& Host, int Port)
{
  Client.SetIOHandler(Handler(CAFile));
  Client.Host = Host;
  Client.Port = Port;
}

// The message of the TLS error that connecting raises; a connect that
// succeeds is a test failure.
std::string HandshakeFailure(TIdTCPClient& Client, int Timeout = 0)
{
  try {
    Client.Connect(Timeout);
  } catch (const EIdTLSError& E) {
    return E.what();
  }
  ADD_FAILURE() << "connected to " << Client.Host << " although the handshake should fail";
  return {};
}

TEST(TLS, UntrustedChainFailsBeforeTheRequest)
{
  TlsTestServer Server(Certificates().CertFile, Certificates().KeyFile,
                       [](SSL* Ssl) { ServerReadLine(Ssl); });
  TIdTCPClient Client;
  Aim(Client, Certificates().OtherCAFile, "localhost", Server.Port());
  const std::string Message = HandshakeFailure(Client);
  EXPECT_EQ(Message.rfind("TLS handshake with localhost failed: certificate verify failed: ", 0), 0u)
      << Message;
  EXPECT_FALSE(Client.Connected());
  EXPECT_FALSE(Client.IOHandler()->Allocated()) << "the socket is closed";
}

TEST(TLS, CertificateForAnotherNameFails)
{
  for (const auto& [Host, Mismatch] : {std::pair<std::string, std::string>{"localhost", "hostname mismatch"},
                                       {"127.0.0.1", "IP address mismatch"}}) {
    TlsTestServer Server(Certificates().WrongHostCertFile, Certificates().WrongHostKeyFile,
                         [](SSL* Ssl) { ServerReadLine(Ssl); });
    TIdTCPClient Client;
    Aim(Client, Certificates().CAFile, Host, Server.Port());
    EXPECT_EQ(HandshakeFailure(Client),
              "TLS handshake with " + Host + " failed: certificate verify failed: " + Mismatch);
    EXPECT_FALSE(Client.Connected());
  }
}

TEST(TLS, PlainServerFailsTheHandshake)
{
  testing::ScriptedServer Server([](testing::ScriptedConnection& C) {
    C.Sleep(50ms);
    C.Send("HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\n\r\n");
    C.Close();
  });
  TIdTCPClient Client;
  Aim(Client, Certificates().CAFile, "127.0.0.1", Server.Port());
  const std::string Prefix = "TLS handshake with 127.0.0.1 failed: ";
  const std::string Message = HandshakeFailure(Client, 2000);
  EXPECT_EQ(Message.rfind(Prefix, 0), 0u) << Message;
  EXPECT_GT(Message.size(), Prefix.size()) << "the failure says what went wrong";
  EXPECT_FALSE(Client.Connected());
}

TEST(TLS, MissingCAFileIsReported)
{
  testing::ScriptedServer Server([](testing::ScriptedConnection& C) { C.Sleep(200ms); });
  TIdTCPClient Client;
  Aim(Client, "/nonexistent/ca.pem", "127.0.0.1", Server.Port());
  const std::string Message = HandshakeFailure(Client);
  EXPECT_NE(Message.find("/nonexistent/ca.pem"), std::string::npos) << Message;
  EXPECT_FALSE(Client.IOHandler()->Allocated());
}

} // namespace
} // namespace quenloft
