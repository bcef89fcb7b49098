// The tree behind XML and XMLNode objects. A node is a heap cell of its own
// (its type, name or text, attributes object, parent, siblings and
// children); the object a script holds is made for it when the script
// first reaches it, from the prototype XMLNode has at that moment, as the
// player does. An XML document is an element without a name (its root)
// whose object also keeps the declaration, the DOCTYPE, the parse status and
// the id map.
//
// A movie's class that extends XML or XMLNode makes plain objects; the
// native constructor, called through super(), hangs a hidden XmlObject on
// such an object, and every method finds the node through it.
//
// Threads: the machine's thread.
#pragma once

#include "swf/avm1/Array.h"
#include "swf/avm1/Object.h"

#include <optional>
#include <string>
#include <vector>

namespace quenloft::swf::avm1 {

class XmlObject;

class XmlNode final : public Cell {
public:
  static constexpr std::uint8_t ElementType = 1;
  static constexpr std::uint8_t TextType = 3;

  XmlNode(std::uint8_t Type, const String* Text) : NodeType(Type), Content(Text) {}

  std::uint8_t NodeType;
  // An element's name (nullptr for a document's root), else its text.
  const String* Content;
  // The attributes, as properties of a prototype-less object: the newest
  // first is document order (the reader defines them last to first).
  // Made when first needed: most nodes of a document never have any.
  Object* Attributes = nullptr;
  XmlNode* Parent = nullptr;
  XmlNode* Prev = nullptr;
  XmlNode* Next = nullptr;
  std::vector<XmlNode*> Children;
  // The object scripts see; nullptr until first needed.
  Object* Script = nullptr;
  // `childNodes`, made on first read and rebuilt on every change.
  ArrayObject* ChildArray = nullptr;

  bool IsElement() const { return NodeType == ElementType; }
  Object* AttributesObject(Machine& M);
  std::optional<std::size_t> IndexOf(const XmlNode* Child) const;
  // True when N is this node or one of its ancestors.
  bool IsSelfOrAncestor(const XmlNode* N) const;
  // Moves Child (from wherever it is) to Position among this node's
  // children; nothing when that would put a node inside itself.
  void Insert(Machine& M, std::size_t Position, XmlNode* Child);
  // Takes this node out of its parent's children.
  void Detach(Machine& M);
  // Appends a node that has no parent without rebuilding `childNodes`
  // (the reader, which rebuilds it once at the end).
  void AppendUnlinked(XmlNode* Child);
  // Lets go of every child at once.
  void DetachChildren(Machine& M);
  // Rebuilds `childNodes` when a script has read it.
  void RefreshChildArray(Machine& M);

  void Trace(Marker& M) override;
  std::size_t ExtraBytes() const override { return Children.capacity() * sizeof(XmlNode*); }
};

// The script face of a node. The XML and XMLNode prototypes are XmlObjects
// without a node, so `new` on them makes XmlObjects.
class XmlObject final : public Object {
public:
  explicit XmlObject(Object* Proto) : Object(Proto) {}

  XmlNode* Node = nullptr;
  // A document's own data.
  bool Document = false;
  const String* Decl = nullptr;    // xmlDecl
  const String* DocType = nullptr; // docTypeDecl
  int Status = 0;
  Object* IdMap = nullptr;

  Object* CreateInstance(Machine& M, Object* Proto) override;
  void Trace(Marker& M) override;
};

// The node and document data behind This (an XmlObject or an object a
// native constructor adopted); nullptr when This is no node.
XmlObject* XmlFace(Machine& M, Object* This);
inline XmlNode* XmlNodeOf(Machine& M, Object* This)
{
  XmlObject* face = XmlFace(M, This);
  return face ? face->Node : nullptr;
}
// Makes This the script object of a new node (the XMLNode and XML
// constructors); returns the face that holds it.
XmlObject* AdoptXmlNode(Machine& M, Object* This, XmlNode* Node);
// The object scripts see for N, made from XMLNode's current prototype when
// N has none yet.
Object* XmlScriptObject(Machine& M, XmlNode* N);
Value XmlNodeValue(Machine& M, XmlNode* N);

XmlNode* NewXmlNode(Machine& M, std::uint8_t Type, const String* Content);
// A copy of N without parent; with its descendants when Deep.
XmlNode* CloneXmlNode(Machine& M, const XmlNode* N, bool Deep);
// N as the player writes it: elements with their attributes (`<a x="1" />`
// when empty), text escaped; a document's declaration and DOCTYPE first.
std::string XmlText(Machine& M, XmlNode* N, const XmlObject* Document);

// The namespace URI bound to Prefix on N or its nearest ancestor, as the
// player looks it up: the first matching xmlns attribute in document
// order; an empty prefix matches any attribute starting with "xmlns".
// Nothing when no attribute binds it.
std::optional<Value> XmlNamespaceFor(Machine& M, XmlNode* N, std::string_view Prefix);
// The attributes of N that show, in document order, as (name, value).
std::vector<std::pair<Atom, Value>> XmlAttributesOf(Machine& M, const XmlNode* N);

} // namespace quenloft::swf::avm1
