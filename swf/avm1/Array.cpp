#include "swf/avm1/Array.h"

#include "swf/avm1/Machine.h"

#include <string>

namespace quenloft::swf::avm1 {

namespace {

Atom IndexName(Machine& M, std::int32_t I)
{
  return M.Intern(std::to_string(I));
}

bool IsLength(Machine& M, Atom Name)
{
  return M.Key(Name) == M.Key(M.A.Length);
}

// Deletes the elements from From to To-1 (those that may be deleted): one
// by one for a few, else in one pass over the table.
void DeleteRange(Machine& M, Object& O, std::int64_t From, std::int64_t To)
{
  if (From >= To)
    return;
  if (To - From <= 4) {
    for (std::int64_t i = From; i < To; ++i)
      O.Delete(M, IndexName(M, static_cast<std::int32_t>(i)));
    return;
  }
  O.DeleteOwnWhere([&](const Property& P) {
    const std::string_view name = M.Atoms().View(P.Name);
    const auto i = ArrayIndexOf(name);
    return i && *i >= From && *i < To && std::to_string(*i) == name;
  });
}

} // namespace

std::optional<std::int32_t> ArrayIndexOf(std::string_view Name)
{
  std::size_t at = 0;
  while (at < Name.size() && (Name[at] == ' ' || (Name[at] >= '\t' && Name[at] <= '\r')))
    ++at;
  bool negative = false;
  if (at < Name.size() && (Name[at] == '-' || Name[at] == '+'))
    negative = Name[at++] == '-';
  if (at == Name.size())
    return std::nullopt;
  std::uint32_t v = 0;
  for (; at < Name.size(); ++at) {
    const char c = Name[at];
    if (c < '0' || c > '9')
      return std::nullopt;
    v = v * 10u + static_cast<std::uint32_t>(c - '0');
  }
  if (negative)
    v = 0u - v;
  return static_cast<std::int32_t>(v);
}

bool ArrayObject::SetOwnVirtual(Machine& M, Atom Name, Value V)
{
  if (IsLength(M, Name)) {
    const Value old = OwnData(M, M.A.Length);
    if (old.IsNumber())
      DeleteRange(M, *this, std::max(V.ToInt32(M), 0), NumberToInt32(old.AsNumber()));
  } else if (const auto i = ArrayIndexOf(M.Atoms().View(Name)); i && *i >= LengthOf(M, *this)) {
    SetLengthOf(M, *this, static_cast<std::int32_t>(static_cast<std::uint32_t>(*i) + 1u));
  }
  return false;
}

Object* ArrayObject::CreateInstance(Machine& M, Object* Proto)
{
  return M.Heap().Make<ArrayObject>(Proto);
}

void InitElements(Machine& M, Object& O, std::span<const Value> Elements)
{
  if (Elements.size() > MaxArrayLength)
    M.Abort("an array longer than the player allows");
  for (std::size_t i = 0; i < Elements.size(); ++i)
    O.Define(M, IndexName(M, static_cast<std::int32_t>(i)), Elements[i], 0);
  O.Define(M, M.A.Length, Value(static_cast<double>(Elements.size())), DontEnum | DontDelete);
}

std::int32_t LengthOf(Machine& M, Object& O)
{
  return O.OwnData(M, M.A.Length).ToInt32(M);
}

void SetLengthOf(Machine& M, Object& O, std::int32_t N)
{
  if (dynamic_cast<ArrayObject*>(&O)) {
    const Value old = O.OwnData(M, M.A.Length);
    if (old.IsNumber())
      DeleteRange(M, O, std::max(N, 0), NumberToInt32(old.AsNumber()));
  }
  O.SetOwnData(M, M.A.Length, Value(static_cast<double>(N)));
}

bool HasElement(Machine& M, Object& O, std::int32_t I)
{
  return O.HasOwn(M, IndexName(M, I));
}

Value ElementOf(Machine& M, Object& O, std::int32_t I)
{
  return O.OwnData(M, IndexName(M, I));
}

void SetElementOf(Machine& M, Object& O, std::int32_t I, Value V)
{
  if (dynamic_cast<ArrayObject*>(&O) && I >= LengthOf(M, O))
    SetLengthOf(M, O, static_cast<std::int32_t>(static_cast<std::uint32_t>(I) + 1u));
  O.SetOwnData(M, IndexName(M, I), V);
}

bool DeleteElementOf(Machine& M, Object& O, std::int32_t I)
{
  return O.Delete(M, IndexName(M, I));
}

std::vector<Value> ElementsOf(Machine& M, Object& O)
{
  const std::int32_t n = LengthOf(M, O);
  if (n > 0 && static_cast<std::size_t>(n) > MaxArrayLength)
    M.Abort("an array longer than the player allows");
  std::vector<Value> out;
  for (std::int32_t i = 0; i < n; ++i)
    out.push_back(ElementOf(M, O, i));
  return out;
}

void AssignElements(Machine& M, Object& O, std::span<const Value> Elements)
{
  if (Elements.size() > MaxArrayLength)
    M.Abort("an array longer than the player allows");
  SetLengthOf(M, O, 0);
  for (std::size_t i = 0; i < Elements.size(); ++i)
    SetElementOf(M, O, static_cast<std::int32_t>(i), Elements[i]);
  SetLengthOf(M, O, static_cast<std::int32_t>(Elements.size()));
}

} // namespace quenloft::swf::avm1
