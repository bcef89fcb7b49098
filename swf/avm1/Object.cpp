#include "swf/avm1/Object.h"

#include "swf/avm1/Machine.h"

#include <algorithm>
#include <map>
#include <memory>
#include <optional>
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

Value Object::OwnData(Machine& M, Atom Name)
{
  const Property* p = FindKey(M.Key(Name));
  return p ? p->Data : Value();
}

void Object::SetOwnData(Machine& M, Atom Name, Value V)
{
  const Atom key = M.Key(Name);
  if (Property* p = FindKey(key)) {
    if (!(p->Flags & ReadOnly)) {
      p->Data = V;
      p->Flags = static_cast<std::uint16_t>(p->Flags & ~VersionMask);
    }
    return;
  }
  Insert(Property{Name, key, V, nullptr, nullptr, 0});
}

void Object::DeleteOwnWhere(const std::function<bool(const Property&)>& Pick)
{
  const auto kept = std::remove_if(FProps.begin(), FProps.end(), [&](const Property& P) {
    return !(P.Flags & DontDelete) && Pick(P);
  });
  if (kept == FProps.end())
    return;
  FProps.erase(kept, FProps.end());
  FIndex.clear();
  if (FProps.size() > IndexFrom)
    for (std::size_t i = 0; i < FProps.size(); ++i)
      FIndex.emplace(FProps[i].Key, static_cast<std::uint32_t>(i));
}

namespace {

// Calls of one property's getter, setter or watcher that are running on
// this thread, by the object that holds the property and its key. Past
// PropertyCallDepth nested calls of the same property the player skips the
// call: a getter then reads the stored value, a setter or watcher is left
// out.
constexpr int PropertyCallDepth = 65;
// A property deleted while its calls run is a new property when it is
// defined again: its calls count afresh.
thread_local std::map<std::pair<const Object*, Atom>, std::shared_ptr<int>> PropertyCalls;

class PropertyCall {
public:
  PropertyCall(const Object* Holder, Atom Key) : FKey(Holder, Key)
  {
    std::shared_ptr<int>& slot = PropertyCalls[FKey];
    if (!slot)
      slot = std::make_shared<int>(0);
    FCount = slot;
    FAllowed = *FCount < PropertyCallDepth;
    if (FAllowed)
      ++*FCount;
  }
  ~PropertyCall()
  {
    if (FAllowed)
      --*FCount;
    if (*FCount > 0)
      return;
    const auto it = PropertyCalls.find(FKey);
    if (it != PropertyCalls.end() && it->second == FCount)
      PropertyCalls.erase(it);
  }
  PropertyCall(const PropertyCall&) = delete;
  PropertyCall& operator=(const PropertyCall&) = delete;
  bool Allowed() const { return FAllowed; }

private:
  std::pair<const Object*, Atom> FKey;
  std::shared_ptr<int> FCount;
  bool FAllowed = false;
};

void ForgetPropertyCalls(const Object* Holder, Atom Key)
{
  if (!PropertyCalls.empty())
    PropertyCalls.erase({Holder, Key});
}

} // namespace

Value Object::Get(Machine& M, Atom Name)
{
  const Atom key = M.Key(Name);
  if (key == M.Key(M.A.Proto))
    return Value(FProto);
  Object* o = this;
  for (int depth = 0; o; ++depth, o = o->FProto) {
    if (depth >= MaxPrototypeChain)
      M.Abort("the prototype chain is longer than the player follows");
    Value out;
    if (o->GetOwnVirtual(M, Name, out))
      return out;
    Property* p = o->FindKey(key);
    if (!p || HiddenFrom(p->Flags, M.Version()))
      continue;
    if (p->IsVirtual()) {
      FunctionObject* getter = p->Getter;
      const Value fallback = p->Data;
      const PropertyCall call(o, key);
      if (!call.Allowed())
        return fallback;
      return M.Call(Value(static_cast<Object*>(getter)), this, {});
    }
    return p->Data;
  }
  // The first __resolve stored on the chain that is an object (not a
  // primitive, not a clip) answers names that are absent.
  if (key != M.Key(M.A.Resolve)) {
    o = this;
    for (int depth = 0; o && depth < MaxPrototypeChain; ++depth, o = o->FProto) {
      const Property* p = o->FindKey(M.Key(M.A.Resolve));
      if (!p || !p->Data.IsObject() || p->Data.AsObject()->DisplayPath(M))
        continue;
      const Value name(M.Text(Name));
      return M.Call(p->Data, this, std::span<const Value>(&name, 1));
    }
  }
  return Value();
}

// The value a watcher sees as the old one: the stored data found first on
// the chain, without calling getters.
Value Object::StoredOnChain(Machine&, Atom Key)
{
  Object* o = this;
  for (int depth = 0; o && depth < MaxPrototypeChain; ++depth, o = o->FProto)
    if (const Property* p = o->FindKey(Key))
      return p->Data;
  return Value();
}

void Object::Set(Machine& M, Atom Name, Value V)
{
  const Atom key = M.Key(Name);
  if (key == M.Key(M.A.Proto)) {
    FProto = V.ObjectOrNull();
    return;
  }
  if (M.Atoms().View(Name).empty())
    return;
  if (SetOwnVirtual(M, Name, V))
    return;
  // A watcher's result is what gets written; one that throws writes
  // undefined, and its error goes on once the write is done.
  std::optional<ScriptThrow> thrown;
  for (const Watcher& w : FWatchers) {
    if (w.Key != key)
      continue;
    const PropertyCall call(this, key);
    if (!call.Allowed())
      break;
    const Value args[] = {Value(M.Text(Name)), StoredOnChain(M, key), V, w.UserData};
    const Value callback(w.Callback);
    try {
      V = M.Call(callback, this, args);
    } catch (const ScriptThrow& t) {
      V = Value();
      thrown = t;
    }
    break;
  }
  const auto finish = [&] {
    if (thrown)
      throw *thrown;
  };
  const auto callSetter = [&](Object* Holder, FunctionObject* Setter) {
    const PropertyCall call(Holder, key);
    if (call.Allowed())
      M.Call(Value(static_cast<Object*>(Setter)), this, std::span<const Value>(&V, 1));
  };
  if (Property* own = FindKey(key)) {
    if (FunctionObject* setter = own->Setter; setter && !HiddenFrom(own->Flags, M.Version()))
      callSetter(this, setter);
    // The setter may have changed the table.
    if (Property* again = FindKey(key); again && !(again->Flags & ReadOnly)) {
      again->Data = V;
      again->Flags = static_cast<std::uint16_t>(again->Flags & ~VersionMask);
    }
    return finish();
  }
  // A virtual property further up the chain takes the write for this object.
  Object* o = FProto;
  for (int depth = 0; o && depth < MaxPrototypeChain; ++depth, o = o->FProto) {
    Property* p = o->FindKey(key);
    if (!p || !p->IsVirtual() || HiddenFrom(p->Flags, M.Version()))
      continue;
    if (FunctionObject* setter = p->Setter)
      callSetter(o, setter);
    return finish();
  }
  Insert(Property{Name, key, V, nullptr, nullptr, 0});
  finish();
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
    if (FProps[i].Flags & DontDelete)
      return false;
    Erase(i);
    ForgetPropertyCalls(this, key);
    return true;
  }
  return false;
}

std::vector<Atom> Object::EnumerableNames(Machine& M)
{
  // Each object's names newest first; the farthest prototype's come first
  // and the object's own last, as the player's for..in visits them. A name
  // is listed where it is found first going up the chain.
  std::vector<std::vector<Atom>> groups;
  std::unordered_set<Atom> seen;
  Object* o = this;
  for (int depth = 0; o && depth < MaxPrototypeChain; ++depth, o = o->FProto) {
    std::vector<Atom>& names = groups.emplace_back();
    for (auto it = o->FProps.rbegin(); it != o->FProps.rend(); ++it) {
      if (!seen.insert(it->Key).second)
        continue;
      // A property hidden from this version is still listed.
      if (it->Flags & DontEnum)
        continue;
      names.push_back(it->Name);
    }
    // Computed names (a clip's children) after the stored ones.
    std::vector<Atom> virtuals;
    o->OwnVirtualNames(M, virtuals);
    for (Atom a : virtuals)
      if (seen.insert(M.Key(a)).second)
        names.push_back(a);
  }
  std::vector<Atom> all;
  for (auto g = groups.rbegin(); g != groups.rend(); ++g)
    all.insert(all.end(), g->begin(), g->end());
  return all;
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
  FWatchers.push_back({key, Callback, UserData});
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
  // A plain prototype makes what the first native kind up its chain makes:
  // an instance of a class that extends ColorTransform or XML is one.
  thread_local int depth = 0;
  if (!FProto || depth >= MaxPrototypeChain)
    return M.Heap().Make<Object>(Proto);
  struct Level {
    Level() { ++depth; }
    ~Level() { --depth; }
  } level;
  return FProto->CreateInstance(M, Proto);
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
