#include "swf/avm1/Array.h"

#include "swf/avm1/Machine.h"

#include <cmath>

namespace quenloft::swf::avm1 {

std::optional<std::size_t> IndexOf(std::string_view Name)
{
  if (Name.empty() || Name.size() > 10 || (Name.size() > 1 && Name[0] == '0'))
    return std::nullopt;
  std::size_t v = 0;
  for (char c : Name) {
    if (c < '0' || c > '9')
      return std::nullopt;
    v = v * 10 + static_cast<std::size_t>(c - '0');
  }
  return v;
}

void ArrayObject::Resize(Machine& M, std::size_t N)
{
  if (N > MaxArrayLength)
    M.Abort("an array longer than the player allows");
  FElements.resize(N);
}

bool ArrayObject::GetOwnVirtual(Machine& M, Atom Name, Value& Out)
{
  if (Name == M.A.Length) {
    Out = Value(static_cast<double>(FElements.size()));
    return true;
  }
  const auto i = IndexOf(M.Atoms().View(Name));
  if (!i || *i >= FElements.size())
    return false;
  Out = FElements[*i];
  return true;
}

bool ArrayObject::SetOwnVirtual(Machine& M, Atom Name, Value V)
{
  if (Name == M.A.Length) {
    const double n = V.ToNumber(M);
    if (std::isnan(n) || n < 0)
      return true;
    Resize(M, static_cast<std::size_t>(std::min(n, 4294967295.0)));
    return true;
  }
  const auto i = IndexOf(M.Atoms().View(Name));
  if (!i)
    return false;
  if (*i >= FElements.size())
    Resize(M, *i + 1);
  FElements[*i] = V;
  return true;
}

bool ArrayObject::HasOwnVirtual(Machine& M, Atom Name)
{
  if (Name == M.A.Length)
    return true;
  const auto i = IndexOf(M.Atoms().View(Name));
  return i && *i < FElements.size();
}

bool ArrayObject::DeleteOwnVirtual(Machine& M, Atom Name)
{
  const auto i = IndexOf(M.Atoms().View(Name));
  if (!i || *i >= FElements.size())
    return false;
  FElements[*i] = Value();
  return true;
}

void ArrayObject::OwnVirtualNames(Machine& M, std::vector<Atom>& Names)
{
  for (std::size_t i = FElements.size(); i-- > 0;)
    Names.push_back(M.Intern(std::to_string(i)));
}

Object* ArrayObject::CreateInstance(Machine& M, Object* Proto)
{
  return M.Heap().Make<ArrayObject>(Proto);
}

void ArrayObject::Trace(Marker& M)
{
  Object::Trace(M);
  for (const Value& v : FElements)
    v.Trace(M);
}

} // namespace quenloft::swf::avm1
