// What a filtered object's bitmap depends on, as one number: the commands
// that draw the object (each shape's handle, each transform and colour
// transform, each text's runs, each video frame, each blend mode and filter
// with all its settings) and how they reach the device. Two objects with
// the same key draw the same pixels, so a bitmap kept under a key can be
// laid down again instead of drawn and filtered anew.
//
// Threads: pure functions, any thread.
#pragma once

#include <QSize>
#include <QTransform>

#include <cstdint>
#include <vector>

#include "swf/render/DrawCommands.h"

namespace quenloft::swf::render {

// Mixes values into a 64-bit key (FNV-1a over their bytes).
class KeyMixer {
public:
  void Bytes(const void* Data, std::size_t Size);
  void Number(double V);
  void Integer(std::uint64_t V) { Bytes(&V, sizeof V); }
  std::uint64_t Value() const { return FValue; }

private:
  std::uint64_t FValue = 14695981039346656037ull;
};

// The key of the object drawn by Commands (from its BeginFilters to its
// EndFilters), drawn with the device state Device (the backend mixes in
// its transforms and options first).
std::uint64_t FilteredKey(const std::vector<CommandRecorder::Command>& Commands, KeyMixer Device);

} // namespace quenloft::swf::render
