#include "convert/FramePainter.h"

#include <QPainter>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <stdexcept>

namespace quenloft::convert {
namespace {

swf::render::Quality StageQuality(Quality Q)
{
  switch (Q) {
  case Quality::Low: return swf::render::Quality::Low;
  case Quality::Medium: return swf::render::Quality::Medium;
  case Quality::High: return swf::render::Quality::High;
  case Quality::Best: return swf::render::Quality::Best;
  }
  return swf::render::Quality::High;
}

} // namespace

TFramePainter::TFramePainter(std::shared_ptr<const swf::Movie> Movie, const TPlan& Plan, Quality Level)
    : FRenderer(Movie), FSize(Plan.Width, Plan.Height), FQuality(StageQuality(Level))
{
  const QSize stage = FRenderer.StageSize();
  const double scale = std::min(double(FSize.width()) / stage.width(), double(FSize.height()) / stage.height());
  const QSizeF fitted(stage.width() * scale, stage.height() * scale);
  FTarget = QRectF(QPointF((FSize.width() - fitted.width()) / 2, (FSize.height() - fitted.height()) / 2), fitted);
  FFills = std::abs(fitted.width() - FSize.width()) < 1.5 && std::abs(fitted.height() - FSize.height()) < 1.5;
  const swf::Rgba& bg = Movie->Background;
  FBackground = qRgb(bg.R, bg.G, bg.B);
}

QImage TFramePainter::Draw(const swf::DisplayList& List)
{
  if (FFills)
    return FRenderer.RenderFrame(List, FSize, FQuality);
  QImage image(FSize, QImage::Format_ARGB32_Premultiplied);
  image.fill(FBackground);
  QPainter painter(&image);
  FRenderer.Draw(List, painter, FTarget, FQuality);
  return image;
}

unsigned DrawWorkers()
{
  return std::max(1u, std::thread::hardware_concurrency());
}

TDrawPipeline::TDrawPipeline(std::shared_ptr<const swf::Movie> Movie, const TPlan& Plan, Quality Level,
                             unsigned Workers)
    : FDepth(2 * std::max(1u, Workers))
{
  for (unsigned i = 0; i < std::max(1u, Workers); ++i)
    FPainters.push_back(std::make_unique<TFramePainter>(Movie, Plan, Level));
  for (auto& painter : FPainters)
    FThreads.emplace_back([this, &painter] { Work(*painter); });
}

TDrawPipeline::~TDrawPipeline()
{
  {
    std::lock_guard lock(FMutex);
    FStop = true;
  }
  FWork.notify_all();
  for (std::thread& t : FThreads)
    t.join();
}

void TDrawPipeline::Submit(swf::DisplayList List)
{
  auto frame = std::make_shared<TFrame>();
  frame->List = std::move(List);
  {
    std::lock_guard lock(FMutex);
    FFrames.push_back(std::move(frame));
  }
  FWork.notify_one();
}

QImage TDrawPipeline::Next()
{
  std::unique_lock lock(FMutex);
  if (FFrames.empty())
    throw std::logic_error("no frame submitted");
  const std::shared_ptr<TFrame> frame = FFrames.front();
  FDone.wait(lock, [&] { return frame->Done; });
  FFrames.pop_front();
  FSpent += frame->Seconds;
  if (frame->Error)
    std::rethrow_exception(frame->Error);
  return std::move(frame->Picture);
}

void TDrawPipeline::Work(TFramePainter& Painter)
{
  std::unique_lock lock(FMutex);
  for (;;) {
    std::shared_ptr<TFrame> frame;
    FWork.wait(lock, [&] {
      if (FStop)
        return true;
      const auto open = std::find_if(FFrames.begin(), FFrames.end(), [](const auto& F) { return !F->Claimed; });
      if (open != FFrames.end())
        frame = *open;
      return frame != nullptr;
    });
    if (FStop)
      return;
    frame->Claimed = true;
    lock.unlock();
    const auto start = std::chrono::steady_clock::now();
    try {
      frame->Picture = Painter.Draw(frame->List);
    } catch (...) {
      frame->Error = std::current_exception();
    }
    frame->List.clear();
    frame->Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    lock.lock();
    frame->Done = true;
    FDone.notify_all();
  }
}

} // namespace quenloft::convert
