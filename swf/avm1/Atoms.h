// Interned names. Every property name and string constant is interned once;
// lookups then compare numbers. Each atom knows its case-folded twin, so a
// movie older than SWF 7 (whose names ignore ASCII case) decides that once
// per lookup with one array read.
//
// Threads: one table per machine, the machine's thread.
#pragma once

#include "swf/avm1/Value.h"

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace quenloft::swf::avm1 {

class AtomTable {
public:
  explicit AtomTable(Heap& H);

  Atom Intern(std::string_view Text);
  // The atom of a string cell (interning its text once; the cell remembers).
  Atom Intern(const String* S);
  const String* Text(Atom A) const { return FEntries[A].Cell; }
  std::string_view View(Atom A) const { return FEntries[A].Cell->Text; }
  // The atom of the text with ASCII letters lowered.
  Atom Folded(Atom A) const { return FEntries[A].Folded; }
  std::size_t Size() const { return FEntries.size(); }

private:
  struct Entry {
    String* Cell = nullptr;
    Atom Folded = 0;
  };
  Heap& FHeap;
  std::unordered_map<std::string_view, Atom> FIndex;
  std::vector<Entry> FEntries;
};

} // namespace quenloft::swf::avm1
