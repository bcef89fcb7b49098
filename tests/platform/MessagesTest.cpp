#include "platform/Messages.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace quenloft {
namespace {

TEST(Messages, PostingToNoWindowOrAGoneWindowDoesNothing)
{
  EXPECT_EQ(SafePostMessage(0, WM_DOWNLOAD_DONE, 0, 1), 0);
  HWND gone = 0;
  {
    TMessageQueue queue;
    TWindowHandle window(queue);
    gone = window.Handle();
    EXPECT_EQ(SafePostMessage(gone, 0, 0, 1), 0);
  }
  EXPECT_EQ(SafePostMessage(gone, WM_DOWNLOAD_DONE, 0, 1), 0);
}

TEST(Messages, ArriveInPostingOrderFromAnotherThread)
{
  TMessageQueue queue;
  TWindowHandle window(queue);
  std::thread worker([wnd = window.Handle()] {
    for (int i = 0; i < 1000; ++i)
      SafePostMessage(wnd, WM_DOWNLOAD_WORK, i, 7);
    SafePostMessage(wnd, WM_DOWNLOAD_ERROR, 0, 7, "boom");
  });
  std::vector<std::int64_t> seen;
  TMessage m;
  while (queue.WaitPop(m, std::chrono::seconds(5)) && m.Msg == WM_DOWNLOAD_WORK)
    seen.push_back(m.WParam);
  worker.join();
  ASSERT_EQ(seen.size(), 1000u);
  for (std::size_t i = 0; i < seen.size(); ++i)
    EXPECT_EQ(seen[i], static_cast<std::int64_t>(i));
  EXPECT_EQ(m.Msg, WM_DOWNLOAD_ERROR);
  EXPECT_EQ(m.Text, "boom");
  EXPECT_EQ(m.LParam, 7u);
}

// A progress message wakes nobody, yet a reader that is already waiting
// (with a long time-out) still gets it soon: it looks at the queue in slices.
TEST(Messages, ALoneProgressMessageReachesAWaitingReader)
{
  TMessageQueue queue;
  TWindowHandle window(queue);
  std::atomic<bool> waiting{false};
  std::atomic<bool> got{false};
  std::thread reader([&] {
    TMessage m;
    waiting = true;
    got = queue.WaitPop(m, std::chrono::seconds(60)) && m.Msg == WM_DOWNLOAD_WORKBEGIN && m.WParam == 10240;
  });
  while (!waiting)
    std::this_thread::yield();
  SafePostMessage(window.Handle(), WM_DOWNLOAD_WORKBEGIN, 10240, 7);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!got && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  EXPECT_TRUE(got.load()) << "the reader slept past a queued progress message";
  queue.Interrupt(); // ends a reader that is still waiting
  reader.join();
}

// Once final messages follow each other quickly the reader looks at the
// queue before it sleeps: a chain of tasks handed over one at a time must
// still reach it whole and in order, and an interrupt must still end a
// reader that looks or sleeps.
TEST(Messages, AQuickChainLosesNoMessageAndNoInterrupt)
{
  TMessageQueue queue;
  TWindowHandle window(queue);
  constexpr int tasks = 300;
  std::atomic<int> taken{0};
  std::thread worker([&, wnd = window.Handle()] {
    for (int i = 0; i < tasks; ++i) {
      while (taken.load() < i)
        std::this_thread::yield();
      SafePostMessage(wnd, WM_DOWNLOAD_WORK, 1, i);
      SafePostMessage(wnd, i % 2 ? WM_DOWNLOAD_ERROR : WM_DOWNLOAD_DONE, 0, i);
    }
  });
  TMessage m;
  std::vector<std::uint64_t> finals;
  while (finals.size() < tasks && queue.WaitPop(m, std::chrono::seconds(60)))
    if (m.Msg != WM_DOWNLOAD_WORK) {
      finals.push_back(m.LParam);
      taken = static_cast<int>(finals.size());
    }
  worker.join();
  ASSERT_EQ(finals.size(), static_cast<std::size_t>(tasks));
  for (int i = 0; i < tasks; ++i)
    EXPECT_EQ(finals[i], static_cast<std::uint64_t>(i));

  std::thread stopper([&] { queue.Interrupt(); });
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(queue.WaitPop(m, std::chrono::seconds(60)));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30)) << "the interrupt was lost";
  stopper.join();
}

} // namespace
} // namespace quenloft
