// The HTTP client's exceptions and their messages. Every one derives from
// EIdException and so from the program's general Exception.
//
// Threads: raised on the thread that drives the client (the one that called
// Get) and caught there or by a thread's guard.
#pragma once

#include "platform/Classes.h"

#include <string>

namespace quenloft {

class EIdException : public Exception {
public:
  using Exception::Exception;
};

// Failures that are part of normal operation (a peer closing).
class EIdSilentException : public EIdException {
public:
  using EIdException::EIdException;
};

class EIdConnClosedGracefully : public EIdSilentException {
public:
  EIdConnClosedGracefully() : EIdSilentException("Connection Closed Gracefully.") {}
};

// No byte arrived within the idle limit ("Read timed out after 60 s").
class EIdReadTimeout : public EIdException {
public:
  explicit EIdReadTimeout(int AMilliseconds) : EIdException(Text(AMilliseconds)) {}

private:
  static std::string Text(int AMilliseconds)
  {
    std::string Seconds = std::to_string(AMilliseconds / 1000);
    if (const int Rest = AMilliseconds % 1000; Rest != 0) {
      std::string Fraction = std::to_string(1000 + Rest).substr(1);
      while (Fraction.back() == '0')
        Fraction.pop_back();
      Seconds += "." + Fraction;
    }
    return "Read timed out after " + Seconds + " s";
  }
};

// The owner of the transfer stopped it (TIdAbortSignal, or a work handler
// that cancels). Not an EIdException on purpose: no part of the client takes
// it for a failed transfer to be retried or ignored, so it always leaves Get.
class EIdAborted : public Exception {
public:
  EIdAborted() : Exception("User Cancel") {}
};

class EIdReadLnMaxLineLengthExceeded : public EIdException {
public:
  EIdReadLnMaxLineLengthExceeded() : EIdException("Max line length exceeded.") {}
};

class EIdNotConnected : public EIdException {
public:
  EIdNotConnected() : EIdException("Not Connected") {}
};

class EIdAlreadyConnected : public EIdException {
public:
  EIdAlreadyConnected() : EIdException("Already connected.") {}
};

class EIdInvalidSocket : public EIdException {
public:
  EIdInvalidSocket() : EIdException("Cannot allocate socket.") {}
};

class EIdCouldNotBindSocket : public EIdException {
public:
  EIdCouldNotBindSocket() : EIdException("Could not bind socket. Address and port are already in use.") {}
};

class EIdConnectTimeout : public EIdException {
public:
  EIdConnectTimeout() : EIdException("Connect timed out.") {}
};

class EIdConnectException : public EIdException {
public:
  using EIdException::EIdException;
};

class EIdNotEnoughDataInBuffer : public EIdException {
public:
  EIdNotEnoughDataInBuffer() : EIdException("Not enough data in buffer.") {}
};

// "Socket Error # %d\r\n%s" with the Winsock-numbered code and its text.
class EIdSocketError : public EIdException {
public:
  EIdSocketError(int ErrorCode, const std::string& Message) : EIdException(Message), FLastError(ErrorCode) {}
  int LastError() const { return FLastError; }

private:
  int FLastError;
};

// A secure connection could not be set up: handshake or certificate check.
class EIdTLSError : public EIdException {
public:
  using EIdException::EIdException;
};

class EIdURIException : public EIdException {
public:
  using EIdException::EIdException;
};

// A scheme other than "http" and "https": "unsupported address scheme 'ftp'".
class EIdUnknownProtocol : public EIdException {
public:
  explicit EIdUnknownProtocol(const std::string& AScheme)
      : EIdException("unsupported address scheme '" + AScheme + "'")
  {}
};

class EIdIOHandlerPropInvalid : public EIdException {
public:
  EIdIOHandlerPropInvalid() : EIdException("IOHandler value is not valid") {}
};

// An answer whose framing cannot be trusted (RFC 9112 sections 4 and 6): a
// status line that is not "HTTP/1.x" and a three-digit code, an invalid
// "Content-Length", too many interim answers.
class EIdHTTPBadResponse : public EIdException {
public:
  using EIdException::EIdException;
};

// A response head past the client's limits (line count or total size).
class EIdHTTPHeaderTooLarge : public EIdException {
public:
  using EIdException::EIdException;
};

// An answer that is neither success nor redirect. The message is the status
// line as received; the code and the body go along.
class EIdProtocolReplyError : public EIdException {
public:
  EIdProtocolReplyError(int ErrorCode, const std::string& Message)
      : EIdException(Message), FErrorCode(ErrorCode)
  {}
  int ErrorCode() const { return FErrorCode; }

private:
  int FErrorCode;
};

// The message is the status line as received; an empty one still says
// what failed instead of leaving a bare "failed" to the front ends.
class EIdHTTPProtocolException : public EIdProtocolReplyError {
public:
  EIdHTTPProtocolException(int ErrorCode, const std::string& StatusLine, std::string Body)
      : EIdProtocolReplyError(ErrorCode, StatusLine.empty() ? "HTTP error: the server's status line is empty"
                                                            : StatusLine),
        FErrorMessage(std::move(Body))
  {}
  // The body of the error answer, as text.
  const std::string& ErrorMessage() const { return FErrorMessage; }

private:
  std::string FErrorMessage;
};

// The framework's conversion error: "'%s' is not a valid integer value".
class EConvertError : public Exception {
public:
  using Exception::Exception;
  static EConvertError InvalidInteger(const std::string& Text)
  {
    return EConvertError("'" + Text + "' is not a valid integer value");
  }
};

} // namespace quenloft
