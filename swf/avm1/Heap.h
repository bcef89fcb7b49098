// The script machine's heap: every object, string and scope is a Cell the
// heap owns; a tracing collector frees what the roots no longer reach.
//
// Collection runs only at safe points the player chooses (between frames,
// when no native function is on the stack), so natives may hold raw
// pointers to cells for as long as they run.
//
// Threads: one heap per machine, used by the thread that runs the movie.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

namespace quenloft::swf::avm1 {

class Marker;

class Cell {
public:
  Cell() = default;
  Cell(const Cell&) = delete;
  Cell& operator=(const Cell&) = delete;
  virtual ~Cell() = default;

  // Marks every cell this one refers to.
  virtual void Trace(Marker&) {}
  // Bytes this cell holds beyond sizeof, for the heap's accounting.
  virtual std::size_t ExtraBytes() const { return 0; }

private:
  friend class Heap;
  friend class Marker;
  Cell* FNext = nullptr;
  bool FMarked = false;
  bool FPermanent = false; // never swept (interned names)
};

// Marks cells reachable from the roots; iterative, so a long chain of
// objects cannot overflow the native stack.
class Marker {
public:
  void Mark(const Cell* C)
  {
    if (C && !C->FMarked) {
      const_cast<Cell*>(C)->FMarked = true;
      FPending.push_back(const_cast<Cell*>(C));
    }
  }
  void Drain();

private:
  std::vector<Cell*> FPending;
};

class Heap {
public:
  Heap() = default;
  Heap(const Heap&) = delete;
  Heap& operator=(const Heap&) = delete;
  ~Heap();

  // A new cell owned by this heap. Never collects: the caller may hold raw
  // pointers until the next safe point.
  template <typename T, typename... Args>
  T* Make(Args&&... A)
  {
    T* cell = new T(std::forward<Args>(A)...);
    Adopt(cell, sizeof(T));
    return cell;
  }
  // A cell that lives as long as the heap (interned names).
  void MakePermanent(Cell* C);

  // Frees every cell that Roots does not mark (directly or through other
  // cells). Returns the number of cells freed.
  std::size_t Collect(const std::function<void(Marker&)>& Roots);

  std::size_t LiveCells() const { return FLive; }
  // Approximate bytes held by live cells.
  std::size_t LiveBytes() const { return FBytes; }
  // Cells made since the last collection: the player collects when this
  // grows past the live count.
  std::size_t Allocated() const { return FSinceCollect; }

private:
  void Adopt(Cell* C, std::size_t Size);

  Cell* FFirst = nullptr;
  std::size_t FLive = 0;
  std::size_t FBytes = 0;
  std::size_t FSinceCollect = 0;
};

} // namespace quenloft::swf::avm1
