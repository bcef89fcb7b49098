#include "platform/Messages.h"

#include <gtest/gtest.h>

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

} // namespace
} // namespace quenloft
