#include <gtest/gtest.h>

#include "swf/avm1/Machine.h"
#include "swf/avm1/globals/XmlParser.h"

#include <initializer_list>

namespace quenloft::swf::avm1 {
namespace {

// Writes what the reader reports as one line: S(name a=v/) T(text) E
// D(declaration) DT(doctype).
class Recorder final : public XmlSink {
public:
  std::string Events;
  bool StartElement(std::string_view Name, const std::vector<XmlAttribute>& Attributes, bool Empty) override
  {
    Add("S(" + std::string(Name));
    for (const XmlAttribute& a : Attributes)
      Events += " " + a.Name + "=" + a.Value;
    Events += Empty ? "/)" : ")";
    return true;
  }
  void EndElement() override { Add("E"); }
  bool Text(std::string Chars) override
  {
    Add("T(" + Chars + ")");
    return true;
  }
  void Declaration(std::string_view Raw) override { Add("D(" + std::string(Raw) + ")"); }
  void DocType(std::string_view Raw) override { Add("DT(" + std::string(Raw) + ")"); }

private:
  void Add(const std::string& E) { Events += (Events.empty() ? "" : " ") + E; }
};

TEST(XmlReader, ReportsNodesAndStatus)
{
  struct Case {
    const char* Input;
    XmlStatus Status;
    const char* Events;
  };
  const Case cases[] = {
      {"<a><b/>text</a>", XmlStatus::Ok, "S(a) S(b/) T(text) E"},
      {"<a x=\"1\" y = '2' ></a >", XmlStatus::Ok, "S(a x=1 y=2) E"},
      {"x<!--c-->y", XmlStatus::Ok, "T(x) T(y)"},
      {"<a><![CDATA[<&amp;>]]></a>", XmlStatus::Ok, "S(a) T(<&amp;>) E"},
      {"a &lt;&amp;&#65;&#x42;&bogus; & b&&amp;", XmlStatus::Ok, "T(a <&AB&bogus; & b&&)"},
      {"<a t=\"&quot;&#x110000;&#0;\"/>", XmlStatus::Ok, "S(a t=\"&#x110000;&#0;/)"},
      {"<?xml version='1.0' ?><?other x?><a/>", XmlStatus::Ok, "D(<?xml version='1.0' ?>) S(a/)"},
      {"<!doctype a [<!ENTITY e \"x>\">]><a/>", XmlStatus::Ok, "DT(<!doctype a [<!ENTITY e \"x>\">]>) S(a/)"},
      {"<a><b>", XmlStatus::StartWithoutEnd, "S(a) S(b)"},
      {"</a>", XmlStatus::EndWithoutStart, ""},
      {"<a></b>", XmlStatus::EndWithoutStart, "S(a)"},
      {"<a x=1/>", XmlStatus::AttributeNotTerminated, ""},
      {"<a x=\"1/>", XmlStatus::AttributeNotTerminated, ""},
      {"<a x/>", XmlStatus::ElementMalformed, ""},
      {"<a x=\"1\" x=\"2\"/>", XmlStatus::ElementMalformed, ""},
      {"a < b", XmlStatus::ElementMalformed, "T(a )"},
      {"<a/", XmlStatus::ElementMalformed, ""},
      {"<a/ >", XmlStatus::ElementMalformed, ""},
      {"t<!-- c", XmlStatus::CommentNotTerminated, "T(t)"},
      {"<![CDATA[x", XmlStatus::CDataNotTerminated, ""},
      {"<?xml version='1.0'", XmlStatus::DeclNotTerminated, ""},
      {"<!DOCTYPE a [ >", XmlStatus::DocTypeNotTerminated, ""},
  };
  for (const Case& c : cases) {
    Recorder r;
    EXPECT_EQ(ReadXml(c.Input, r), c.Status) << c.Input;
    EXPECT_EQ(r.Events, c.Events) << c.Input;
  }
}

class NullHost final : public Host {
public:
  void Trace(std::string_view) override {}
  void Log(std::string_view Message) override { Logs.emplace_back(Message); }
  std::vector<std::string> Logs;
};

// Drives the XML classes as a movie's script would.
class XmlScript : public ::testing::Test {
protected:
  Value Xml(std::string_view Text)
  {
    const Value arg(M.NewString(std::string(Text)));
    return M.Construct(Value(static_cast<Object*>(M.Constructor("XML"))), std::span<const Value>(&arg, 1));
  }
  Value Get(Value O, std::string_view Path)
  {
    // "firstChild.nextSibling": one member after another.
    while (!Path.empty()) {
      const std::size_t dot = Path.find('.');
      O = O.ToObject(M)->Get(M, M.Intern(Path.substr(0, dot)));
      Path = dot == std::string_view::npos ? std::string_view() : Path.substr(dot + 1);
    }
    return O;
  }
  Value Call(Value O, std::string_view Method, std::initializer_list<Value> Args = {})
  {
    return M.CallMethod(O, Method, std::span<const Value>(Args.begin(), Args.size()));
  }
  std::string Text(Value V) { return V.ToText(M); }

  NullHost H;
  Machine M{8, H};
  Value Held; // a root of the heap (TreesLiveAsLongAsAnyNodeIsHeld)
};

TEST_F(XmlScript, WritesTreesAsThePlayerDoes)
{
  struct Case {
    const char* Input;
    bool IgnoreWhite;
    const char* Written;
    int Status;
  };
  const Case cases[] = {
      {"<a x=\"1\" y=\"2\"><b>t</b><c></c></a>", false, "<a x=\"1\" y=\"2\"><b>t</b><c /></a>", 0},
      {"<?xml version=\"1.0\"?><!DOCTYPE a><a/>", false, "<?xml version=\"1.0\"?><!DOCTYPE a><a />", 0},
      {"<a> <b/>\n</a>", false, "<a> <b />\n</a>", 0},
      {"<a> <b/>\n</a>", true, "<a><b /></a>", 0},
      {"<a> x </a>", true, "<a> x </a>", 0},
      {"<a t=\"&lt;&quot;'\">&amp;&apos;\"&gt;</a>", false, "<a t=\"&lt;&quot;&apos;\">&amp;&apos;&quot;&gt;</a>", 0},
      {"<!--c--><a><![CDATA[x<y]]></a>", false, "<a>x&lt;y</a>", 0},
      {"<a><b>", false, "<a><b /></a>", -9},
      {"<a><b/></c>", false, "<a><b /></a>", -10},
  };
  for (const Case& c : cases) {
    const Value xml = Xml("");
    Get(xml, "__proto__").AsObject()->Set(M, M.Intern("ignoreWhite"), Value(c.IgnoreWhite));
    const Value text(M.NewString(c.Input));
    Call(xml, "parseXML", {text});
    EXPECT_EQ(Text(xml), c.Written) << c.Input;
    EXPECT_EQ(Get(xml, "status").AsNumber(), c.Status) << c.Input;
  }
}

// What each property answers on a document, an element, a text node, a node
// made by `new XMLNode`, and on the prototype (which is no node).
TEST_F(XmlScript, NodePropertiesByKind)
{
  const Value xml = Xml("<e k=\"v\">t</e>");
  const Value made = M.Construct(Value(static_cast<Object*>(M.Constructor("XMLNode"))),
                                 std::initializer_list<Value>{Value(1), Value(M.NewString("n:m"))});
  struct Case {
    Value Node;
    const char* What;
    const char* Type;
    const char* Name;
    const char* Content;
    const char* First;
    const char* Parent;
  };
  const Case cases[] = {
      {xml, "document", "1", "null", "null", "<e k=\"v\">t</e>", "null"},
      {Get(xml, "firstChild"), "element", "1", "e", "null", "t", "<e k=\"v\">t</e>"},
      {Get(xml, "firstChild.firstChild"), "text", "3", "null", "t", "null", "<e k=\"v\">t</e>"},
      {made, "made", "1", "n:m", "null", "null", "null"},
      {Value(M.Prototype("XMLNode")), "prototype", "undefined", "null", "null", "undefined", "undefined"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Text(Get(c.Node, "nodeType")), c.Type) << c.What;
    EXPECT_EQ(Text(Get(c.Node, "nodeName")), c.Name) << c.What;
    EXPECT_EQ(Text(Get(c.Node, "nodeValue")), c.Content) << c.What;
    EXPECT_EQ(Text(Get(c.Node, "firstChild")), c.First) << c.What;
    EXPECT_EQ(Text(Get(c.Node, "parentNode")), c.Parent) << c.What;
  }
  // One field holds an element's name and a text's value; both setters write it.
  const Value text = Get(xml, "firstChild.firstChild");
  text.AsObject()->Set(M, M.Intern("nodeName"), Value(M.NewString("a<b")));
  EXPECT_EQ(Text(xml), "<e k=\"v\">a&lt;b</e>");
  EXPECT_TRUE(Get(xml, "firstChild.childNodes.0").StrictEquals(text));
}

TEST_F(XmlScript, DeclarationsMayBeSetAndAreWrittenFirst)
{
  const Value xml = Xml("<?xml version=\"1.0\"?><a/>");
  xml.AsObject()->Set(M, M.Intern("docTypeDecl"), Value(M.NewString("<!DOCTYPE a>")));
  EXPECT_EQ(Text(xml), "<?xml version=\"1.0\"?><!DOCTYPE a><a />");
  xml.AsObject()->Set(M, M.Intern("xmlDecl"), Value());
  EXPECT_EQ(Text(xml), "<!DOCTYPE a><a />");
  EXPECT_EQ(Text(Get(xml, "firstChild")), "<a />") << "only a document writes them";
}

// `class Doc extends XML`: the instance is a plain object that the native
// constructor, called through super(), turns into a document.
TEST_F(XmlScript, SubclassInstancesBecomeNodes)
{
  Object* subProto = M.Heap().Make<Object>(M.Prototype("XML"));
  Object* doc = M.Heap().Make<Object>(subProto);
  const Value text(M.NewString("<a><b/></a>"));
  M.Call(Value(static_cast<Object*>(M.Constructor("XML"))), doc, std::span<const Value>(&text, 1));
  EXPECT_EQ(Text(Value(doc)), "<a><b /></a>");
  EXPECT_TRUE(Get(Value(doc), "firstChild.parentNode").StrictEquals(Value(doc)));
  for (Atom name : doc->EnumerableNames(M))
    EXPECT_EQ(M.Atoms().View(name).find('\x01'), std::string_view::npos) << "the link to the node stays hidden";
  const Value created = Call(Value(doc), "createElement", {Value(M.NewString("c"))});
  Call(Value(doc), "appendChild", {created});
  EXPECT_EQ(Text(Value(doc)), "<a><b /></a><c />");
}

TEST_F(XmlScript, MovesNodesWithinAndAcrossTrees)
{
  const Value xml = Xml("<a><b/></a><c/>");
  const Value b = Get(xml, "firstChild.firstChild");
  const Value siblings = Get(xml, "childNodes");
  Call(xml, "appendChild", {b});
  EXPECT_EQ(Text(xml), "<a /><c /><b />");
  EXPECT_TRUE(Get(b, "previousSibling").StrictEquals(Get(xml, "firstChild.nextSibling")));
  EXPECT_TRUE(Get(xml, "firstChild.firstChild").IsNull());
  EXPECT_EQ(Text(Get(siblings, "length")), "3") << "childNodes follows the tree";

  // A node cannot go inside its own descendant.
  const Value a = Get(xml, "firstChild");
  Call(b, "appendChild", {a});
  Call(Get(xml, "lastChild"), "appendChild", {xml});
  EXPECT_EQ(Text(xml), "<c /><b><a /></b>");

  const Value other = Xml("<d/>");
  Call(other, "insertBefore", {b, Get(other, "firstChild")});
  EXPECT_EQ(Text(xml), "<c />");
  EXPECT_EQ(Text(other), "<b><a /></b><d />");
  EXPECT_TRUE(Get(other, "lastChild.previousSibling").StrictEquals(b));
  EXPECT_TRUE(Get(xml, "firstChild.nextSibling").IsNull());

  Call(b, "removeNode");
  EXPECT_EQ(Text(other), "<d />");
  EXPECT_TRUE(Get(b, "parentNode").IsNull());
  EXPECT_TRUE(Get(other, "firstChild.previousSibling").IsNull());
}

TEST_F(XmlScript, ClonesShallowAndDeep)
{
  const Value xml = Xml("<a k=\"v\"><b>t</b></a>");
  const Value a = Get(xml, "firstChild");
  EXPECT_EQ(Text(Call(a, "cloneNode", {Value(true)})), "<a k=\"v\"><b>t</b></a>");
  const Value shallow = Call(a, "cloneNode");
  EXPECT_EQ(Text(shallow), "<a k=\"v\" />");
  EXPECT_TRUE(Get(shallow, "parentNode").IsNull());
  Get(shallow, "attributes").AsObject()->Set(M, M.Intern("k"), Value(M.NewString("w")));
  EXPECT_EQ(Text(a), "<a k=\"v\"><b>t</b></a>") << "the copy's attributes are its own";
}

TEST_F(XmlScript, ResolvesNamespaces)
{
  struct Case {
    const char* Path;
    const char* Prefix;
    const char* Local;
    const char* Uri;
  };
  const Value xml = Xml("<p:a xmlns:p=\"u1\" xmlns=\"u0\"><p:b xmlns:q=\"u2\"><c/><q:/></p:b></p:a>");
  const Case cases[] = {
      {"firstChild", "p", "a", "u1"},
      {"firstChild.firstChild", "p", "b", "u1"},
      {"firstChild.firstChild.firstChild", "", "c", "u2"},
      {"firstChild.firstChild.lastChild", "", "q:", "u2"},
  };
  for (const Case& c : cases) {
    const Value node = Get(xml, c.Path);
    EXPECT_EQ(Text(Get(node, "prefix")), c.Prefix) << c.Path;
    EXPECT_EQ(Text(Get(node, "localName")), c.Local) << c.Path;
    EXPECT_EQ(Text(Get(node, "namespaceURI")), c.Uri) << c.Path;
  }
  const Value c = Get(xml, "firstChild.firstChild.firstChild");
  EXPECT_EQ(Text(Call(c, "getNamespaceForPrefix", {Value(M.NewString("q"))})), "u2");
  EXPECT_TRUE(Call(c, "getNamespaceForPrefix", {Value(M.NewString("r"))}).IsNull());
  EXPECT_EQ(Text(Call(c, "getPrefixForNamespace", {Value(M.NewString("u1"))})), "p");
  EXPECT_EQ(Text(Call(c, "getPrefixForNamespace", {Value(M.NewString("u0"))})), "");
}

std::vector<std::string> OnLoadCalls;
Value RecordOnLoad(Machine& M, Object*, std::span<const Value> Args)
{
  OnLoadCalls.push_back(Arg(Args, 0).ToText(M));
  return Value();
}

TEST_F(XmlScript, FailedLoadReportsThroughOnData)
{
  OnLoadCalls.clear();
  const Value xml = Xml("<a/>");
  xml.AsObject()->Set(M, M.Intern("onLoad"), Value(static_cast<Object*>(M.NewNative(RecordOnLoad))));
  EXPECT_TRUE(Call(xml, "load", {Value(M.NewString("http://example.com/x.xml"))}).AsBool());
  EXPECT_FALSE(Get(xml, "loaded").AsBool());
  ASSERT_EQ(H.Logs.size(), 1u);
  EXPECT_NE(H.Logs[0].find("http://example.com/x.xml"), std::string::npos);
  EXPECT_TRUE(OnLoadCalls.empty()) << "the end of a load comes later, never inside load()";
  M.RunTimers();
  EXPECT_EQ(OnLoadCalls, std::vector<std::string>{"false"});
  EXPECT_EQ(Text(xml), "<a />") << "a failed load leaves the tree alone";

  // The text of a load that worked goes through onData.
  Call(xml, "onData", {Value(M.NewString("<b/>"))});
  EXPECT_EQ(Text(xml), "<b />");
  EXPECT_TRUE(Get(xml, "loaded").AsBool());
  EXPECT_EQ(OnLoadCalls, (std::vector<std::string>{"false", "true"}));
}

TEST_F(XmlScript, DeepTreesCostNoNativeStack)
{
  constexpr int Depth = 50'000; // far past what recursion survives under the sanitizers
  std::string text;
  for (int i = 0; i < Depth; ++i)
    text += "<a>";
  text += "x";
  for (int i = 0; i < Depth; ++i)
    text += "</a>";
  M.AddRoots([this](Marker& Mark) { Held.Trace(Mark); });
  Held = Xml(text);
  EXPECT_EQ(Text(Call(Get(Held, "firstChild"), "cloneNode", {Value(true)})), text);
  M.Collect();
  EXPECT_EQ(Get(Held, "status").AsNumber(), 0);
}

TEST_F(XmlScript, TreesLiveAsLongAsAnyNodeIsHeld)
{
  M.AddRoots([this](Marker& Mark) { Held.Trace(Mark); });
  M.Collect();
  const std::size_t before = M.Heap().LiveCells();
  Held = Get(Xml("<a><b><c>deep</c></b></a>"), "firstChild.firstChild.firstChild");
  M.Collect();
  EXPECT_EQ(Text(Get(Held, "parentNode.parentNode.parentNode")), "<a><b><c>deep</c></b></a>");
  Held = Value();
  M.Collect();
  EXPECT_EQ(M.Heap().LiveCells(), before) << "the tree and its objects are freed";
}

} // namespace
} // namespace quenloft::swf::avm1
