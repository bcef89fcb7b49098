// The XML text reader behind XML.parseXML and `new XML(text)`: a forgiving,
// non-validating reader that reports what it meets to a sink and returns the
// status code the XML object shows (`status`). Text and attribute values come
// out with their entities decoded; CDATA comes out as it stands; comments and
// processing instructions other than the XML declaration are skipped.
//
// It knows nothing of the script machine, so it can be tested and fuzzed on
// bytes alone. It never recurses: nesting depth costs no native stack.
//
// Threads: any; no shared state.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quenloft::swf::avm1 {

// The numbers the XML object's `status` shows after a parse.
enum class XmlStatus : int {
  Ok = 0,
  CDataNotTerminated = -2,
  DeclNotTerminated = -3,
  DocTypeNotTerminated = -4,
  CommentNotTerminated = -5,
  ElementMalformed = -6,
  OutOfMemory = -7,
  AttributeNotTerminated = -8,
  StartWithoutEnd = -9,
  EndWithoutStart = -10,
};

struct XmlAttribute {
  std::string Name;
  std::string Value; // entities decoded
};

// What the reader meets, in document order. A start tag that is not empty
// is followed, if the document closes it, by one EndElement.
class XmlSink {
public:
  virtual ~XmlSink() = default;
  // Returns false to stop reading (the caller ran out of room).
  virtual bool StartElement(std::string_view Name, const std::vector<XmlAttribute>& Attributes, bool Empty) = 0;
  virtual void EndElement() = 0;
  // Character data between tags (entities decoded) or a CDATA section's
  // content (as written). Never empty.
  virtual bool Text(std::string Chars) = 0;
  // "<?xml ... ?>" as written.
  virtual void Declaration(std::string_view Raw) = 0;
  // "<!DOCTYPE ...>" as written.
  virtual void DocType(std::string_view Raw) = 0;
};

// Reads Text to its end or to its first error; what was reported before
// an error stands.
XmlStatus ReadXml(std::string_view Text, XmlSink& Sink);

// "&lt;", "&gt;", "&amp;", "&quot;", "&apos;", "&#65;" and "&#x41;" become
// their characters; an unknown or unterminated reference stays as written.
std::string DecodeXmlEntities(std::string_view Text);

// Appends Text with & < > " ' written as entities, as the player writes
// text and attribute values.
void AppendXmlEscaped(std::string& Out, std::string_view Text);

// True when Text holds only spaces, tabs, carriage returns and line feeds
// (what ignoreWhite drops).
bool IsXmlWhite(std::string_view Text);

} // namespace quenloft::swf::avm1
