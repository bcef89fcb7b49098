#include "http/IdSSLOpenSSL.h"

#include "http/IdException.h"
#include "http/IdWinsockErrors.h"

#include <arpa/inet.h>
#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>

namespace quenloft {

namespace {

// --- A socket BIO that never raises SIGPIPE --------------------------------
// OpenSSL's own socket BIO writes with write(), which kills the process with
// SIGPIPE when the peer is gone; this one sends with MSG_NOSIGNAL.

TIdSSLIOHandlerSocketOpenSSL* HandlerOf(BIO* Bio)
{
  return static_cast<TIdSSLIOHandlerSocketOpenSSL*>(BIO_get_data(Bio));
}

int SocketOf(BIO* Bio)
{
  return HandlerOf(Bio)->Handle();
}

int BioWrite(BIO* Bio, const char* Data, int Length)
{
  BIO_clear_retry_flags(Bio);
  const ssize_t Sent = send(SocketOf(Bio), Data, static_cast<std::size_t>(Length), MSG_NOSIGNAL);
  if (Sent < 0) {
    if (errno == EINTR) {
      BIO_set_retry_write(Bio);
    }
    return -1;
  }
  return static_cast<int>(Sent);
}

int BioRead(BIO* Bio, char* Data, int Length)
{
  BIO_clear_retry_flags(Bio);
  // The wait happens here, in a poll that a stop can end, and within the
  // deadline of the handshake or of the read in progress.
  if (!HandlerOf(Bio)->WaitForBytes()) {
    return -1;
  }
  const ssize_t Received = recv(SocketOf(Bio), Data, static_cast<std::size_t>(Length), 0);
  if (Received < 0) {
    if (errno == EINTR) {
      BIO_set_retry_read(Bio);
    }
    return -1;
  }
  if (Received == 0) {
    BIO_set_flags(Bio, BIO_FLAGS_IN_EOF);
  }
  return static_cast<int>(Received);
}

long BioCtrl(BIO* Bio, int Command, long /*Number*/, void* /*Pointer*/)
{
  switch (Command) {
  case BIO_CTRL_FLUSH: return 1;
  case BIO_CTRL_EOF: return BIO_test_flags(Bio, BIO_FLAGS_IN_EOF) != 0 ? 1 : 0;
  default: return 0;
  }
}

int BioCreate(BIO* Bio)
{
  BIO_set_init(Bio, 1);
  return 1;
}

int BioDestroy(BIO* /*Bio*/)
{
  return 1; // the socket belongs to the handler
}

BIO_METHOD* SocketBioMethod()
{
  static BIO_METHOD* Method = [] {
    BIO_METHOD* M = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "quenloft socket");
    BIO_meth_set_write(M, BioWrite);
    BIO_meth_set_read(M, BioRead);
    BIO_meth_set_ctrl(M, BioCtrl);
    BIO_meth_set_create(M, BioCreate);
    BIO_meth_set_destroy(M, BioDestroy);
    return M;
  }();
  return Method;
}

// --- Shared contexts -------------------------------------------------------

std::string OpenSSLErrorText()
{
  const unsigned long Code = ERR_get_error();
  ERR_clear_error();
  if (Code == 0) {
    return {};
  }
  char Text[256];
  ERR_error_string_n(Code, Text, sizeof(Text));
  return Text;
}

// One context per CA setting; a context is safe to share between threads
// once made.
SSL_CTX* SharedContext(const std::string& CAFile)
{
  static std::mutex Lock;
  static std::map<std::string, std::unique_ptr<SSL_CTX, decltype(&SSL_CTX_free)>> Contexts;
  std::lock_guard<std::mutex> Guard(Lock);
  auto Found = Contexts.find(CAFile);
  if (Found != Contexts.end()) {
    return Found->second.get();
  }
  std::unique_ptr<SSL_CTX, decltype(&SSL_CTX_free)> Context(SSL_CTX_new(TLS_client_method()), &SSL_CTX_free);
  if (!Context) {
    throw EIdTLSError("Cannot create TLS context: " + OpenSSLErrorText());
  }
  SSL_CTX_set_min_proto_version(Context.get(), TLS1_2_VERSION);
  SSL_CTX_set_verify(Context.get(), SSL_VERIFY_PEER, nullptr);
  const int Loaded = CAFile.empty() ? SSL_CTX_set_default_verify_paths(Context.get())
                                    : SSL_CTX_load_verify_locations(Context.get(), CAFile.c_str(), nullptr);
  if (Loaded != 1) {
    throw EIdTLSError("Cannot load the trusted certificates" +
                      (CAFile.empty() ? std::string() : " from " + CAFile) + ": " + OpenSSLErrorText());
  }
  SSL_CTX* Result = Context.get();
  Contexts.emplace(CAFile, std::move(Context));
  return Result;
}

bool IsIPLiteral(const std::string& Host)
{
  unsigned char Address[16];
  return inet_pton(AF_INET, Host.c_str(), Address) == 1 || inet_pton(AF_INET6, Host.c_str(), Address) == 1;
}

} // namespace

TIdSSLIOHandlerSocketOpenSSL::TIdSSLIOHandlerSocketOpenSSL(std::string ACAFile) : CAFile(std::move(ACAFile))
{}

TIdSSLIOHandlerSocketOpenSSL::~TIdSSLIOHandlerSocketOpenSSL()
{
  TIdSSLIOHandlerSocketOpenSSL::Close();
}

void TIdSSLIOHandlerSocketOpenSSL::AfterConnect(const std::string& Host, int ATimeout)
{
  SSL_CTX* Context = SharedContext(CAFile);
  FSSL = SSL_new(Context);
  if (FSSL == nullptr) {
    throw EIdTLSError("TLS handshake with " + Host + " failed: " + OpenSSLErrorText());
  }
  BIO* Bio = BIO_new(SocketBioMethod());
  if (Bio == nullptr) {
    throw EIdTLSError("TLS handshake with " + Host + " failed: " + OpenSSLErrorText());
  }
  BIO_set_data(Bio, this);
  SSL_set_bio(FSSL, Bio, Bio);

  // RFC 6066 section 3: a literal IP address is not sent as a server name.
  // RFC 6125: the name checked in the certificate is the one the user asked
  // for; an address is checked against the certificate's IP entries.
  if (IsIPLiteral(Host)) {
    X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(FSSL), Host.c_str());
  } else {
    SSL_set_tlsext_host_name(FSSL, Host.c_str());
    SSL_set1_host(FSSL, Host.c_str());
  }

  // The handshake counts to the connect time-out.
  FDeadline = DeadlineFor(ATimeout);
  FBioTimedOut = false;
  FBioAborted = false;
  ERR_clear_error();
  errno = 0;
  const int Result = SSL_connect(FSSL);
  const int SysErrno = errno;
  FDeadline = -1;
  if (Result != 1) {
    if (FBioAborted) {
      ERR_clear_error();
      throw EIdAborted();
    }
    const int Error = SSL_get_error(FSSL, Result);
    const long Verify = SSL_get_verify_result(FSSL);
    std::string Reason;
    if (FBioTimedOut) {
      Reason = "timed out";
    } else if (Verify != X509_V_OK) {
      Reason = std::string("certificate verify failed: ") + X509_verify_cert_error_string(Verify);
    } else {
      Reason = OpenSSLErrorText();
      if (Reason.empty()) {
        if (Error == SSL_ERROR_SYSCALL && (SysErrno == EAGAIN || SysErrno == EWOULDBLOCK)) {
          Reason = "timed out";
        } else if (Error == SSL_ERROR_SYSCALL && SysErrno != 0) {
          Reason = SysErrorMessage(SysErrno);
        } else {
          Reason = "the server closed the connection";
        }
      }
    }
    ERR_clear_error();
    throw EIdTLSError("TLS handshake with " + Host + " failed: " + Reason);
  }
  FShutdownAllowed = true;
}

bool TIdSSLIOHandlerSocketOpenSSL::WaitForBytes() noexcept
{
  try {
    if (!WaitReady(POLLIN, RemainingMs(FDeadline))) {
      FBioTimedOut = true;
      errno = EAGAIN;
      return false;
    }
  } catch (const EIdAborted&) {
    FBioAborted = true;
    errno = ECANCELED;
    return false;
  } catch (...) {
    // A failing poll: the receive that follows reports the socket's error.
  }
  return true;
}

void TIdSSLIOHandlerSocketOpenSSL::FreeSSL()
{
  if (FSSL != nullptr) {
    if (FShutdownAllowed && Allocated()) {
      // One close_notify (RFC 8446 section 6.1); the answer is not awaited.
      ERR_clear_error();
      SSL_shutdown(FSSL);
      ERR_clear_error();
    }
    SSL_free(FSSL);
    FSSL = nullptr;
  }
  FShutdownAllowed = false;
}

void TIdSSLIOHandlerSocketOpenSSL::Close()
{
  FreeSSL();
  TIdIOHandlerSocket::Close();
}

bool TIdSSLIOHandlerSocketOpenSSL::Readable(int ATimeout)
{
  // Decrypted bytes already held by the TLS layer never show on the socket.
  if (FSSL != nullptr && SSL_pending(FSSL) > 0) {
    FReadWait = -1;
    return true;
  }
  const bool Ready = TIdIOHandlerSocket::Readable(ATimeout);
  FReadWait = Ready ? ATimeout : -1;
  return Ready;
}

void TIdSSLIOHandlerSocketOpenSSL::RaiseIOError(int ASSLError, const char* AWhat)
{
  const int SysErrno = errno;
  const unsigned long Code = ERR_peek_error();
  // No close_notify after a broken record layer.
  FShutdownAllowed = false;
  if (ASSLError == SSL_ERROR_SYSCALL && Code == 0 && SysErrno != 0) {
    ERR_clear_error();
    RaiseErrnoSocketError(SysErrno);
  }
  std::string Detail = OpenSSLErrorText();
  if (Detail.empty()) {
    Detail = std::string("TLS ") + AWhat + " failed";
  }
  throw EIdSocketError(Id_WSAECONNABORTED, SocketErrorMessage(Id_WSAECONNABORTED) + " (" + Detail + ")");
}

int TIdSSLIOHandlerSocketOpenSSL::Recv(void* Buffer, int Count)
{
  const int Wait = FReadWait;
  FReadWait = -1;
  if (FSSL == nullptr) {
    return TIdIOHandlerSocket::Recv(Buffer, Count);
  }
  // Readable saw bytes, but SSL_read waits for a whole record: the rest of
  // it must come within the wait the caller asked for.
  struct TWaitLimit {
    long long& Deadline;
    ~TWaitLimit() { Deadline = -1; }
  } Limit{FDeadline};
  FDeadline = DeadlineFor(Wait >= 0 ? std::max(Wait, 1) : -1);
  FBioTimedOut = false;
  FBioAborted = false;
  while (true) {
    ERR_clear_error();
    errno = 0;
    const int Result = SSL_read(FSSL, Buffer, Count);
    if (Result > 0) {
      return Result;
    }
    const int Error = SSL_get_error(FSSL, Result);
    if (FBioAborted || FBioTimedOut) {
      // Part of a record may be inside OpenSSL now; this TLS stream cannot
      // go on.
      ERR_clear_error();
      FShutdownAllowed = false;
      if (FBioAborted) {
        throw EIdAborted();
      }
      throw EIdReadTimeout(Wait);
    }
    switch (Error) {
    case SSL_ERROR_ZERO_RETURN: return 0; // close_notify
    case SSL_ERROR_WANT_READ:
    case SSL_ERROR_WANT_WRITE: continue; // interrupted by a signal, or a post-handshake message
    case SSL_ERROR_SSL:
      // A peer that closes the TCP connection without close_notify is
      // common among HTTP servers; the HTTP framing tells whether the body
      // is complete, so this counts as a close.
      if (ERR_GET_REASON(ERR_peek_error()) == SSL_R_UNEXPECTED_EOF_WHILE_READING) {
        ERR_clear_error();
        FShutdownAllowed = false;
        return 0;
      }
      break;
    case SSL_ERROR_SYSCALL:
      if (errno == 0 && ERR_peek_error() == 0) {
        FShutdownAllowed = false;
        return 0; // plain end of file
      }
      break;
    default: break;
    }
    RaiseIOError(Error, "read");
  }
}

int TIdSSLIOHandlerSocketOpenSSL::Send(const void* Buffer, int Count)
{
  if (FSSL == nullptr) {
    return TIdIOHandlerSocket::Send(Buffer, Count);
  }
  if (Count <= 0) {
    return 0;
  }
  while (true) {
    ERR_clear_error();
    errno = 0;
    const int Result = SSL_write(FSSL, Buffer, Count);
    if (Result > 0) {
      return Result;
    }
    const int Error = SSL_get_error(FSSL, Result);
    if (Error == SSL_ERROR_WANT_READ || Error == SSL_ERROR_WANT_WRITE) {
      continue;
    }
    if (Error == SSL_ERROR_ZERO_RETURN) {
      return 0;
    }
    RaiseIOError(Error, "write");
  }
}

std::string CAFileProblem(const std::string& ACAFile)
{
  std::FILE* File = std::fopen(ACAFile.c_str(), "r");
  if (File == nullptr) {
    return SysErrorMessage(errno);
  }
  int Count = 0;
  while (X509* Certificate = PEM_read_X509(File, nullptr, nullptr, nullptr)) {
    X509_free(Certificate);
    ++Count;
  }
  // A folder opens and reads as nothing on this system.
  const bool Failed = std::ferror(File) != 0;
  const int ReadError = errno;
  std::fclose(File);
  // The end of the file after the last certificate leaves an error behind.
  ERR_clear_error();
  if (Count == 0) {
    return Failed ? SysErrorMessage(ReadError) : "it holds no PEM certificate";
  }
  return {};
}

} // namespace quenloft
