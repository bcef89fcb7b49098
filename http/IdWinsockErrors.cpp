#include "http/IdWinsockErrors.h"

#include "http/IdException.h"

#include <cerrno>
#include <netdb.h>

namespace quenloft {

std::string WSAErrorText(int ACode)
{
  switch (ACode) {
  case Id_WSAEINTR: return "Interrupted system call.";
  case Id_WSAEBADF: return "Bad file number.";
  case Id_WSAEACCES: return "Access denied.";
  case Id_WSAEFAULT: return "Bad address.";
  case Id_WSAEINVAL: return "Invalid argument.";
  case Id_WSAEMFILE: return "Too many open files.";
  case Id_WSAEWOULDBLOCK: return "Operation would block. ";
  case Id_WSAEINPROGRESS: return "Operation now in progress.";
  case Id_WSAEALREADY: return "Operation already in progress.";
  case Id_WSAENOTSOCK: return "Socket operation on non-socket.";
  case Id_WSAEDESTADDRREQ: return "Destination address required.";
  case Id_WSAEMSGSIZE: return "Message too long.";
  case Id_WSAEPROTOTYPE: return "Protocol wrong type for socket.";
  case Id_WSAENOPROTOOPT: return "Bad protocol option.";
  case Id_WSAEPROTONOSUPPORT: return "Protocol not supported.";
  case Id_WSAESOCKTNOSUPPORT: return "Socket type not supported.";
  case Id_WSAEOPNOTSUPP: return "Operation not supported on socket.";
  case Id_WSAEPFNOSUPPORT: return "Protocol family not supported.";
  case Id_WSAEAFNOSUPPORT: return "Address family not supported by protocol family.";
  case Id_WSAEADDRINUSE: return "Address already in use.";
  case Id_WSAEADDRNOTAVAIL: return "Cannot assign requested address.";
  case Id_WSAENETDOWN: return "Network is down.";
  case Id_WSAENETUNREACH: return "Network is unreachable.";
  case Id_WSAENETRESET: return "Net dropped connection or reset.";
  case Id_WSAECONNABORTED: return "Software caused connection abort.";
  case Id_WSAECONNRESET: return "Connection reset by peer.";
  case Id_WSAENOBUFS: return "No buffer space available.";
  case Id_WSAEISCONN: return "Socket is already connected.";
  case Id_WSAENOTCONN: return "Socket is not connected.";
  case Id_WSAESHUTDOWN: return "Cannot send or receive after socket is closed.";
  case Id_WSAETOOMANYREFS: return "Too many references, cannot splice.";
  case Id_WSAETIMEDOUT: return "Connection timed out.";
  case Id_WSAECONNREFUSED: return "Connection refused.";
  case Id_WSAELOOP: return "Too many levels of symbolic links.";
  case Id_WSAENAMETOOLONG: return "File name too long.";
  case Id_WSAEHOSTDOWN: return "Host is down.";
  case Id_WSAEHOSTUNREACH: return "No route to host.";
  case Id_WSAENOTEMPTY: return "Directory not empty";
  case Id_WSAHOST_NOT_FOUND: return "Host not found.";
  default: return {};
  }
}

std::string SocketErrorMessage(int ACode, const std::string& AFallbackText)
{
  std::string Text = WSAErrorText(ACode);
  if (Text.empty()) {
    Text = AFallbackText;
  }
  return "Socket Error # " + std::to_string(ACode) + "\r\n" + Text;
}

int ErrnoToWSAError(int AErrno)
{
  switch (AErrno) {
  case EINTR: return Id_WSAEINTR;
  case EBADF: return Id_WSAEBADF;
  case EACCES: return Id_WSAEACCES;
  case EPERM: return Id_WSAEACCES; // e.g. a firewall rule refusing the connect
  case EFAULT: return Id_WSAEFAULT;
  case EINVAL: return Id_WSAEINVAL;
  case EMFILE: return Id_WSAEMFILE;
  case ENFILE: return Id_WSAEMFILE;
  case EWOULDBLOCK: return Id_WSAEWOULDBLOCK;
#if EAGAIN != EWOULDBLOCK
  case EAGAIN: return Id_WSAEWOULDBLOCK;
#endif
  case EINPROGRESS: return Id_WSAEINPROGRESS;
  case EALREADY: return Id_WSAEALREADY;
  case ENOTSOCK: return Id_WSAENOTSOCK;
  case EDESTADDRREQ: return Id_WSAEDESTADDRREQ;
  case EMSGSIZE: return Id_WSAEMSGSIZE;
  case EPROTOTYPE: return Id_WSAEPROTOTYPE;
  case ENOPROTOOPT: return Id_WSAENOPROTOOPT;
  case EPROTONOSUPPORT: return Id_WSAEPROTONOSUPPORT;
  case ESOCKTNOSUPPORT: return Id_WSAESOCKTNOSUPPORT;
  case EOPNOTSUPP: return Id_WSAEOPNOTSUPP;
  case EPFNOSUPPORT: return Id_WSAEPFNOSUPPORT;
  case EAFNOSUPPORT: return Id_WSAEAFNOSUPPORT;
  case EADDRINUSE: return Id_WSAEADDRINUSE;
  case EADDRNOTAVAIL: return Id_WSAEADDRNOTAVAIL;
  case ENETDOWN: return Id_WSAENETDOWN;
  case ENETUNREACH: return Id_WSAENETUNREACH;
  case ENETRESET: return Id_WSAENETRESET;
  case ECONNABORTED: return Id_WSAECONNABORTED;
  case ECONNRESET: return Id_WSAECONNRESET;
  case ENOBUFS: return Id_WSAENOBUFS;
  case ENOMEM: return Id_WSAENOBUFS;
  case EISCONN: return Id_WSAEISCONN;
  case ENOTCONN: return Id_WSAENOTCONN;
  case EPIPE: return Id_WSAESHUTDOWN;
  case ESHUTDOWN: return Id_WSAESHUTDOWN;
  case ETOOMANYREFS: return Id_WSAETOOMANYREFS;
  case ETIMEDOUT: return Id_WSAETIMEDOUT;
  case ECONNREFUSED: return Id_WSAECONNREFUSED;
  case ELOOP: return Id_WSAELOOP;
  case ENAMETOOLONG: return Id_WSAENAMETOOLONG;
  case EHOSTDOWN: return Id_WSAEHOSTDOWN;
  case EHOSTUNREACH: return Id_WSAEHOSTUNREACH;
  case ENOTEMPTY: return Id_WSAENOTEMPTY;
  default: return 0;
  }
}

int ResolverErrorToWSAError(int AGaiError, int ASysErrno)
{
  switch (AGaiError) {
  case EAI_SYSTEM: {
    const int Code = ErrnoToWSAError(ASysErrno);
    return Code != 0 ? Code : Id_WSAHOST_NOT_FOUND;
  }
  case EAI_MEMORY: return Id_WSAENOBUFS;
  case EAI_FAMILY: return Id_WSAEAFNOSUPPORT;
  default:
    // EAI_NONAME, EAI_AGAIN, EAI_FAIL, EAI_NODATA and the rest: the name
    // could not be turned into an address.
    return Id_WSAHOST_NOT_FOUND;
  }
}

void RaiseSocketError(int ACode)
{
  throw EIdSocketError(ACode, SocketErrorMessage(ACode));
}

void RaiseErrnoSocketError(int AErrno)
{
  const int Code = ErrnoToWSAError(AErrno);
  if (Code != 0) {
    RaiseSocketError(Code);
  }
  throw EIdSocketError(AErrno, SocketErrorMessage(AErrno, SysErrorMessage(AErrno)));
}

} // namespace quenloft
