#include "download/SafeThread.h"

#include "platform/Classes.h"
#include "platform/Trace.h"

namespace quenloft {

TSafeThread::~TSafeThread()
{
  Destroy();
}

void TSafeThread::Resume()
{
  if (FStarted)
    return;
  FStarted = true;
  FThread = std::thread([this] { Execute(); });
}

void TSafeThread::WaitFor()
{
  if (FThread.joinable())
    FThread.join();
}

void TSafeThread::Destroy()
{
  if (FDestroyed)
    return;
  FDestroyed = true;
  Terminate();
  // A thread that was never resumed ends without running its body, as a
  // suspended thread that is resumed after a stop request would.
  WaitFor();
  Cleanup();
}

void TSafeThread::HandleError(const std::string& Msg)
{
  Trace("Thread Error: " + Msg);
}

void TSafeThread::Execute()
{
  try {
    SafeExecute();
  } catch (const Exception& e) {
    HandleError(e.what());
  } catch (const std::exception& e) {
    // Failures of the standard library (allocation, system errors) are
    // reported like our own rather than ending the process.
    HandleError(e.what());
  }
  FFinished.store(true, std::memory_order_release);
}

} // namespace quenloft
