#include "swf/avm1/Object.h"

#include "swf/avm1/Machine.h"

#include <algorithm>
#include <unordered_set>

namespace quenloft::swf::avm1 {

namespace {

// Past this many properties an object keeps a hash index.
constexpr std::size_t IndexFrom = 8;

} // namespace

bool HiddenFrom(std::uint16_t Flags, int Version)
{
  if ((Flags & VersionMask) == 0)
    return false;
  // Each version hides the bits of the versions after it.
  static constexpr std::uint16_t Masks[] = {0x7FF8, 0x7FF8, 0x7FF8, 0x7FF8, 0x7FF8, 0x7480,
                                            0x7500, 0x7000, 0x6000, 0x4000};
  if (Version < 0)
    Version = 0;
  if (Version >= 10)
    return false;
  return (Flags & Masks[Version]) != 0;
}

Property* Object::FindKey(Atom Key)
{
  if (!FIndex.empty()) {
    const auto it = FIndex.find(Key);
    return it == FIndex.end() ? nullptr : &FProps[it->second];
  }
  for (Property& p : FProps)
    if (p.Key == Key)
      return &p;
  return nullptr;
}

void Object::Insert(Property P)
{
  FProps.push_back(P);
  if (!FIndex.empty()) {
    FIndex.emplace(P.Key, static_cast<std::uint32_t>(FProps.size() - 1));
  } else if (FProps.size() > IndexFrom) {
    for (std::size_t i = 0; i < FProps.size(); ++i)
      FIndex.emplace(FProps[i].Key, static_cast<std::uint32_t>(i));
  }
}

void Object::Erase(std::size_t Index)
{
  FProps.erase(FProps.begin() + static_cast<std::ptrdiff_t>(Index));
  if (!FIndex.empty()) {
    FIndex.clear();
    if (FProps.size() > IndexFrom)
      for (std::size_t i = 0; i < FProps.size(); ++i)
        FIndex.emplace(FProps[i].Key, static_cast<std::uint32_t>(i));
  }
}

Property* Object::FindOwn(Machine& M, Atom Name)
{
  Property* p = FindKey(M.Key(Name));
  if (p && HiddenFrom(p->Flags, M.Version()))
    return nullptr;
  return p;
}

Value Object::Get(Machine& M, Atom Name)
{
  const Atom key = M.Key(Name);
  if (key == M.Key(M.A.Proto))
    return Value(FProto);
  Object* o = this;
  for (int depth = 0; o && depth < MaxPrototypeChain; ++depth, o = o->FProto) {
    Value out;
    if (o->GetOwnVirtual(M, Name, out))
      return out;
    Property* p = o->FindKey(key);
    if (!p || HiddenFrom(p->Flags, M.Version()))
      continue;
    if (p->IsVirtual()) {
      FunctionObject* getter = p->Getter;
      return M.CallAccessor(getter, this, {});
    }
    return p->Data;
  }
  // A __resolve function on the chain answers names that are absent.
  if (key != M.Key(M.A.Resolve)) {
    const Value resolve = Get(M, M.A.Resolve);
    if (resolve.IsObject() && resolve.AsObject()->TypeName() == "function") {
      const Value name(M.Text(Name));
      return M.Call(resolve, this, std::span<const Value>(&name, 1));
    }
  }
  return Value();
}

void Object::Set(Machine& M, Atom Name, Value V)
{
  const Atom key = M.Key(Name);
  if (key == M.Key(M.A.Proto)) {
    FProto = V.ObjectOrNull();
    return;
  }
  if (SetOwnVirtual(M, Name, V))
    return;
  for (Watcher& w : FWatchers) {
    if (w.Key != key || w.Running)
      continue;
    Property* own = FindKey(key);
    const Value old = own && !own->IsVirtual() ? own->Data : Value();
    const Value args[] = {Value(M.Text(Name)), old, V, w.UserData};
    w.Running = true;
    Object* callback = w.Callback;
    try {
      V = M.Call(Value(callback), this, args);
    } catch (...) {
      for (Watcher& again : FWatchers)
        if (again.Key == key)
          again.Running = false;
      throw;
    }
    for (Watcher& again : FWatchers)
      if (again.Key == key)
        again.Running = false;
    break;
  }
  if (Property* own = FindKey(key)) {
    if (own->IsVirtual()) {
      if (own->Setter) {
        FunctionObject* setter = own->Setter;
        M.CallAccessor(setter, this, std::span<const Value>(&V, 1));
      }
      return;
    }
    if (own->Flags & ReadOnly)
      return;
    own->Data = V;
    return;
  }
  // A setter further up the chain takes the write for this object.
  Object* o = FProto;
  for (int depth = 0; o && depth < MaxPrototypeChain; ++depth, o = o->FProto) {
    Property* p = o->FindKey(key);
    if (!p || HiddenFrom(p->Flags, M.Version()))
      continue;
    if (p->IsVirtual()) {
      if (p->Setter) {
        FunctionObject* setter = p->Setter;
        M.CallAccessor(setter, this, std::span<const Value>(&V, 1));
      }
      return;
    }
    break;
  }
  Insert(Property{Name, key, V, nullptr, nullptr, 0});
}

bool Object::Has(Machine& M, Atom Name)
{
  const Atom key = M.Key(Name);
  Object* o = this;
  for (int depth = 0; o && depth < MaxPrototypeChain; ++depth, o = o->FProto) {
    if (o->HasOwnVirtual(M, Name))
      return true;
    Property* p = o->FindKey(key);
    if (p && !HiddenFrom(p->Flags, M.Version()))
      return true;
  }
  return false;
}

bool Object::Delete(Machine& M, Atom Name)
{
  if (DeleteOwnVirtual(M, Name))
    return true;
  const Atom key = M.Key(Name);
  for (std::size_t i = 0; i < FProps.size(); ++i) {
    if (FProps[i].Key != key)
      continue;
    if ((FProps[i].Flags & DontDelete) || HiddenFrom(FProps[i].Flags, M.Version()))
      return false;
    Erase(i);
    return true;
  }
  return false;
}

std::vector<Atom> Object::EnumerableNames(Machine& M)
{
  std::vector<Atom> names;
  std::unordered_set<Atom> seen;
  Object* o = this;
  for (int depth = 0; o && depth < MaxPrototypeChain; ++depth, o = o->FProto) {
    std::vector<Atom> virtuals;
    o->OwnVirtualNames(M, virtuals);
    for (Atom a : virtuals)
      if (seen.insert(M.Key(a)).second)
        names.push_back(a);
    for (auto it = o->FProps.rbegin(); it != o->FProps.rend(); ++it) {
      if (!seen.insert(it->Key).second)
        continue;
      if ((it->Flags & DontEnum) || HiddenFrom(it->Flags, M.Version()))
        continue;
      names.push_back(it->Name);
    }
  }
  return names;
}

void Object::Define(Machine& M, Atom Name, Value V, std::uint16_t Flags)
{
  const Atom key = M.Key(Name);
  if (Property* p = FindKey(key)) {
    p->Data = V;
    p->Getter = nullptr;
    p->Setter = nullptr;
    p->Flags = Flags;
    return;
  }
  Insert(Property{Name, key, V, nullptr, nullptr, Flags});
}

void Object::DefineAccessor(Machine& M, Atom Name, FunctionObject* Getter, FunctionObject* Setter,
                            std::uint16_t Flags)
{
  const Atom key = M.Key(Name);
  if (Property* p = FindKey(key)) {
    p->Data = Value();
    p->Getter = Getter;
    p->Setter = Setter;
    p->Flags = Flags;
    return;
  }
  Insert(Property{Name, key, Value(), Getter, Setter, Flags});
}

void Object::Watch(Machine& M, Atom Name, Object* Callback, Value UserData)
{
  const Atom key = M.Key(Name);
  for (Watcher& w : FWatchers) {
    if (w.Key == key) {
      w.Callback = Callback;
      w.UserData = UserData;
      return;
    }
  }
  FWatchers.push_back({key, Callback, UserData, false});
}

bool Object::Unwatch(Machine& M, Atom Name)
{
  const Atom key = M.Key(Name);
  const auto it = std::find_if(FWatchers.begin(), FWatchers.end(), [&](const Watcher& W) { return W.Key == key; });
  if (it == FWatchers.end())
    return false;
  FWatchers.erase(it);
  return true;
}

Object* Object::CreateInstance(Machine& M, Object* Proto)
{
  return M.Heap().Make<Object>(Proto);
}

void Object::Trace(Marker& M)
{
  M.Mark(FProto);
  for (const Property& p : FProps) {
    p.Data.Trace(M);
    if (p.Getter)
      M.Mark(static_cast<Object*>(p.Getter));
    if (p.Setter)
      M.Mark(static_cast<Object*>(p.Setter));
  }
  for (const Watcher& w : FWatchers) {
    M.Mark(w.Callback);
    w.UserData.Trace(M);
  }
  for (Object* i : Interfaces)
    M.Mark(i);
}

std::size_t Object::ExtraBytes() const
{
  return FProps.capacity() * sizeof(Property) + FIndex.size() * 32 + FWatchers.capacity() * sizeof(Watcher);
}

} // namespace quenloft::swf::avm1
