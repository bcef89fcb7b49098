#include "download/DownLoad.h"

#include "http/IdException.h"
#include "http/IdHTTP.h"
#include "platform/Classes.h"
#include "scan/URLUtils.h"
#include "platform/kvuFiles.h"

#include <cstdio>
#include <filesystem>
#include <memory>

namespace quenloft {

TDownLoad::TDownLoad(TMakeKey Key, TIdHTTP* HTTP) : TSafeThread(Key), FHTTP(HTTP)
{
  // The previous user of the client has ended (the coordinator joined it):
  // its stop must not end this transfer.
  FHTTP->ResetAbort();
  FHTTP->OnWork = [this](TIdComponent& Sender, TWorkMode Mode, std::int32_t Count) {
    HTTPWork(Sender, Mode, Count);
  };
  FHTTP->OnWorkBegin = [this](TIdComponent& Sender, TWorkMode Mode, std::int32_t Max) {
    HTTPWorkBegin(Sender, Mode, Max);
  };
}

void TDownLoad::SafeExecute()
{
  // 1. The output file, created exclusively: a file that appeared under
  //    this name since the coordinator chose it is never truncated. The
  //    folder part ends at the last "/": a ":" is an ordinary byte of a
  //    name here, so 'a:b.swf' is a bare name and makes no folder 'a:'.
  const std::string folder = FFileName.substr(0, FFileName.rfind('/') + 1);
  if (folder.empty())
    throw Exception("Unable to create directory");
  std::unique_ptr<TFileStream> file;
  try {
    file = std::make_unique<TFileStream>(FFileName, fmCreateNew | fmShareExclusive);
  } catch (const EFCreateError&) {
    // 2. Every missing folder, parents first; then the file once more.
    //    The folder is nearly always there already, so it is only looked
    //    at when the create fails. A folder that cannot be made fails with
    //    the system's reason ("Permission denied"), not with the create's
    //    "No such file or directory"; when no folder was missing, the
    //    create's own reason stands.
    std::error_code error;
    const bool made = std::filesystem::create_directories(folder, error);
    if (error)
      throw Exception("Cannot create folder \"" + ExpandFileName(folder) + "\". " +
                      SysErrorMessage(error.value()));
    if (!made)
      throw;
    file = std::make_unique<TFileStream>(FFileName, fmCreateNew | fmShareExclusive);
  }
  FCreated = true;

  // 3. Fetch into the file; close it before reporting success.
  struct TDetach {
    TDownLoad* Self;
    ~TDetach() { Self->DetachHandlers(); }
  } detach{this};
  try {
    FHTTP->Get(EncodeURL(FURL), *file);
  } catch (const EIdAborted&) {
    // Our own flag decides: an abort nobody asked for is a failure.
    FCancelled = Terminated();
    throw;
  }
  file.reset();
  SafePostMessage(FWnd, FMsgDone, 0, FTask);
}

void TDownLoad::DoTerminate()
{
  FHTTP->Abort();
}

void TDownLoad::HTTPWorkBegin(TIdComponent&, TWorkMode, std::int32_t AWorkCountMax)
{
  SafePostMessage(FWnd, FMsgWorkBegin, AWorkCountMax, FTask);
}

void TDownLoad::HTTPWork(TIdComponent&, TWorkMode, std::int32_t AWorkCount)
{
  // Raised inside the client's transfer, this aborts the GET.
  if (Terminated())
    throw EIdAborted();
  SafePostMessage(FWnd, FMsgWork, AWorkCount, FTask);
}

void TDownLoad::HandleError(const std::string& Msg)
{
  TSafeThread::HandleError(Msg);
  if (FCancelled)
    return; // cancelled: the file stays as it is, nothing is reported
  // An empty left-over file of ours goes; a partial one stays. When the size
  // cannot be taken, the file is kept and the error is still reported: the
  // window needs exactly one final message per task.
  if (FCreated && FileExists(FFileName)) {
    try {
      if (FileSizeOf(FFileName) == 0)
        std::remove(FFileName.c_str());
    } catch (const Exception&) {
    }
  }
  FErrorText = Msg;
  SafePostMessage(FWnd, FMsgError, 0, FTask, FErrorText);
}

void TDownLoad::Cleanup()
{
  DetachHandlers();
}

void TDownLoad::DetachHandlers()
{
  FHTTP->OnWork = nullptr;
  FHTTP->OnWorkBegin = nullptr;
}

} // namespace quenloft
