// TInstallTrackThread: the install ping. Once per installation (until
// "InstallTracked" is set) the program fetches the maker's install-tracking
// address on this thread, discards the answer and then calls its owner's
// OnTracked (which sets the flag), whether the request succeeded or not.
//
// Threads: created and freed on the UI thread (by TApp); SafeExecute runs on
// the new thread at a lowered priority, and so does OnTracked, which must
// touch nothing but the flag.
#pragma once

#include <functional>
#include <string>

#include "download/SafeThread.h"

namespace quenloft {

// The install-tracking address. None is known, so it is left empty: the
// request then fails at once and the flag is set all the same.
inline constexpr const char* InstallTrackURL = "";

class TInstallTrackThread : public TSafeThread {
public:
  // Created suspended (through TSafeThread::Make); Resume starts it.
  TInstallTrackThread(TMakeKey Key, std::function<void()> OnTracked, std::string URL = InstallTrackURL);

protected:
  void SafeExecute() override;

private:
  std::function<void()> FOnTracked;
  std::string FURL;
};

} // namespace quenloft
