#include "swf/avm1/globals/XmlTree.h"

#include "swf/avm1/Machine.h"
#include "swf/avm1/globals/XmlParser.h"

#include <algorithm>

namespace quenloft::swf::avm1 {

namespace {

// The hidden property by which an adopted plain object finds its node. No
// movie can name it by accident, and it neither enumerates nor changes.
Atom HolderName(Machine& M)
{
  return M.Intern("\x01xmlnode");
}

XmlNode* CloneOne(Machine& M, const XmlNode* N)
{
  XmlNode* copy = NewXmlNode(M, N->NodeType, N->Content);
  if (N->Attributes)
    for (const Property& p : N->Attributes->OwnProperties())
      if (!p.IsVirtual() && !(p.Flags & DontEnum))
        copy->AttributesObject(M)->Define(M, p.Name, p.Data, p.Flags);
  return copy;
}

void WriteAttributes(Machine& M, std::string& Out, const XmlNode* N)
{
  for (const auto& [name, value] : XmlAttributesOf(M, N)) {
    Out += ' ';
    Out += M.Atoms().View(name);
    Out += "=\"";
    // A value a script stored may be any type; turning it to text may run
    // script, which is why the attributes were copied first.
    AppendXmlEscaped(Out, value.IsString() ? value.AsString()->Text : value.ToText(M));
    Out += '"';
  }
}

} // namespace

Object* XmlNode::AttributesObject(Machine& M)
{
  if (!Attributes)
    Attributes = M.Heap().Make<Object>(nullptr);
  return Attributes;
}

std::optional<std::size_t> XmlNode::IndexOf(const XmlNode* Child) const
{
  const auto it = std::find(Children.begin(), Children.end(), Child);
  if (it == Children.end())
    return std::nullopt;
  return static_cast<std::size_t>(it - Children.begin());
}

bool XmlNode::IsSelfOrAncestor(const XmlNode* N) const
{
  for (const XmlNode* p = this; p; p = p->Parent)
    if (p == N)
      return true;
  return false;
}

void XmlNode::Insert(Machine& M, std::size_t Position, XmlNode* Child)
{
  if (IsSelfOrAncestor(Child))
    return;
  if (Child->Parent == this) {
    const std::optional<std::size_t> at = IndexOf(Child);
    if (at && *at < Position)
      --Position;
  }
  Child->Detach(M);
  Position = std::min(Position, Children.size());
  Children.insert(Children.begin() + static_cast<std::ptrdiff_t>(Position), Child);
  Child->Parent = this;
  Child->Prev = Position > 0 ? Children[Position - 1] : nullptr;
  Child->Next = Position + 1 < Children.size() ? Children[Position + 1] : nullptr;
  if (Child->Prev)
    Child->Prev->Next = Child;
  if (Child->Next)
    Child->Next->Prev = Child;
  RefreshChildArray(M);
}

void XmlNode::Detach(Machine& M)
{
  XmlNode* parent = Parent;
  if (!parent)
    return;
  if (const std::optional<std::size_t> at = parent->IndexOf(this))
    parent->Children.erase(parent->Children.begin() + static_cast<std::ptrdiff_t>(*at));
  if (Prev)
    Prev->Next = Next;
  if (Next)
    Next->Prev = Prev;
  Prev = Next = nullptr;
  Parent = nullptr;
  parent->RefreshChildArray(M);
}

void XmlNode::AppendUnlinked(XmlNode* Child)
{
  Child->Parent = this;
  Child->Prev = Children.empty() ? nullptr : Children.back();
  Child->Next = nullptr;
  if (Child->Prev)
    Child->Prev->Next = Child;
  Children.push_back(Child);
}

void XmlNode::DetachChildren(Machine& M)
{
  for (XmlNode* child : Children)
    child->Parent = child->Prev = child->Next = nullptr;
  Children.clear();
  RefreshChildArray(M);
}

void XmlNode::RefreshChildArray(Machine& M)
{
  if (!ChildArray)
    return;
  std::vector<Value> elements;
  for (XmlNode* child : Children)
    elements.push_back(XmlNodeValue(M, child));
  AssignElements(M, *ChildArray, elements);
}

void XmlNode::Trace(Marker& M)
{
  M.Mark(Content);
  M.Mark(Attributes);
  M.Mark(Parent);
  M.Mark(Prev);
  M.Mark(Next);
  for (XmlNode* child : Children)
    M.Mark(child);
  M.Mark(Script);
  M.Mark(ChildArray);
}

Object* XmlObject::CreateInstance(Machine& M, Object* Proto)
{
  return M.Heap().Make<XmlObject>(Proto);
}

void XmlObject::Trace(Marker& M)
{
  Object::Trace(M);
  M.Mark(Node);
  M.Mark(Decl);
  M.Mark(DocType);
  M.Mark(IdMap);
}

XmlObject* XmlFace(Machine& M, Object* This)
{
  if (!This)
    return nullptr;
  if (auto* own = dynamic_cast<XmlObject*>(This))
    return own->Node ? own : nullptr;
  const Property* p = This->FindOwn(M, HolderName(M));
  auto* holder = p ? dynamic_cast<XmlObject*>(p->Data.ObjectOrNull()) : nullptr;
  return holder && holder->Node ? holder : nullptr;
}

XmlObject* AdoptXmlNode(Machine& M, Object* This, XmlNode* Node)
{
  XmlObject* face = dynamic_cast<XmlObject*>(This);
  if (!face) {
    const Property* p = This->FindOwn(M, HolderName(M));
    face = p ? dynamic_cast<XmlObject*>(p->Data.ObjectOrNull()) : nullptr;
  }
  if (!face) {
    face = M.Heap().Make<XmlObject>(nullptr);
    This->Define(M, HolderName(M), Value(static_cast<Object*>(face)), DontEnum | DontDelete | ReadOnly);
  }
  // A constructor run twice on one object leaves the first node to get a
  // new object of its own if a script reaches it again.
  if (face->Node)
    face->Node->Script = nullptr;
  face->Node = Node;
  face->Document = false;
  face->Decl = face->DocType = nullptr;
  face->Status = 0;
  face->IdMap = nullptr;
  Node->Script = This;
  return face;
}

Object* XmlScriptObject(Machine& M, XmlNode* N)
{
  if (N->Script)
    return N->Script;
  Object* proto = nullptr;
  if (FunctionObject* ctor = M.Constructor("XMLNode"))
    proto = ctor->Get(M, M.A.Prototype).ObjectOrNull();
  auto* face = M.Heap().Make<XmlObject>(proto);
  face->Node = N;
  N->Script = face;
  return face;
}

Value XmlNodeValue(Machine& M, XmlNode* N)
{
  return N ? Value(XmlScriptObject(M, N)) : Value::Null();
}

XmlNode* NewXmlNode(Machine& M, std::uint8_t Type, const String* Content)
{
  M.CheckHeap();
  return M.Heap().Make<XmlNode>(Type, Content);
}

XmlNode* CloneXmlNode(Machine& M, const XmlNode* N, bool Deep)
{
  XmlNode* root = CloneOne(M, N);
  if (!Deep)
    return root;
  // An explicit work list: a tree nested thousands deep costs no stack.
  std::vector<std::pair<const XmlNode*, XmlNode*>> work{{N, root}};
  while (!work.empty()) {
    const auto [from, to] = work.back();
    work.pop_back();
    for (const XmlNode* child : from->Children) {
      XmlNode* copy = CloneOne(M, child);
      to->AppendUnlinked(copy);
      work.emplace_back(child, copy);
    }
  }
  return root;
}

std::vector<std::pair<Atom, Value>> XmlAttributesOf(Machine& M, const XmlNode* N)
{
  std::vector<std::pair<Atom, Value>> out;
  if (!N->Attributes)
    return out;
  const std::span<Property> props = N->Attributes->OwnProperties();
  for (auto it = props.rbegin(); it != props.rend(); ++it)
    if (!it->IsVirtual() && !(it->Flags & DontEnum) && !HiddenFrom(it->Flags, M.Version()))
      out.emplace_back(it->Name, it->Data);
  return out;
}

std::string XmlText(Machine& M, XmlNode* N, const XmlObject* Document)
{
  std::string out;
  if (Document && Document->Decl)
    out += Document->Decl->Text;
  if (Document && Document->DocType)
    out += Document->DocType->Text;
  // Writes a node's opening; true when its children and end tag follow.
  const auto open = [&](XmlNode* Node) {
    if (!Node->IsElement()) {
      if (Node->Content)
        AppendXmlEscaped(out, Node->Content->Text);
      return false;
    }
    if (!Node->Content)
      return true; // a document's root: its children alone
    out += '<';
    out += Node->Content->Text;
    WriteAttributes(M, out, Node);
    if (Node->Children.empty()) {
      out += " />";
      return false;
    }
    out += '>';
    return true;
  };
  struct Step {
    XmlNode* Node;
    std::size_t Next;
  };
  std::vector<Step> stack;
  if (open(N))
    stack.push_back({N, 0});
  while (!stack.empty()) {
    // Indices, not iterators: a script run by an attribute's toString may
    // change the tree under us.
    Step& top = stack.back();
    if (top.Next < top.Node->Children.size()) {
      XmlNode* child = top.Node->Children[top.Next++];
      if (open(child))
        stack.push_back({child, 0});
    } else {
      const XmlNode* done = top.Node;
      stack.pop_back();
      if (done->Content) {
        out += "</";
        out += done->Content->Text;
        out += '>';
      }
    }
    if (out.size() > MaxStringLength)
      M.Abort("a string longer than the player allows");
  }
  return out;
}

std::optional<Value> XmlNamespaceFor(Machine& M, XmlNode* N, std::string_view Prefix)
{
  for (XmlNode* n = N; n; n = n->Parent) {
    for (const auto& [name, value] : XmlAttributesOf(M, n)) {
      const std::string_view key = M.Atoms().View(name);
      if (!key.starts_with("xmlns"))
        continue;
      const std::string_view rest = key.substr(5);
      if (Prefix.empty() || (rest.starts_with(':') && rest.substr(1) == Prefix))
        return value;
    }
  }
  return std::nullopt;
}

} // namespace quenloft::swf::avm1
