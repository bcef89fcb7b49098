// Drawing a conversion's frames.
//
// TFramePainter draws one display list at the output size: the stage fills
// the picture, or, when the size has another shape, sits centred in it on
// the movie's background colour.
//
// TDrawPipeline draws frames on worker threads while the caller plays the
// movie on and encodes what is ready: Submit hands over a frame (a detached
// copy of its display list), Next returns the pictures in the order they
// were submitted. At most Depth frames are in flight, so memory stays flat
// however long the conversion runs.
//
// Threads: a TFramePainter is used by one thread at a time. A pipeline is
// driven by the one thread that made it (Submit, Next, Pending, Spent);
// each of its workers owns a painter of its own. Destroying the pipeline
// drops the frames not yet taken and joins the workers.
#pragma once

#include <QImage>
#include <QRectF>
#include <QSize>

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "convert/Options.h"
#include "swf/Timeline.h"
#include "swf/render/Renderer.h"

namespace quenloft::convert {

class TFramePainter {
public:
  TFramePainter(std::shared_ptr<const swf::Movie> Movie, const TPlan& Plan, Quality Level);

  QImage Draw(const swf::DisplayList& List);

private:
  swf::render::Renderer FRenderer;
  QSize FSize;
  swf::render::Quality FQuality;
  QRectF FTarget;
  bool FFills = true;
  QRgb FBackground = 0;
};

class TDrawPipeline {
public:
  // Workers: how many threads draw (at least one).
  TDrawPipeline(std::shared_ptr<const swf::Movie> Movie, const TPlan& Plan, Quality Level, unsigned Workers);
  ~TDrawPipeline();
  TDrawPipeline(const TDrawPipeline&) = delete;
  TDrawPipeline& operator=(const TDrawPipeline&) = delete;

  // The frames in flight at most: Submit wants a Next in between once
  // Pending() reaches it.
  std::size_t Depth() const { return FDepth; }
  std::size_t Pending() const { return FFrames.size(); }

  void Submit(swf::DisplayList List);
  // The oldest submitted frame's picture, waiting for it if need be;
  // rethrows what its drawing threw.
  QImage Next();

  // Seconds the workers spent drawing the frames taken so far.
  double Spent() const { return FSpent; }

private:
  struct TFrame {
    swf::DisplayList List;
    QImage Picture;
    std::exception_ptr Error;
    double Seconds = 0;
    bool Claimed = false;
    bool Done = false;
  };

  void Work(TFramePainter& Painter);

  std::size_t FDepth;
  double FSpent = 0;
  std::mutex FMutex;
  std::condition_variable FWork; // a frame to draw, or stop
  std::condition_variable FDone; // a frame drawn
  std::deque<std::shared_ptr<TFrame>> FFrames; // submitted, not yet taken, oldest first
  bool FStop = false;
  std::vector<std::unique_ptr<TFramePainter>> FPainters;
  std::vector<std::thread> FThreads;
};

// The draw workers for this machine: one per core, at least one.
unsigned DrawWorkers();

} // namespace quenloft::convert
