#include "swf/avm1/Atoms.h"

namespace quenloft::swf::avm1 {

namespace {

std::string Fold(std::string_view Text)
{
  std::string folded(Text);
  for (char& c : folded)
    if (c >= 'A' && c <= 'Z')
      c = static_cast<char>(c - 'A' + 'a');
  return folded;
}

} // namespace

AtomTable::AtomTable(Heap& H) : FHeap(H)
{
  Intern(""); // atom 0: the empty name
}

Atom AtomTable::Intern(std::string_view Text)
{
  if (const auto it = FIndex.find(Text); it != FIndex.end())
    return it->second;
  const Atom atom = static_cast<Atom>(FEntries.size());
  String* cell = FHeap.Make<String>(std::string(Text));
  FHeap.MakePermanent(cell);
  cell->Name = atom;
  FEntries.push_back({cell, atom});
  FIndex.emplace(cell->Text, atom);
  const std::string folded = Fold(Text);
  if (folded != Text)
    FEntries[atom].Folded = Intern(folded);
  return atom;
}

Atom AtomTable::Intern(const String* S)
{
  if (S->Name != 0 || S->Text.empty())
    return S->Name;
  const Atom atom = Intern(S->Text);
  const_cast<String*>(S)->Name = atom;
  return atom;
}

} // namespace quenloft::swf::avm1
