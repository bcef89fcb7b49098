// XML: a document (an XMLNode whose root has no name) that reads text into
// its tree, with its declaration, DOCTYPE, parse status and id map.
//
// Loading: load reads a file beside the movie through the player's loads
// (../Loads.h). sendAndLoad, and load in a machine without a player, note
// the request in the program's trace log and fail as a failed load does in
// the player: the loader's onData gets no text, and the default onData
// calls onLoad(false).
#include "swf/avm1/Loads.h"
#include "swf/avm1/Machine.h"
#include "swf/avm1/globals/Globals.h"
#include "swf/avm1/globals/XmlParser.h"
#include "swf/avm1/globals/XmlTree.h"

namespace quenloft::swf::avm1 {

namespace {

// Builds nodes under a document's root as the reader reports them.
class TreeBuilder final : public XmlSink {
public:
  TreeBuilder(Machine& M, XmlObject& Doc, bool IgnoreWhite)
      : FM(M), FDoc(Doc), FIgnoreWhite(IgnoreWhite), FOpen{Doc.Node}
  {
  }

  bool StartElement(std::string_view Name, const std::vector<XmlAttribute>& Attributes, bool Empty) override
  {
    XmlNode* node = NewXmlNode(FM, XmlNode::ElementType, FM.NewString(std::string(Name)));
    // Defined last to first, so that enumeration (newest first) shows
    // document order.
    for (auto it = Attributes.rbegin(); it != Attributes.rend(); ++it) {
      const Value value(FM.NewString(it->Value));
      node->AttributesObject(FM)->Define(FM, FM.Intern(it->Name), value, 0);
      if (it->Name == "id" && FDoc.IdMap)
        FDoc.IdMap->Define(FM, FM.Intern(it->Value), XmlNodeValue(FM, node), 0);
    }
    FOpen.back()->AppendUnlinked(node);
    if (!Empty)
      FOpen.push_back(node);
    return true;
  }
  void EndElement() override
  {
    if (FOpen.size() > 1)
      FOpen.pop_back();
  }
  bool Text(std::string Chars) override
  {
    if (FIgnoreWhite && IsXmlWhite(Chars))
      return true;
    FOpen.back()->AppendUnlinked(NewXmlNode(FM, XmlNode::TextType, FM.NewString(std::move(Chars))));
    return true;
  }
  void Declaration(std::string_view Raw) override { FDoc.Decl = FM.NewString(std::string(Raw)); }
  void DocType(std::string_view Raw) override { FDoc.DocType = FM.NewString(std::string(Raw)); }

private:
  Machine& FM;
  XmlObject& FDoc;
  bool FIgnoreWhite;
  std::vector<XmlNode*> FOpen;
};

XmlObject* Document(Machine& M, Object* This)
{
  XmlObject* face = XmlFace(M, This);
  return face && face->Document ? face : nullptr;
}

void Parse(Machine& M, Object* This, XmlObject& Doc, const std::string& Text)
{
  const bool ignoreWhite = This->Get(M, M.Intern("ignoreWhite")).ToBoolean(M.Version());
  TreeBuilder builder(M, Doc, ignoreWhite);
  Doc.Status = static_cast<int>(ReadXml(Text, builder));
  Doc.Node->RefreshChildArray(M);
}

Object* MakeProto(Machine& M, Object* Base)
{
  auto* proto = M.Heap().Make<XmlObject>(Base);
  proto->Define(M, M.Intern("ignoreWhite"), Value(false), 0);
  return proto;
}

Value Construct(Machine& M, Object* This, std::span<const Value> Args)
{
  if (!This)
    return Value();
  XmlObject* doc = AdoptXmlNode(M, This, NewXmlNode(M, XmlNode::ElementType, nullptr));
  doc->Document = true;
  doc->IdMap = M.Heap().Make<Object>(nullptr);
  if (!Args.empty())
    Parse(M, This, *doc, Args[0].ToText(M));
  return Value(This);
}

Value CreateElement(Machine& M, Object* This, std::span<const Value> Args)
{
  if (!Document(M, This) || Args.empty())
    return Value();
  return XmlNodeValue(M, NewXmlNode(M, XmlNode::ElementType, Args[0].ToString(M)));
}

Value CreateTextNode(Machine& M, Object* This, std::span<const Value> Args)
{
  if (!Document(M, This) || Args.empty())
    return Value();
  return XmlNodeValue(M, NewXmlNode(M, XmlNode::TextType, Args[0].ToString(M)));
}

Value ParseXml(Machine& M, Object* This, std::span<const Value> Args)
{
  XmlObject* doc = Document(M, This);
  if (!doc)
    return Value();
  doc->Node->DetachChildren(M);
  if (!Args.empty())
    Parse(M, This, *doc, Args[0].ToText(M));
  return Value();
}

// Sets a loader's progress properties as a load starts; hidden ones when
// the loader has none yet.
void SetLoadProperty(Machine& M, Object* Loader, std::string_view Name, Value V)
{
  const Atom name = M.Intern(Name);
  if (Loader->Has(M, name))
    Loader->Set(M, name, V);
  else
    Loader->Define(M, name, V, DontEnum | DontDelete);
}

void FailLoad(Machine& M, Object* Loader, std::string_view Call, const std::string& Url)
{
  SetLoadProperty(M, Loader, "_bytesLoaded", Value(0));
  SetLoadProperty(M, Loader, "_bytesTotal", Value());
  SetLoadProperty(M, Loader, "loaded", Value(false));
  M.GetHost().Log("XML." + std::string(Call) + "(\"" + Url +
                  "\") was not carried out: a movie here reads no file and no network");
  // Delivered from the timer queue, after this frame's scripts, as the
  // player delivers a load's end.
  Machine::Timer t;
  t.Target = Loader;
  t.Method = M.Intern("onData");
  t.Due = M.Milliseconds();
  t.Repeat = false;
  M.Timers().push_back(std::move(t));
}

Value Load(Machine& M, Object* This, std::span<const Value> Args)
{
  const Value url = Arg(Args, 0);
  if (url.IsNull() || !Document(M, This))
    return Value(false);
  if (M.Loads()) {
    SetLoadProperty(M, This, "_bytesLoaded", Value(0));
    SetLoadProperty(M, This, "_bytesTotal", Value());
    SetLoadProperty(M, This, "loaded", Value(false));
    M.Loads()->LoadText(This, url.ToText(M), "XML.load");
    return Value(true);
  }
  FailLoad(M, This, "load", url.ToText(M));
  return Value(true);
}

Value SendAndLoad(Machine& M, Object* This, std::span<const Value> Args)
{
  const Value url = Arg(Args, 0);
  Object* target = Arg(Args, 1).ObjectOrNull();
  if (url.IsNull() || !target || !Document(M, This))
    return Value();
  FailLoad(M, target, "sendAndLoad", url.ToText(M));
  return Value();
}

Value Send(Machine& M, Object* This, std::span<const Value> Args)
{
  if (Args.empty() || !Document(M, This))
    return Value(false);
  M.GetHost().Log("XML.send(\"" + Args[0].ToText(M) + "\") was not carried out: a movie here reaches no network");
  return Value(true);
}

// Request headers only matter to requests, which are never made.
Value AddRequestHeader(Machine&, Object*, std::span<const Value>)
{
  return Value();
}

// The default handler of a finished load: the text, or undefined when the
// load failed.
Value OnData(Machine& M, Object* This, std::span<const Value> Args)
{
  if (!This)
    return Value();
  const Value text = Arg(Args, 0);
  if (text.IsUndefined()) {
    const Value failed(false);
    M.CallMethod(Value(This), "onLoad", std::span<const Value>(&failed, 1));
    return Value();
  }
  const Value source(text.ToString(M));
  M.CallMethod(Value(This), "parseXML", std::span<const Value>(&source, 1));
  This->Set(M, M.Intern("loaded"), Value(true));
  const Value succeeded(true);
  M.CallMethod(Value(This), "onLoad", std::span<const Value>(&succeeded, 1));
  return Value();
}

Value GetBytesLoaded(Machine& M, Object* This, std::span<const Value>)
{
  return This ? This->Get(M, M.Intern("_bytesLoaded")) : Value();
}

Value GetBytesTotal(Machine& M, Object* This, std::span<const Value>)
{
  return This ? This->Get(M, M.Intern("_bytesTotal")) : Value();
}

Value GetDocTypeDecl(Machine& M, Object* This, std::span<const Value>)
{
  XmlObject* doc = Document(M, This);
  return doc && doc->DocType ? Value(doc->DocType) : Value();
}

Value GetXmlDecl(Machine& M, Object* This, std::span<const Value>)
{
  XmlObject* doc = Document(M, This);
  return doc && doc->Decl ? Value(doc->Decl) : Value();
}

// xmlDecl and docTypeDecl may be set; toString writes what they hold.
void SetDeclaration(Machine& M, Object* This, std::span<const Value> Args, const String* XmlObject::*Field)
{
  XmlObject* doc = Document(M, This);
  if (!doc || Args.empty())
    return;
  doc->*Field = Args[0].IsUndefined() ? nullptr : Args[0].ToString(M);
}

Value SetDocTypeDecl(Machine& M, Object* This, std::span<const Value> Args)
{
  SetDeclaration(M, This, Args, &XmlObject::DocType);
  return Value();
}

Value SetXmlDecl(Machine& M, Object* This, std::span<const Value> Args)
{
  SetDeclaration(M, This, Args, &XmlObject::Decl);
  return Value();
}

Value GetStatus(Machine& M, Object* This, std::span<const Value>)
{
  XmlObject* doc = Document(M, This);
  return doc ? Value(doc->Status) : Value();
}

Value GetIdMap(Machine& M, Object* This, std::span<const Value>)
{
  XmlObject* doc = Document(M, This);
  return doc ? Value(doc->IdMap) : Value();
}

// ignoreWhite (false) is put on the prototype as it is made (MakeProto).
const Member Methods[] = {
    Method("createElement", CreateElement, 0),
    Method("createTextNode", CreateTextNode, 0),
    Method("parseXML", ParseXml, 0),
    Method("load", Load, 0),
    Method("send", Send, 0),
    Method("sendAndLoad", SendAndLoad, 0),
    Method("addRequestHeader", AddRequestHeader, 0),
    Method("onData", OnData, 0),
    Method("getBytesLoaded", GetBytesLoaded, 0),
    Method("getBytesTotal", GetBytesTotal, 0),
    TextConstant("contentType", "application/x-www-form-urlencoded", ReadOnly),
    Accessor("docTypeDecl", GetDocTypeDecl, SetDocTypeDecl, 0),
    Accessor("status", GetStatus, nullptr, 0),
    Accessor("xmlDecl", GetXmlDecl, SetXmlDecl, 0),
    Accessor("idMap", GetIdMap, nullptr, 0),
};

} // namespace

extern const ClassSpec XMLClass = {
    .Name = "XML", .Construct = Construct, .Prototype = Methods, .Base = "XMLNode", .MakePrototype = MakeProto};

} // namespace quenloft::swf::avm1
