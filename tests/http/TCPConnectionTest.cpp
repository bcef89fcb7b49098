// The connection's buffered reads and writes over a scripted in-memory
// transport: lines, exact reads and stream reads with every split of the
// incoming bytes, the length limits, closes and time-outs, the work events
// and the buffered output.
#include "http/IdException.h"
#include "http/IdTCPConnection.h"
#include "http/IdWinsockErrors.h"
#include "tests/support/MemoryIOHandler.h"

#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <string>
#include <vector>

namespace quenloft {
namespace {

using testing::MemoryIOHandler;

// A client connected over a MemoryIOHandler that the test scripts.
struct TFixture {
  TIdTCPClient Client;
  MemoryIOHandler* Transport = nullptr;

  TFixture()
  {
    auto Handler = std::make_unique<MemoryIOHandler>();
    Transport = Handler.get();
    Client.SetIOHandler(std::move(Handler));
    Client.Host = "example.test";
    Client.Port = 80;
    Client.Connect();
  }
};

// The ways one byte sequence can arrive.
enum class TSplit { Whole, ByteByByte, Random1, Random2, Random3 };
const TSplit AllSplits[] = {TSplit::Whole, TSplit::ByteByByte, TSplit::Random1, TSplit::Random2,
                            TSplit::Random3};

void Script(MemoryIOHandler& Transport, const std::string& Bytes, TSplit Split)
{
  switch (Split) {
  case TSplit::Whole: Transport.AddInput(Bytes); break;
  case TSplit::ByteByByte: Transport.AddInputInPieces(Bytes, 1); break;
  case TSplit::Random1: Transport.AddInputRandomly(Bytes, 1, 7); break;
  case TSplit::Random2: Transport.AddInputRandomly(Bytes, 2, 300); break;
  case TSplit::Random3: Transport.AddInputRandomly(Bytes, 3, 40000); break;
  }
}

std::string Pattern(std::size_t Length, unsigned Seed = 0)
{
  std::string Bytes(Length, '\0');
  for (std::size_t I = 0; I < Length; ++I) {
    Bytes[I] = static_cast<char>((I * 131 + Seed * 7 + (I >> 9)) & 0xFF);
  }
  return Bytes;
}

// ---------------------------------------------------------------- lines --

TEST(TCPConnectionReadLn, LinesWithEveryKindOfEndInEverySplit)
{
  const std::string Input = "HTTP/1.1 200 OK\r\nbare\nmid\rcr\r\n\r\ndouble\r\r\nlast\n";
  for (TSplit Split : AllSplits) {
    TFixture F;
    Script(*F.Transport, Input, Split);
    EXPECT_EQ(F.Client.ReadLn(), "HTTP/1.1 200 OK");
    EXPECT_EQ(F.Client.ReadLn(), "bare");
    EXPECT_EQ(F.Client.ReadLn(), "mid\rcr");
    EXPECT_EQ(F.Client.ReadLn(), "");
    EXPECT_EQ(F.Client.ReadLn(), "double\r") << "only one CR before the LF is dropped";
    EXPECT_EQ(F.Client.ReadLn(), "last");
    EXPECT_EQ(F.Client.InputBufferSize(), 0u);
    EXPECT_FALSE(F.Client.ReadLnSplit);
    EXPECT_FALSE(F.Client.ReadLnTimedOut);
  }
}

TEST(TCPConnectionReadLn, OtherTerminatorKeepsTheCR)
{
  for (TSplit Split : AllSplits) {
    TFixture F;
    Script(*F.Transport, "a\r\nb||c\r||", Split);
    EXPECT_EQ(F.Client.ReadLn("||"), "a\r\nb");
    EXPECT_EQ(F.Client.ReadLn("||"), "c\r");
  }
}

TEST(TCPConnectionReadLn, ManyLinesThroughTheCompactingBuffer)
{
  // Far more than the 32768 consumed bytes after which the buffer moves
  // its rest to the front; every line must come out intact.
  std::string Input;
  std::vector<std::string> Expected;
  for (int I = 0; I < 6000; ++I) {
    Expected.push_back("line " + std::to_string(I) + std::string(static_cast<std::size_t>(I % 53), 'x'));
    Input += Expected.back() + (I % 3 == 0 ? "\n" : "\r\n");
  }
  for (TSplit Split : {TSplit::Whole, TSplit::Random2, TSplit::Random3}) {
    TFixture F;
    Script(*F.Transport, Input, Split);
    for (const std::string& Line : Expected) {
      ASSERT_EQ(F.Client.ReadLn(), Line);
    }
  }
}

TEST(TCPConnectionReadLn, MaximumLineLength)
{
  // The limit counts the bytes before the LF, a CR included.
  for (TSplit Split : {TSplit::Whole, TSplit::Random2, TSplit::Random3}) {
    TFixture F;
    Script(*F.Transport,
           std::string(16383, 'a') + "\r\n" + std::string(16384, 'b') + "\n" + std::string(16384, 'c') +
               "\r\n",
           Split);
    EXPECT_EQ(F.Client.ReadLn(), std::string(16383, 'a'));
    EXPECT_EQ(F.Client.ReadLn(), std::string(16384, 'b'));
    try {
      F.Client.ReadLn();
      ADD_FAILURE() << "a 16384-character line with CR LF was accepted";
    } catch (const EIdReadLnMaxLineLengthExceeded& E) {
      EXPECT_STREQ(E.what(), "Max line length exceeded.");
    }
  }
}

TEST(TCPConnectionReadLn, OverlongLineWithoutTerminatorFailsBeforeItEnds)
{
  // The peer need not send the LF for the read to stop: holding more than
  // the maximum without one is enough (no unbounded buffering).
  TFixture F;
  F.Transport->AddInput(std::string(16385, 'z'));
  EXPECT_THROW(F.Client.ReadLn(), EIdReadLnMaxLineLengthExceeded);
}

TEST(TCPConnectionReadLn, SplitActionAndExplicitLimits)
{
  TFixture F;
  F.Client.MaxLineAction = TIdMaxLineAction::maSplit;
  F.Transport->AddInput("0123456789\r\nabc\r\n" + std::string(40000, 'q') + "\n");
  EXPECT_EQ(F.Client.ReadLn("\n", -1, 4), "0123");
  EXPECT_TRUE(F.Client.ReadLnSplit);
  EXPECT_EQ(F.Client.ReadLn("\n", -1, 0), "456789") << "a maximum of 0 means no limit";
  EXPECT_FALSE(F.Client.ReadLnSplit);
  EXPECT_EQ(F.Client.ReadLn("\n", -1, 5), "abc");
  EXPECT_EQ(F.Client.ReadLn(), std::string(16384, 'q'));
  EXPECT_TRUE(F.Client.ReadLnSplit);
  EXPECT_EQ(F.Client.ReadLn("\n", -1, 0), std::string(40000 - 16384, 'q'));
}

TEST(TCPConnectionReadLn, CloseWhileHalfALineIsBuffered)
{
  for (TSplit Split : AllSplits) {
    TFixture F;
    Script(*F.Transport, "complete\r\nhalf a li", Split);
    F.Transport->CloseAfterInput();
    EXPECT_EQ(F.Client.ReadLn(), "complete") << "lines before the close are still read";
    try {
      F.Client.ReadLn();
      ADD_FAILURE() << "an incomplete line was returned";
    } catch (const EIdConnClosedGracefully& E) {
      EXPECT_STREQ(E.what(), "Connection Closed Gracefully.");
    }
    EXPECT_FALSE(F.Client.Connected());
    EXPECT_TRUE(F.Client.ClosedGracefully());
  }
}

TEST(TCPConnectionReadLn, TimeOuts)
{
  {
    // With ReadTimeout set, a default read raises.
    TFixture F;
    F.Client.ReadTimeout = 200;
    F.Transport->AddInput("partial");
    try {
      F.Client.ReadLn();
      ADD_FAILURE() << "no time-out";
    } catch (const EIdReadTimeout& E) {
      EXPECT_STREQ(E.what(), "Read timed out after 0.2 s");
    }
    EXPECT_EQ(F.Client.InputBufferSize(), 7u) << "the partial line stays buffered";
  }
  {
    // An explicit time-out returns an empty line and sets the flag instead.
    TFixture F;
    F.Transport->AddInput("partial");
    EXPECT_EQ(F.Client.ReadLn("\n", 50), "");
    EXPECT_TRUE(F.Client.ReadLnTimedOut);
    F.Transport->AddInput(" line\n");
    EXPECT_EQ(F.Client.ReadLn("\n", 50), "partial line");
    EXPECT_FALSE(F.Client.ReadLnTimedOut);
  }
}

// ------------------------------------------------------- exact reads --

TEST(TCPConnectionReadBuffer, ExactCountsAcrossPieces)
{
  const std::string Body = Pattern(70000);
  for (TSplit Split : AllSplits) {
    TFixture F;
    Script(*F.Transport, Body, Split);
    std::string First(10, '\0');
    std::string Rest(Body.size() - 10, '\0');
    F.Client.ReadBuffer(First.data(), First.size());
    F.Client.ReadBuffer(Rest.data(), Rest.size());
    EXPECT_EQ(First + Rest, Body);
  }
}

TEST(TCPConnectionReadBuffer, CloseBeforeTheCountRaises)
{
  TFixture F;
  F.Transport->AddInput("12345");
  F.Transport->CloseAfterInput();
  char Buffer[10];
  EXPECT_THROW(F.Client.ReadBuffer(Buffer, sizeof(Buffer)), EIdConnClosedGracefully);
  EXPECT_EQ(F.Client.InputBufferSize(), 5u) << "nothing was taken";
}

// ------------------------------------------------------ stream reads --

// Records the work events of a component as text.
struct TWorkLog {
  std::vector<std::string> Events;
  std::int64_t LastCount = 0;

  void Attach(TIdComponent& Component)
  {
    Component.OnWorkBegin = [this](TIdComponent&, TWorkMode Mode, std::int32_t Max) {
      Events.push_back(std::string(Mode == TWorkMode::wmRead ? "R" : "W") + "begin " + std::to_string(Max));
      LastCount = 0;
    };
    Component.OnWork = [this](TIdComponent&, TWorkMode, std::int32_t Count) {
      EXPECT_GE(Count, LastCount) << "the running count never falls";
      LastCount = Count;
    };
    Component.OnWorkEnd = [this](TIdComponent&, TWorkMode Mode) {
      Events.push_back(std::string(Mode == TWorkMode::wmRead ? "R" : "W") + "end " +
                       std::to_string(LastCount));
    };
  }
};

TEST(TCPConnectionReadStream, SizedBodyAfterAHeadLeavesTheNextBytes)
{
  // The body is big enough for the direct block path and arrives partly
  // with the head; what follows it must stay for the next read.
  const std::string Body = Pattern(200000, 1);
  for (TSplit Split : AllSplits) {
    TFixture F;
    TWorkLog Log;
    Log.Attach(F.Client);
    Script(*F.Transport, "Content-Length: 200000\r\n\r\n" + Body + "NEXT\r\n", Split);
    F.Transport->CloseAfterInput();
    EXPECT_EQ(F.Client.ReadLn(), "Content-Length: 200000");
    EXPECT_EQ(F.Client.ReadLn(), "");
    TMemoryStream Stream("PRE");
    Stream.Seek(0, TSeekOrigin::soEnd);
    F.Client.ReadStream(Stream, 200000);
    EXPECT_EQ(Stream.Bytes(), "PRE" + Body);
    EXPECT_EQ(Stream.Position(), 200003);
    EXPECT_EQ(F.Client.ReadLn(), "NEXT");
    EXPECT_EQ(Log.Events, (std::vector<std::string>{"Rbegin 200000", "Rend 200000"}));
  }
}

TEST(TCPConnectionReadStream, SmallRecvBufferSizeStillReadsEverything)
{
  const std::string Body = Pattern(5000, 2);
  TFixture F;
  F.Client.RecvBufferSize = 100;
  F.Transport->AddInputRandomly(Body + "tail\n", 9, 333);
  TMemoryStream Stream;
  F.Client.ReadStream(Stream, 5000);
  EXPECT_EQ(Stream.Bytes(), Body);
  EXPECT_EQ(F.Client.ReadLn(), "tail");
}

TEST(TCPConnectionReadStream, CutShortKeepsEveryByteThatArrived)
{
  // 1000 body bytes come with the head, then 49000 more, then the close:
  // each receive is written as it comes, so all 50000 are in the stream.
  const std::string Body = Pattern(100000, 3);
  for (TSplit Split : {TSplit::Whole, TSplit::Random2, TSplit::Random3}) {
    TFixture F;
    TWorkLog Log;
    Log.Attach(F.Client);
    F.Transport->AddInput("head\n" + Body.substr(0, 1000));
    Script(*F.Transport, Body.substr(1000, 49000), Split);
    F.Transport->CloseAfterInput();
    EXPECT_EQ(F.Client.ReadLn(), "head");
    TMemoryStream Stream;
    try {
      F.Client.ReadStream(Stream, 100000);
      ADD_FAILURE() << "a cut-short body counted as complete";
    } catch (const EIdConnClosedGracefully& E) {
      EXPECT_STREQ(E.what(), "Connection Closed Gracefully.");
    }
    EXPECT_EQ(Stream.Bytes(), Body.substr(0, 50000));
    EXPECT_EQ(Stream.Position(), 50000) << "the stream is cut to what was written";
    EXPECT_EQ(Log.Events.front(), "Rbegin 100000");
    EXPECT_EQ(Log.Events.back(), "Rend 50000");
    EXPECT_FALSE(F.Client.Connected());
  }
}

TEST(TCPConnectionReadStream, SizedReadAfterANoticedCloseRaises)
{
  TFixture F;
  F.Transport->AddInput("abc");
  F.Transport->CloseAfterInput();
  F.Client.PollForClose(false, 0);
  F.Client.PollForClose(false, 0);
  ASSERT_FALSE(F.Client.Connected());
  TMemoryStream Stream;
  EXPECT_THROW(F.Client.ReadStream(Stream, 10), EIdConnClosedGracefully);
  EXPECT_EQ(Stream.Bytes(), "abc") << "the buffered bytes were written, the stream ends there";
}

TEST(TCPConnectionReadStream, UntilCloseAppendsEverything)
{
  const std::string Body = Pattern(150001, 4);
  for (TSplit Split : AllSplits) {
    TFixture F;
    TWorkLog Log;
    Log.Attach(F.Client);
    Script(*F.Transport, Body, Split);
    F.Transport->CloseAfterInput();
    TMemoryStream Stream;
    F.Client.ReadStream(Stream, -1, true);
    EXPECT_EQ(Stream.Bytes(), Body);
    ASSERT_EQ(Log.Events.size(), 2u);
    EXPECT_EQ(Log.Events[0], "Rbegin 0");
    EXPECT_EQ(F.Client.InputBufferSize(), 0u);
    EXPECT_FALSE(F.Client.Connected());
  }
}

TEST(TCPConnectionReadStream, ResetWhileReadingUntilCloseKeepsTheBufferedBytes)
{
  TFixture F;
  F.Client.RecvBufferSize = 16; // the whole input sits in the buffer, not in a block
  F.Transport->AddInput("0123456789");
  F.Transport->FailAfterInput(Id_WSAECONNRESET);
  TMemoryStream Stream;
  F.Client.ReadStream(Stream, -1, true);
  EXPECT_EQ(Stream.Bytes(), "0123456789");
}

TEST(TCPConnectionReadStream, CountPrefixedRead)
{
  TFixture F;
  F.Transport->AddInput(std::string("\0\0\0\x05", 4) + "hello!");
  TMemoryStream Stream;
  F.Client.ReadStream(Stream);
  EXPECT_EQ(Stream.Bytes(), "hello");
}

TEST(TCPConnectionReadStream, ZeroBytesFireBeginAndEndOnly)
{
  TFixture F;
  TWorkLog Log;
  Log.Attach(F.Client);
  TMemoryStream Stream;
  F.Client.ReadStream(Stream, 0);
  EXPECT_EQ(Stream.Bytes(), "");
  EXPECT_EQ(Log.Events, (std::vector<std::string>{"Rbegin 0", "Rend 0"}));
}

// ------------------------------------------------------------- work --

TEST(TCPConnectionWork, LevelsCountsAndClamping)
{
  TIdTCPClient Component;
  std::vector<std::string> Events;
  Component.OnWorkBegin = [&](TIdComponent&, TWorkMode, std::int32_t Max) {
    Events.push_back("begin " + std::to_string(Max));
  };
  Component.OnWork = [&](TIdComponent&, TWorkMode, std::int32_t Count) {
    Events.push_back("work " + std::to_string(Count));
  };
  Component.OnWorkEnd = [&](TIdComponent&, TWorkMode) { Events.push_back("end"); };

  Component.DoWork(TWorkMode::wmRead, 5); // outside a level: nothing
  Component.BeginWork(TWorkMode::wmRead, 3LL << 31);
  Component.BeginWork(TWorkMode::wmRead, 7); // nested: no second begin
  Component.DoWork(TWorkMode::wmRead, 2000000000);
  Component.DoWork(TWorkMode::wmWrite, 1); // other mode has no level open
  Component.DoWork(TWorkMode::wmRead, 2000000000);
  Component.EndWork(TWorkMode::wmRead); // inner end: nothing
  Component.EndWork(TWorkMode::wmRead);
  Component.EndWork(TWorkMode::wmRead); // unbalanced: nothing
  Component.BeginWork(TWorkMode::wmRead, 1);
  Component.DoWork(TWorkMode::wmRead, 1);
  Component.EndWork(TWorkMode::wmRead);

  // Counts past 2 GiB stay at the largest 32-bit value instead of wrapping.
  EXPECT_EQ(Events, (std::vector<std::string>{"begin 2147483647", "work 2000000000", "work 2147483647", "end",
                                              "begin 1", "work 1", "end"}));
}

TEST(TCPConnectionWork, ABeginHandlerThatRaisesLeavesNoLevelOpen)
{
  // A caller may cancel from OnWorkBegin; the next transfer must still see
  // its own begin and a count that starts at 0.
  TFixture F;
  TWorkLog Log;
  Log.Attach(F.Client);
  bool Cancel = true;
  const auto Logging = F.Client.OnWorkBegin;
  F.Client.OnWorkBegin = [&](TIdComponent& Sender, TWorkMode Mode, std::int32_t Max) {
    if (Cancel)
      throw Exception("User Cancel");
    Logging(Sender, Mode, Max);
  };
  F.Transport->AddInput("abcdef");
  TMemoryStream First;
  EXPECT_THROW(F.Client.ReadStream(First, 3), Exception);
  EXPECT_EQ(First.Size(), 0);

  Cancel = false;
  TMemoryStream Second;
  F.Client.ReadStream(Second, 3);
  EXPECT_EQ(Second.Bytes(), "abc");
  EXPECT_EQ(Log.Events, (std::vector<std::string>{"Rbegin 3", "Rend 3"}));
}

TEST(TCPConnectionWork, AStreamThatCannotBeCutLeavesNoLevelOpen)
{
  // A stream that already held more than the read overwrote is cut to the
  // end of the read; when that fails, the work level must still close.
  struct TUncuttable : TMemoryStream {
    using TMemoryStream::TMemoryStream;
    void SetSize(std::int64_t) override { throw EWriteError(); }
  };
  TFixture F;
  TWorkLog Log;
  Log.Attach(F.Client);
  F.Transport->AddInput("abcdef");
  TUncuttable Longer(std::string("xxxxxx"));
  EXPECT_THROW(F.Client.ReadStream(Longer, 3), EWriteError);
  EXPECT_EQ(Longer.Bytes(), "abcxxx");

  TMemoryStream Next;
  F.Client.ReadStream(Next, 3);
  EXPECT_EQ(Next.Bytes(), "def");
  EXPECT_EQ(Log.Events, (std::vector<std::string>{"Rbegin 3", "Rend 3", "Rbegin 3", "Rend 3"}));
}

TEST(TCPConnectionWork, LineReadsOutsideAWorkLevelFireNothing)
{
  TFixture F;
  int Calls = 0;
  F.Client.OnWork = [&](TIdComponent&, TWorkMode, std::int32_t) { ++Calls; };
  F.Transport->AddInput("status\r\nheader\r\n");
  F.Client.ReadLn();
  F.Client.ReadLn();
  EXPECT_EQ(Calls, 0);
}

// ----------------------------------------------------------- output --

TEST(TCPConnectionWrite, LinesAndBufferedWrites)
{
  TFixture F;
  F.Client.WriteLn("GET / HTTP/1.1");
  F.Client.Write("abc");
  EXPECT_EQ(F.Transport->Sent(), "GET / HTTP/1.1\r\nabc");
  EXPECT_EQ(F.Transport->SendCalls(), 2) << "a line and its CR LF go out in one send";

  F.Client.BeginBufferedWrite();
  F.Client.WriteLn("Host: a");
  F.Client.WriteLn("Accept: */*");
  F.Client.WriteLn();
  EXPECT_EQ(F.Transport->SendCalls(), 2) << "nothing sent before the end";
  F.Client.EndBufferedWrite();
  EXPECT_EQ(F.Transport->SendCalls(), 3);
  EXPECT_EQ(F.Transport->Sent(), "GET / HTTP/1.1\r\nabcHost: a\r\nAccept: */*\r\n\r\n");
}

TEST(TCPConnectionWrite, ThresholdPartialSendsAndWriteNow)
{
  TFixture F;
  F.Transport->LimitSendPieces(3);
  F.Client.BeginBufferedWrite(10);
  F.Client.Write("12345");
  EXPECT_EQ(F.Transport->Sent(), "");
  F.Client.Write("678901");
  EXPECT_EQ(F.Transport->Sent(), "12345678901") << "the threshold sends all collected bytes";
  F.Client.Write("ab");
  F.Client.WriteBuffer("NOW", 3, true);
  EXPECT_EQ(F.Transport->Sent(), "12345678901NOW");
  F.Client.EndBufferedWrite();
  EXPECT_EQ(F.Transport->Sent(), "12345678901NOWab");
}

TEST(TCPConnectionWrite, FailedSendDropsTheBufferAndClosesOnAbort)
{
  TFixture F;
  F.Client.BeginBufferedWrite();
  F.Client.Write("request");
  F.Transport->FailSends(Id_WSAESHUTDOWN);
  try {
    F.Client.EndBufferedWrite();
    ADD_FAILURE() << "a failed send went unnoticed";
  } catch (const EIdSocketError& E) {
    EXPECT_EQ(E.LastError(), 10058);
    EXPECT_STREQ(E.what(), "Socket Error # 10058\r\nCannot send or receive after socket is closed.");
  }
  EXPECT_FALSE(F.Client.Connected());
  // The buffer is gone: a new connection sends only its own bytes.
  F.Transport->FailSends(0);
  F.Client.Connect();
  F.Client.Write("x");
  EXPECT_EQ(F.Transport->Sent(), "x");
}

TEST(TCPConnectionWrite, WritingWhenNotConnected)
{
  TIdTCPClient Client;
  try {
    Client.Write("x");
    ADD_FAILURE() << "wrote without a connection";
  } catch (const EIdNotConnected& E) {
    EXPECT_STREQ(E.what(), "Not Connected");
  }
  TFixture F;
  F.Client.Disconnect();
  EXPECT_THROW(F.Client.Write("x"), EIdConnClosedGracefully);
}

// ------------------------------------------------- state and close --

TEST(TCPConnectionState, PollForCloseNoticesTheCloseAndKeepsTheData)
{
  TFixture F;
  std::vector<std::string> Status;
  F.Client.OnStatus = [&](TIdComponent&, TIdStatus, const std::string& Text) { Status.push_back(Text); };
  EXPECT_EQ(F.Client.PollForClose(false, 0), -1) << "nothing arrived: a time-out without an error";
  EXPECT_TRUE(F.Client.Connected());
  F.Transport->AddInput("leftover\n");
  F.Transport->CloseAfterInput();
  F.Client.PollForClose(false, 0);
  F.Client.PollForClose(false, 0);
  EXPECT_FALSE(F.Client.Connected());
  EXPECT_EQ(Status, std::vector<std::string>{"Disconnected."});
  EXPECT_EQ(F.Client.ReadLn(), "leftover") << "data left after the close can be read";
  EXPECT_THROW(F.Client.ReadLn(), EIdConnClosedGracefully);
  EXPECT_THROW(F.Client.PollForClose(true, 0), EIdConnClosedGracefully);
}

TEST(TCPConnectionState, ResetOfAnIdleConnectionCountsAsCloseForAPoll)
{
  TFixture F;
  F.Transport->FailAfterInput(Id_WSAECONNRESET);
  EXPECT_EQ(F.Client.PollForClose(false, 0), 0);
  EXPECT_FALSE(F.Client.Connected());
}

TEST(TCPConnectionState, ResetDuringAReadIsASocketError)
{
  TFixture F;
  F.Transport->FailAfterInput(Id_WSAECONNRESET);
  try {
    F.Client.ReadLn();
    ADD_FAILURE() << "a reset went unnoticed";
  } catch (const EIdSocketError& E) {
    EXPECT_STREQ(E.what(), "Socket Error # 10054\r\nConnection reset by peer.");
  }
  TFixture G;
  G.Transport->FailAfterInput(Id_WSAETIMEDOUT);
  EXPECT_THROW(G.Client.ReadLn(), EIdSocketError);
  EXPECT_TRUE(G.Client.Connected()) << "other errors leave the socket to the caller";
}

TEST(TCPConnectionState, DisconnectAndReconnect)
{
  TFixture F;
  std::vector<std::string> Status;
  F.Client.OnStatus = [&](TIdComponent&, TIdStatus, const std::string& Text) { Status.push_back(Text); };
  F.Transport->AddInput("line\nrest");
  EXPECT_EQ(F.Client.ReadLn(), "line");
  EXPECT_THROW(F.Client.Connect(), EIdAlreadyConnected);

  F.Client.Disconnect();
  EXPECT_EQ(Status, (std::vector<std::string>{"Disconnecting.", "Disconnected."}));
  EXPECT_FALSE(F.Client.Connected());
  EXPECT_EQ(F.Transport->CloseCalls(), 1);
  EXPECT_EQ(F.Client.IOHandler(), F.Transport) << "a handler set by the caller is kept";
  EXPECT_EQ(F.Client.InputBufferSize(), 4u) << "the input stays until the next connect";

  F.Client.Connect();
  EXPECT_EQ(F.Transport->OpenCalls(), 2);
  EXPECT_EQ(F.Transport->OpenedHost(), "example.test");
  EXPECT_EQ(F.Client.InputBufferSize(), 0u);
  EXPECT_TRUE(F.Client.Connected());
  EXPECT_FALSE(F.Client.ClosedGracefully());
}

} // namespace
} // namespace quenloft
