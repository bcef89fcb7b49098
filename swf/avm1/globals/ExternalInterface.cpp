// flash.external.ExternalInterface: the bridge to the page that embeds the
// movie. A preview has no page, so `available` is false, `call` answers
// null and callbacks are refused; what the movie asked for goes to the
// program's log. The helpers that turn values into the bridge's XML work as
// in the player, since movies use them on their own.
#include "swf/avm1/Machine.h"
#include "swf/avm1/globals/Globals.h"

#include <string>

namespace quenloft::swf::avm1 {

namespace {

std::string ToXml(Machine& M, Value V, int Depth);

std::string EscapeXml(std::string_view Text)
{
  // The player's escaper gives null for an empty string.
  if (Text.empty())
    return "null";
  std::string out;
  for (char c : Text) {
    switch (c) {
    case '&': out += "&amp;"; break;
    case '<': out += "&lt;"; break;
    case '>': out += "&gt;"; break;
    case '"': out += "&quot;"; break;
    case '\'': out += "&apos;"; break;
    default: out += c;
    }
  }
  return out;
}

void CheckSize(Machine& M, const std::string& Out)
{
  if (Out.size() > MaxStringLength)
    M.Abort("a string longer than the player allows");
}

// Elements From to length-1 of V, each through Wrap.
template <typename WrapFn>
std::string Elements(Machine& M, Value V, std::size_t From, int Depth, WrapFn Wrap)
{
  std::string out;
  Object* o = V.ObjectOrNull();
  if (!o && V.IsString())
    o = V.ToObject(M);
  if (!o)
    return out;
  const double n = o->Get(M, M.A.Length).ToNumber(M);
  for (std::size_t i = From; static_cast<double>(i) < n; ++i) {
    if (i >= MaxArrayLength)
      M.Abort("an array longer than the player allows");
    out += Wrap(i, ToXml(M, o->Get(M, M.Intern(std::to_string(i))), Depth + 1));
    CheckSize(M, out);
  }
  return out;
}

std::string ArrayXml(Machine& M, Value V, int Depth)
{
  return "<array>" +
         Elements(M, V, 0, Depth,
                  [](std::size_t I, const std::string& X) {
                    return "<property id=\"" + std::to_string(I) + "\">" + X + "</property>";
                  }) +
         "</array>";
}

std::string ArgumentsXml(Machine& M, Value V, int Depth)
{
  // The first element is the name of the function called, not an argument.
  return "<arguments>" + Elements(M, V, 1, Depth, [](std::size_t, const std::string& X) { return X; }) +
         "</arguments>";
}

std::string ObjectXml(Machine& M, Value V, int Depth)
{
  std::string out = "<object>";
  if (Object* o = V.ObjectOrNull()) {
    for (Atom name : o->EnumerableNames(M)) {
      out += "<property id=\"" + std::string(M.Atoms().View(name)) + "\">" +
             ToXml(M, o->Get(M, name), Depth + 1) + "</property>";
      CheckSize(M, out);
    }
  }
  return out + "</object>";
}

std::string ToXml(Machine& M, Value V, int Depth)
{
  if (Depth > MaxCallDepth)
    M.Abort("the value nests deeper than the player follows");
  if (V.IsUndefined())
    return "<undefined/>";
  if (V.IsNull())
    return "<null/>";
  if (V.IsBool())
    return V.AsBool() ? "<true/>" : "<false/>";
  if (V.IsNumber())
    return "<number>" + V.ToText(M) + "</number>";
  if (V.IsString())
    return "<string>" + EscapeXml(V.AsString()->Text) + "</string>";
  Object* o = V.AsObject();
  if (o->TypeName() != "object")
    return "<null/>";
  if (!o->Get(M, M.A.Length).IsUndefined())
    return ArrayXml(M, V, Depth);
  return ObjectXml(M, V, Depth);
}

Value Text(Machine& M, std::string S)
{
  return Value(M.NewString(std::move(S)));
}

Value ToXmlFn(Machine& M, Object*, std::span<const Value> Args)
{
  return Text(M, ToXml(M, Arg(Args, 0), 0));
}

Value ArrayToXmlFn(Machine& M, Object*, std::span<const Value> Args)
{
  return Text(M, ArrayXml(M, Arg(Args, 0), 0));
}

Value ArgumentsToXmlFn(Machine& M, Object*, std::span<const Value> Args)
{
  return Text(M, ArgumentsXml(M, Arg(Args, 0), 0));
}

Value ObjectToXmlFn(Machine& M, Object*, std::span<const Value> Args)
{
  return Text(M, ObjectXml(M, Arg(Args, 0), 0));
}

Value EscapeXmlFn(Machine& M, Object*, std::span<const Value> Args)
{
  const std::string text = Arg(Args, 0).ToText(M);
  return text.empty() ? Value::Null() : Text(M, EscapeXml(text));
}

Value Available(Machine&, Object*, std::span<const Value>)
{
  return Value(false);
}

Value AddCallback(Machine& M, Object*, std::span<const Value> Args)
{
  M.GetHost().Log("ExternalInterface.addCallback(" + Arg(Args, 0).ToText(M) + ") refused: no page in a preview");
  return Value(false);
}

Value CallFn(Machine& M, Object*, std::span<const Value> Args)
{
  M.GetHost().Log("ExternalInterface.call(" + Arg(Args, 0).ToText(M) + ") not carried out: no page in a preview");
  return Value::Null();
}

Value Construct(Machine&, Object* This, std::span<const Value>)
{
  return Value(This);
}

const Member Statics[] = {
    Accessor("available", Available, nullptr, DontEnum | DontDelete),
    Method("addCallback", AddCallback, DontEnum | DontDelete),
    Method("call", CallFn, DontEnum | DontDelete),
    Method("_toXML", ToXmlFn, DontEnum | DontDelete),
    Method("_arrayToXML", ArrayToXmlFn, DontEnum | DontDelete),
    Method("_argumentsToXML", ArgumentsToXmlFn, DontEnum | DontDelete),
    Method("_objectToXML", ObjectToXmlFn, DontEnum | DontDelete),
    Method("_escapeXML", EscapeXmlFn, DontEnum | DontDelete),
};

} // namespace

extern const ClassSpec ExternalInterfaceClass = {.Name = "ExternalInterface", .Construct = Construct, .Statics = Statics};

} // namespace quenloft::swf::avm1
