// XMLNode: one node of an XML tree. Every property is a getter (and for
// nodeName and nodeValue a setter) on the prototype, enumerable as the
// player leaves them; called on an object that is no node they answer
// undefined or null.
#include "swf/avm1/Machine.h"
#include "swf/avm1/globals/Globals.h"
#include "swf/avm1/globals/XmlTree.h"

namespace quenloft::swf::avm1 {

namespace {

Object* MakeProto(Machine& M, Object* Base)
{
  return M.Heap().Make<XmlObject>(Base);
}

// new XMLNode(type, value); with fewer arguments an empty text node.
Value Construct(Machine& M, Object* This, std::span<const Value> Args)
{
  if (!This)
    return Value();
  XmlNode* node = nullptr;
  if (Args.size() >= 2)
    node = NewXmlNode(M, static_cast<std::uint8_t>(Args[0].ToInt32(M) & 0xFF), Args[1].ToString(M));
  else
    node = NewXmlNode(M, XmlNode::TextType, M.EmptyString());
  AdoptXmlNode(M, This, node);
  return Value(This);
}

// The node's name split at its first colon ("ns:item"): the prefix and the
// local name; a name without one (or ending in one) has prefix "".
std::pair<std::string_view, std::string_view> SplitName(std::string_view Name)
{
  const std::size_t colon = Name.find(':');
  if (colon == std::string_view::npos || colon + 1 >= Name.size())
    return {{}, Name};
  return {Name.substr(0, colon), Name.substr(colon + 1)};
}

const String* NameOf(XmlNode* N)
{
  return N && N->IsElement() ? N->Content : nullptr;
}

Value GetAttributes(Machine& M, Object* This, std::span<const Value>)
{
  XmlNode* n = XmlNodeOf(M, This);
  return n ? Value(n->AttributesObject(M)) : Value();
}

Value GetChildNodes(Machine& M, Object* This, std::span<const Value>)
{
  XmlNode* n = XmlNodeOf(M, This);
  if (!n)
    return Value();
  if (!n->ChildArray) {
    n->ChildArray = static_cast<ArrayObject*>(M.NewArray());
    n->RefreshChildArray(M);
  }
  return Value(static_cast<Object*>(n->ChildArray));
}

template <XmlNode* (*Pick)(XmlNode*)>
Value GetRelative(Machine& M, Object* This, std::span<const Value>)
{
  XmlNode* n = XmlNodeOf(M, This);
  return n ? XmlNodeValue(M, Pick(n)) : Value();
}

XmlNode* FirstOf(XmlNode* N)
{
  return N->Children.empty() ? nullptr : N->Children.front();
}
XmlNode* LastOf(XmlNode* N)
{
  return N->Children.empty() ? nullptr : N->Children.back();
}
XmlNode* NextOf(XmlNode* N)
{
  return N->Next;
}
XmlNode* PrevOf(XmlNode* N)
{
  return N->Prev;
}
XmlNode* ParentOf(XmlNode* N)
{
  return N->Parent;
}

Value GetNodeName(Machine& M, Object* This, std::span<const Value>)
{
  const String* name = NameOf(XmlNodeOf(M, This));
  return name ? Value(name) : Value::Null();
}

Value GetNodeValue(Machine& M, Object* This, std::span<const Value>)
{
  XmlNode* n = XmlNodeOf(M, This);
  return n && !n->IsElement() && n->Content ? Value(n->Content) : Value::Null();
}

// The setter of both nodeName and nodeValue: the player keeps one field for
// an element's name and a text's value.
Value SetContent(Machine& M, Object* This, std::span<const Value> Args)
{
  XmlNode* n = XmlNodeOf(M, This);
  if (n && !Args.empty() && !Args[0].IsUndefined())
    n->Content = Args[0].ToString(M);
  return Value();
}

Value GetNodeType(Machine& M, Object* This, std::span<const Value>)
{
  XmlNode* n = XmlNodeOf(M, This);
  return n ? Value(static_cast<double>(n->NodeType)) : Value();
}

Value GetPrefix(Machine& M, Object* This, std::span<const Value>)
{
  const String* name = NameOf(XmlNodeOf(M, This));
  if (!name)
    return Value::Null();
  return Value(M.NewString(std::string(SplitName(name->Text).first)));
}

Value GetLocalName(Machine& M, Object* This, std::span<const Value>)
{
  const String* name = NameOf(XmlNodeOf(M, This));
  if (!name)
    return Value::Null();
  const std::string_view local = SplitName(name->Text).second;
  return local.size() == name->Text.size() ? Value(name) : Value(M.NewString(std::string(local)));
}

Value GetNamespaceUri(Machine& M, Object* This, std::span<const Value>)
{
  XmlNode* n = XmlNodeOf(M, This);
  if (!n)
    return Value();
  const String* name = NameOf(n);
  if (!name)
    return Value::Null();
  const std::string prefix(SplitName(name->Text).first);
  return XmlNamespaceFor(M, n, prefix).value_or(Value(M.EmptyString()));
}

Value GetNamespaceForPrefix(Machine& M, Object* This, std::span<const Value> Args)
{
  XmlNode* n = XmlNodeOf(M, This);
  if (!n || Args.empty())
    return Value();
  return XmlNamespaceFor(M, n, Args[0].ToText(M)).value_or(Value::Null());
}

Value GetPrefixForNamespace(Machine& M, Object* This, std::span<const Value> Args)
{
  XmlNode* n = XmlNodeOf(M, This);
  if (!n || Args.empty())
    return Value();
  const std::string uri = Args[0].ToText(M);
  for (XmlNode* a = n; a; a = a->Parent) {
    for (const auto& [name, value] : XmlAttributesOf(M, a)) {
      const std::string_view key = M.Atoms().View(name);
      if (!key.starts_with("xmlns") || value.ToText(M) != uri)
        continue;
      std::string_view rest = key.substr(5);
      if (!rest.starts_with(':'))
        return Value(M.EmptyString());
      return Value(M.NewString(std::string(rest.substr(1))));
    }
  }
  return Value::Null();
}

Value CloneNode(Machine& M, Object* This, std::span<const Value> Args)
{
  XmlNode* n = XmlNodeOf(M, This);
  if (!n)
    return Value();
  return XmlNodeValue(M, CloneXmlNode(M, n, Arg(Args, 0).ToBoolean(M.Version())));
}

Value RemoveNode(Machine& M, Object* This, std::span<const Value>)
{
  if (XmlNode* n = XmlNodeOf(M, This))
    n->Detach(M);
  return Value();
}

// A node already among this node's children stays where it is; one from
// elsewhere (another tree included) moves here.
Value AppendChild(Machine& M, Object* This, std::span<const Value> Args)
{
  XmlNode* n = XmlNodeOf(M, This);
  XmlNode* child = XmlNodeOf(M, Arg(Args, 0).ObjectOrNull());
  if (n && child && child->Parent != n)
    n->Insert(M, n->Children.size(), child);
  return Value();
}

Value InsertBefore(Machine& M, Object* This, std::span<const Value> Args)
{
  XmlNode* n = XmlNodeOf(M, This);
  XmlNode* child = XmlNodeOf(M, Arg(Args, 0).ObjectOrNull());
  XmlNode* before = XmlNodeOf(M, Arg(Args, 1).ObjectOrNull());
  if (!n || !child || !before || child->Parent == n)
    return Value();
  if (const std::optional<std::size_t> at = n->IndexOf(before))
    n->Insert(M, *at, child);
  return Value();
}

Value HasChildNodes(Machine& M, Object* This, std::span<const Value>)
{
  XmlNode* n = XmlNodeOf(M, This);
  return n ? Value(!n->Children.empty()) : Value();
}

Value ToStringFn(Machine& M, Object* This, std::span<const Value>)
{
  XmlObject* face = XmlFace(M, This);
  if (!face)
    return Value(M.EmptyString());
  return Value(M.NewString(XmlText(M, face->Node, face->Document ? face : nullptr)));
}

const Member Methods[] = {
    Method("cloneNode", CloneNode, 0),
    Method("removeNode", RemoveNode, 0),
    Method("insertBefore", InsertBefore, 0),
    Method("appendChild", AppendChild, 0),
    Method("hasChildNodes", HasChildNodes, 0),
    Method("toString", ToStringFn, 0),
    Method("getNamespaceForPrefix", GetNamespaceForPrefix, 0),
    Method("getPrefixForNamespace", GetPrefixForNamespace, 0),
    Accessor("attributes", GetAttributes, nullptr, 0),
    Accessor("childNodes", GetChildNodes, nullptr, 0),
    Accessor("firstChild", GetRelative<FirstOf>, nullptr, 0),
    Accessor("lastChild", GetRelative<LastOf>, nullptr, 0),
    Accessor("nextSibling", GetRelative<NextOf>, nullptr, 0),
    Accessor("nodeName", GetNodeName, SetContent, 0),
    Accessor("nodeType", GetNodeType, nullptr, 0),
    Accessor("nodeValue", GetNodeValue, SetContent, 0),
    Accessor("parentNode", GetRelative<ParentOf>, nullptr, 0),
    Accessor("previousSibling", GetRelative<PrevOf>, nullptr, 0),
    Accessor("prefix", GetPrefix, nullptr, 0),
    Accessor("localName", GetLocalName, nullptr, 0),
    Accessor("namespaceURI", GetNamespaceUri, nullptr, 0),
};

} // namespace

extern const ClassSpec XMLNodeClass = {
    .Name = "XMLNode", .Construct = Construct, .Prototype = Methods, .MakePrototype = MakeProto};

} // namespace quenloft::swf::avm1
