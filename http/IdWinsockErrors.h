// Socket error codes in the Winsock numbering that the program's error
// texts use ("Socket Error # 10061\r\nConnection refused."), the text of
// each code, and the translation of POSIX errno and resolver codes into it.
//
// Threads: pure functions, callable from any thread.
#pragma once

#include <string>

namespace quenloft {

constexpr int Id_WSAEINTR = 10004;
constexpr int Id_WSAEBADF = 10009;
constexpr int Id_WSAEACCES = 10013;
constexpr int Id_WSAEFAULT = 10014;
constexpr int Id_WSAEINVAL = 10022;
constexpr int Id_WSAEMFILE = 10024;
constexpr int Id_WSAEWOULDBLOCK = 10035;
constexpr int Id_WSAEINPROGRESS = 10036;
constexpr int Id_WSAEALREADY = 10037;
constexpr int Id_WSAENOTSOCK = 10038;
constexpr int Id_WSAEDESTADDRREQ = 10039;
constexpr int Id_WSAEMSGSIZE = 10040;
constexpr int Id_WSAEPROTOTYPE = 10041;
constexpr int Id_WSAENOPROTOOPT = 10042;
constexpr int Id_WSAEPROTONOSUPPORT = 10043;
constexpr int Id_WSAESOCKTNOSUPPORT = 10044;
constexpr int Id_WSAEOPNOTSUPP = 10045;
constexpr int Id_WSAEPFNOSUPPORT = 10046;
constexpr int Id_WSAEAFNOSUPPORT = 10047;
constexpr int Id_WSAEADDRINUSE = 10048;
constexpr int Id_WSAEADDRNOTAVAIL = 10049;
constexpr int Id_WSAENETDOWN = 10050;
constexpr int Id_WSAENETUNREACH = 10051;
constexpr int Id_WSAENETRESET = 10052;
constexpr int Id_WSAECONNABORTED = 10053;
constexpr int Id_WSAECONNRESET = 10054;
constexpr int Id_WSAENOBUFS = 10055;
constexpr int Id_WSAEISCONN = 10056;
constexpr int Id_WSAENOTCONN = 10057;
constexpr int Id_WSAESHUTDOWN = 10058;
constexpr int Id_WSAETOOMANYREFS = 10059;
constexpr int Id_WSAETIMEDOUT = 10060;
constexpr int Id_WSAECONNREFUSED = 10061;
constexpr int Id_WSAELOOP = 10062;
constexpr int Id_WSAENAMETOOLONG = 10063;
constexpr int Id_WSAEHOSTDOWN = 10064;
constexpr int Id_WSAEHOSTUNREACH = 10065;
constexpr int Id_WSAENOTEMPTY = 10066;
constexpr int Id_WSAHOST_NOT_FOUND = 11001;

// The text of a Winsock code; "" for a code outside the table.
std::string WSAErrorText(int ACode);

// "Socket Error # %d\r\n%s" for a Winsock code. AFallbackText is used when
// the code has no text of its own.
std::string SocketErrorMessage(int ACode, const std::string& AFallbackText = {});

// The Winsock code of a POSIX errno value; 0 when there is none.
int ErrnoToWSAError(int AErrno);

// The Winsock code of a getaddrinfo() failure (ASysErrno is errno, read
// right after the call, for EAI_SYSTEM).
int ResolverErrorToWSAError(int AGaiError, int ASysErrno);

// Raise EIdSocketError for a Winsock code.
[[noreturn]] void RaiseSocketError(int ACode);

// Raise EIdSocketError for an errno value. A value without a Winsock
// counterpart keeps its own number and carries the system's text, so the
// message is never empty.
[[noreturn]] void RaiseErrnoSocketError(int AErrno);

} // namespace quenloft
