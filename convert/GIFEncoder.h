// The animated GIF writer. A survey of sample pictures first gives one
// palette for the whole movie (libimagequant's histogram); each picture is
// then mapped to it, and only when that looks clearly worse than a palette
// of its own does the picture get its own (libimagequant again), so the
// smaller file wins wherever the look is the same. Only the rectangle that
// changed since the previous picture is stored, its unchanged pixels
// transparent; delays follow the frame rate in hundredths of a second
// without drifting.
//
// Threads: one thread at a time.
#pragma once

#include "convert/Encoder.h"

#include <memory>

namespace quenloft::convert {

class TGIFEncoder final : public TEncoder {
public:
  TGIFEncoder(const std::string& Path, const TPlan& Plan, Quality Level);
  ~TGIFEncoder() override;

  // The survey: sample pictures at the plan's size, before Start.
  void Sample(const QImage& Frame);
  // Makes the movie's palette and writes the header; Loops: play forever
  // rather than once.
  void Start(bool Loops);

  void Picture(const QImage& Frame) override;
  void Sound(std::span<const std::int16_t>) override {}
  void Finish() override;

  // How many pictures carried a palette of their own.
  std::uint64_t LocalPalettes() const { return FLocalCount; }

private:
  struct State;
  std::unique_ptr<State> F;
  std::uint64_t FLocalCount = 0;
};

} // namespace quenloft::convert
