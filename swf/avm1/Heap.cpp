#include "swf/avm1/Heap.h"

namespace quenloft::swf::avm1 {

void Marker::Drain()
{
  while (!FPending.empty()) {
    Cell* c = FPending.back();
    FPending.pop_back();
    c->Trace(*this);
  }
}

Heap::~Heap()
{
  Cell* c = FFirst;
  while (c) {
    Cell* next = c->FNext;
    delete c;
    c = next;
  }
}

void Heap::Adopt(Cell* C, std::size_t Size)
{
  C->FNext = FFirst;
  FFirst = C;
  ++FLive;
  ++FSinceCollect;
  FBytes += Size;
}

void Heap::MakePermanent(Cell* C)
{
  C->FPermanent = true;
}

std::size_t Heap::Collect(const std::function<void(Marker&)>& Roots)
{
  Marker marker;
  for (Cell* c = FFirst; c; c = c->FNext)
    if (c->FPermanent)
      marker.Mark(c);
  Roots(marker);
  marker.Drain();
  std::size_t freed = 0;
  std::size_t bytes = 0;
  Cell** link = &FFirst;
  while (Cell* c = *link) {
    if (c->FMarked) {
      c->FMarked = false;
      bytes += sizeof(Cell) + c->ExtraBytes();
      link = &c->FNext;
      continue;
    }
    *link = c->FNext;
    delete c;
    ++freed;
  }
  FLive -= freed;
  FBytes = bytes;
  FSinceCollect = 0;
  return freed;
}

} // namespace quenloft::swf::avm1
