#include "download/DownLoad.h"

#include "http/IdException.h"
#include "http/IdHTTP.h"
#include "http/IdTransferLease.h"
#include "http/RetryPolicy.h"
#include "platform/Classes.h"
#include "scan/URLUtils.h"
#include "platform/kvuFiles.h"

#include <algorithm>
#include <functional>
#include <cstdio>
#include <filesystem>
#include <memory>

#include <poll.h>

namespace quenloft {
namespace {

// Hands the body to a stream chosen when the first byte comes (or when the
// request ends without one), once the answer's head can be looked at. The
// client sees a stream that starts empty.
class TDecidingStream : public TStream {
public:
  explicit TDecidingStream(std::function<TStream&()> ADecide) : FDecide(std::move(ADecide)) {}

  TStream& Target()
  {
    if (!FTarget) {
      FTarget = &FDecide();
      FBase = FTarget->Position();
    }
    return *FTarget;
  }
  std::size_t Read(void*, std::size_t) override { return 0; }
  std::size_t Write(const void* Buffer, std::size_t Count) override { return Target().Write(Buffer, Count); }
  std::int64_t Seek(std::int64_t Offset, TSeekOrigin Origin) override
  {
    if (!FTarget)
      return 0;
    if (Origin == TSeekOrigin::soBeginning)
      Offset += FBase;
    return FTarget->Seek(Offset, Origin) - FBase;
  }
  void SetSize(std::int64_t NewSize) override
  {
    if (FTarget)
      FTarget->SetSize(FBase + NewSize);
  }

private:
  std::function<TStream&()> FDecide;
  TStream* FTarget = nullptr;
  std::int64_t FBase = 0;
};

// Sets a range request on the client for one try and takes it off again.
class TRangeRequest {
public:
  TRangeRequest(TIdHTTPRequest& ARequest, std::int64_t AFrom, const std::string& AValidator)
      : FRequest(ARequest)
  {
    FRequest.ContentRangeStart = AFrom;
    FRequest.ContentRangeEnd = 0;
    if (!AValidator.empty())
      FRequest.CustomHeaders.SetValues("If-Range", AValidator);
  }
  ~TRangeRequest()
  {
    FRequest.ContentRangeStart = 0;
    FRequest.CustomHeaders.SetValues("If-Range", "");
  }
  TRangeRequest(const TRangeRequest&) = delete;
  TRangeRequest& operator=(const TRangeRequest&) = delete;

private:
  TIdHTTPRequest& FRequest;
};

} // namespace

TDownLoad::TDownLoad(TMakeKey Key, TIdHTTP* HTTP) : TSafeThread(Key), FHTTP(HTTP) {}

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
    if (FResumeFrom) {
      // The partial file of an earlier cut: continued, never truncated.
      file = std::make_unique<TFileStream>(FFileName, fmOpenReadWrite | fmShareExclusive);
    } else {
      file = std::make_unique<TFileStream>(FFileName, fmCreateNew | fmShareExclusive);
    }
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
  FCreated = !FResumeFrom;

  // 3. Fetch into the file, trying again after a passing failure; close it
  //    before reporting success.
  for (int tries = 1;; ++tries) {
    try {
      const TIdTransferLease lease(*FHTTP,
                                   {[this](TIdComponent& Sender, TWorkMode Mode, std::int32_t Max) {
                                      HTTPWorkBegin(Sender, Mode, Max);
                                    },
                                    [this](TIdComponent& Sender, TWorkMode Mode, std::int32_t Count) {
                                      HTTPWork(Sender, Mode, Count);
                                    }},
                                   FStop);
      if (FResumeFrom && !FFresh) {
        const std::int64_t offset = file->Size();
        const TRangeRequest range(FHTTP->Request(), offset, FResumeFrom->Validator);
        TDecidingStream target([&]() -> TStream& { return ResumeTarget(*file, offset); });
        FHTTP->Get(EncodeURL(FURL), target);
        target.Target(); // an answer without a byte of body decides too
      } else {
        FHTTP->Get(EncodeURL(FURL), FFresh ? *FFresh : *file);
      }
      break;
    } catch (const EIdAborted&) {
      // Our own flag decides: an abort nobody asked for is a failure.
      FCancelled = Terminated();
      throw;
    } catch (const Exception& e) {
      if (tries > FRetries || Terminated() || !IsTransientFailure(e))
        throw;
      // Only an answer's own "Retry-After" counts, not one of an earlier
      // answer still held by the client.
      const bool answered = dynamic_cast<const EIdHTTPProtocolException*>(&e) != nullptr;
      const auto wait =
          RetryWait(tries, answered ? FHTTP->Response().RawHeaders.Values("Retry-After") : std::string(),
                    std::chrono::system_clock::now());
      if (!WaitBeforeTry(tries + 1, wait)) {
        FCancelled = true;
        throw EIdAborted();
      }
      // The next try writes the file from its start; a resumed one asks
      // again from the end of what it holds.
      if (FFresh) {
        FFresh->SetPosition(0);
        FFresh->SetSize(0);
      } else if (!FResumeFrom) {
        file->SetPosition(0);
        file->SetSize(0);
      }
    }
  }
  file.reset();
  FFresh.reset();
  if (FResume)
    RemoveResumeRecord(FFileName);
  SafePostMessage(FWnd, FMsgDone, 0, FTask);
}

TStream& TDownLoad::ResumeTarget(TFileStream& Partial, std::int64_t Offset)
{
  const TIdHTTPResponse& answer = FHTTP->Response();
  if (answer.ResponseCode() == 206) {
    const std::string value = answer.RawHeaders.Values("Content-Range");
    const auto range = ParseContentRange(value);
    const std::int64_t total = FResumeFrom->Total;
    if (!range || range->First != Offset || (total >= 0 && range->Total >= 0 && range->Total != total))
      throw Exception("The server sent another part of the file than the one asked for (Content-Range: " +
                      value.substr(0, 64) + ")");
    Partial.SetPosition(Offset);
    return Partial;
  }
  // The whole file again: the range was ignored or the file changed. The
  // partial file stays as it is; the body goes to a fresh numbered file.
  // Its record no longer fits the file on the server.
  RemoveResumeRecord(FFileName);
  const std::string fresh = UniqueFileName(FFileName);
  FFresh = std::make_unique<TFileStream>(fresh, fmCreateNew | fmShareExclusive);
  FFileName = fresh;
  FCreated = true;
  SafePostMessage(FWnd, FMsgFile, 0, FTask, fresh);
  return *FFresh;
}

void TDownLoad::KeepResumeRecord()
{
  if (!FResume || !FileExists(FFileName) || FileSizeOf(FFileName) == 0)
    return;
  // The last answer's validator and length, when it was the file's own
  // answer; else the record the file had.
  const TIdHTTPResponse& answer = FHTTP->Response();
  TResumeRecord record;
  record.URL = FURL;
  const int code = answer.ResponseCode();
  if (code == 200) {
    record.Validator = ResponseValidator(answer);
    record.Total = answer.ContentLength;
  } else if (code == 206 && FResumeFrom) {
    record = *FResumeFrom;
  } else if (FResumeFrom && !FFresh) {
    record = *FResumeFrom;
  } else {
    return;
  }
  if (!record.Validator.empty())
    WriteResumeRecord(FFileName, record);
}

bool TDownLoad::WaitBeforeTry(int ATry, std::chrono::milliseconds AWait)
{
  SafePostMessage(FWnd, FMsgRetry, ATry, FTask,
                  "retrying (" + std::to_string(ATry) + "/" + std::to_string(FRetries + 1) + ")");
  const auto scaled = AWait * FRetrySecond.count() / 1000;
  const auto deadline = std::chrono::steady_clock::now() + scaled;
  // The stop signal is readable once raised: the wait ends at once then.
  while (!Terminated()) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0)
      return true;
    pollfd stop{FStop.Handle(), POLLIN, 0};
    const int timeout = static_cast<int>(std::min<std::int64_t>(left.count() + 1, 1000));
    ::poll(&stop, FStop.Handle() >= 0 ? 1 : 0, timeout);
  }
  return false;
}

void TDownLoad::DoTerminate()
{
  FStop.Abort();
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
  FFresh.reset();
  try {
    KeepResumeRecord();
  } catch (const Exception&) {
  }
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

} // namespace quenloft
