// The bounds the script machine keeps a movie inside, each with its reason.
// A movie that reaches one gets the player's error (or its block ends); the
// program and the other movies go on.
//
// Threads: constants only.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quenloft::swf::avm1 {

// Actions one block (a frame script, an event handler, a timer callback,
// everything it calls) may run before it is ended. The player stops a
// script after about fifteen seconds and asks the user; this budget is
// about one second of our machine's work, so an endless loop costs a frame
// a second and the movie goes on.
inline constexpr std::uint64_t MaxActionsPerBlock = 20'000'000;

// Nested calls (script functions, natives that call back, getters and
// setters) before the player's "256 levels of recursion were exceeded"
// error ends the block. The player's own limit.
inline constexpr int MaxCallDepth = 256;

// Bytes one string may hold. A string doubled in a loop would otherwise take
// all memory in some thirty steps; the player fails the operation too.
inline constexpr std::size_t MaxStringLength = 64u << 20;

// Elements one array may hold. `a[2147483647] = 1` or `new Array(2^31)`
// would otherwise allocate gigabytes.
inline constexpr std::size_t MaxArrayLength = 4u << 20;

// Live objects and strings on the heap. A script that makes objects in an
// endless loop ends with an error before the machine's memory runs out.
inline constexpr std::size_t MaxLiveCells = 4u << 20;

// Values on one block's operand stack; a push loop ends here.
inline constexpr std::size_t MaxStackDepth = 1u << 20;

// Function definitions nested inside one another in one action block; the
// decoder refuses deeper blocks rather than recursing a thousand deep.
inline constexpr int MaxFunctionNesting = 64;

// Prototype links followed on a lookup; a cycle (a.__proto__ = a) stops here.
inline constexpr int MaxPrototypeChain = 256;

// Entries of a with/tellTarget scope chain; the player allows seven `with`
// levels and the rest are silently ignored.
inline constexpr int MaxWithDepth = 7;

// Timers (setInterval, setTimeout) alive at once.
inline constexpr std::size_t MaxTimers = 10'000;

// Actions queued during one frame (frame scripts, events) before further
// ones are dropped: a clip that duplicates itself each frame stays bounded.
inline constexpr std::size_t MaxQueuedActions = 100'000;
// The highest frame number WaitForFrame ever finds loaded.
inline constexpr std::uint32_t MaxLoadedFrame = 16000;

// Frames a goto chain (a frame script that goes to a frame whose script
// goes on) may run within one frame before the rest waits for the next.
inline constexpr int MaxGotoChain = 64;

} // namespace quenloft::swf::avm1
