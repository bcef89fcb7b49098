#include "ui/InstallTrack.h"

#include <cerrno>

#include <sys/resource.h>
#include <unistd.h>

#include "http/IdHTTP.h"
#include "platform/Classes.h"
#include "platform/Trace.h"

namespace quenloft {
namespace {

// The counterpart of the lowest normal thread priority: a little nicer than
// the rest of the process. On Linux a thread id names one thread here.
constexpr int kNicenessStep = 2;

void LowerThreadPriority()
{
  const id_t tid = static_cast<id_t>(::gettid());
  errno = 0;
  const int current = ::getpriority(PRIO_PROCESS, tid);
  if (current == -1 && errno != 0)
    return;
  ::setpriority(PRIO_PROCESS, tid, current + kNicenessStep > 19 ? 19 : current + kNicenessStep);
}

} // namespace

TInstallTrackThread::TInstallTrackThread(TMakeKey Key, std::function<void()> OnTracked, std::string URL)
    : TSafeThread(Key), FOnTracked(std::move(OnTracked)), FURL(std::move(URL))
{}

void TInstallTrackThread::SafeExecute()
{
  LowerThreadPriority();
  Trace("install track");
  // The answer, and whether there was one at all, is not looked at: the
  // flag is set either way, so a machine that is offline at its first run
  // is not asked again. An empty address fails at once.
  if (!FURL.empty()) {
    try {
      TIdHTTP http;
      TMemoryStream discarded;
      http.Get(FURL, discarded);
    } catch (const std::exception&) {
    }
  }
  if (FOnTracked)
    FOnTracked();
}

} // namespace quenloft
