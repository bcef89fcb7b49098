// flash.net.FileReference and FileReferenceList. A preview opens no file
// dialog and reaches no network: a browse or download the reference
// player would start is answered as a person cancelling the dialog
// (onCancel after the frame), and the request goes to the program's log.
#include "swf/avm1/Loads.h"
#include "swf/avm1/Machine.h"
#include "swf/avm1/globals/Globals.h"
#include "swf/avm1/globals/Services.h"

#include <cctype>

namespace quenloft::swf::avm1 {

namespace {

Value Construct(Machine& M, Object* This, std::span<const Value>)
{
  if (This)
    MakeBroadcaster(M, *This);
  return Value(This);
}

// browse's filter list: absent, or an array of objects whose own
// `description` and `extension` are non-empty. Anything else makes browse
// return false without a dialog.
bool FiltersValid(Machine& M, std::span<const Value> Args)
{
  if (Args.empty())
    return true;
  Object* list = Args[0].IsObject() ? Args[0].AsObject() : nullptr;
  if (!list)
    return false;
  const double length = list->Get(M, M.A.Length).ToNumber(M);
  if (!(length >= 1))
    return false;
  const double count = std::min(length, 4096.0);
  for (double i = 0; i < count; ++i) {
    const Value item = list->Get(M, M.Intern(NumberToText(i)));
    Object* filter = item.IsObject() ? item.AsObject() : nullptr;
    if (!filter)
      return false;
    for (const char* field : {"description", "extension"}) {
      const Atom name = M.Intern(field);
      if (!filter->HasOwn(M, name) || filter->Get(M, name).ToText(M).empty())
        return false;
    }
  }
  return true;
}

// The dialog a person cancels: onCancel(This) reaches the listeners after
// the frame's scripts.
Value Cancelled(Machine& M, Object* This, std::string_view What)
{
  M.GetHost().Log(std::string(What) + ": a preview opens no file dialog; answered as cancelled");
  if (This && M.Loads())
    M.Loads()->Announce(This, "onCancel");
  return Value(true);
}

Value Browse(Machine& M, Object* This, std::span<const Value> Args)
{
  if (!FiltersValid(M, Args))
    return Value(false);
  return Cancelled(M, This, "FileReference.browse");
}
Value BrowseList(Machine& M, Object* This, std::span<const Value> Args)
{
  if (!FiltersValid(M, Args))
    return Value(false);
  return Cancelled(M, This, "FileReferenceList.browse");
}

// An absolute address: a scheme, then ':'.
bool Absolute(std::string_view Url)
{
  const std::size_t colon = Url.find(':');
  if (colon == std::string_view::npos || colon == 0 || !std::isalpha(static_cast<unsigned char>(Url[0])))
    return false;
  for (char c : Url.substr(0, colon))
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '+' && c != '-' && c != '.')
      return false;
  return true;
}

Value Download(Machine& M, Object* This, std::span<const Value> Args)
{
  if (Args.empty())
    return Value(false);
  const std::string url = Args[0].ToText(M);
  if (!Absolute(url))
    return Value(false);
  // The save dialog would come first; it is answered as cancelled, so
  // nothing is fetched.
  return Cancelled(M, This, "FileReference.download(" + url + ")");
}
Value Upload(Machine& M, Object*, std::span<const Value> Args)
{
  // Only a file chosen by browse can be sent, and none ever is.
  M.GetHost().Log("FileReference.upload(" + Arg(Args, 0).ToText(M) + ") is not carried out");
  return Value(false);
}
Value Nothing(Machine&, Object*, std::span<const Value>)
{
  return Value();
}
Value GetPostData(Machine& M, Object* This, std::span<const Value>)
{
  const Value data = This ? This->Get(M, M.Intern("__postData")) : Value();
  return data.IsUndefined() ? Value(M.EmptyString()) : data;
}
Value SetPostData(Machine& M, Object* This, std::span<const Value> Args)
{
  if (This)
    This->Define(M, M.Intern("__postData"), Value(Arg(Args, 0).ToString(M)), DontEnum);
  return Value();
}

// No file is ever chosen, so what describes it stays undefined.
const Member FileMethods[] = {
    Accessor("name", Nothing),
    Accessor("type", Nothing),
    Accessor("size", Nothing),
    Accessor("modificationDate", Nothing),
    Accessor("creationDate", Nothing),
    Accessor("creator", Nothing),
    Accessor("postData", GetPostData, SetPostData),
    Method("browse", Browse),
    Method("upload", Upload),
    Method("download", Download),
    Method("cancel", Nothing),
};

const Member ListMethods[] = {
    Method("browse", BrowseList),
};

const ClassSpec FileReferenceClass = {.Name = "FileReference", .Construct = Construct, .Prototype = FileMethods};
const ClassSpec FileReferenceListClass = {
    .Name = "FileReferenceList", .Construct = Construct, .Prototype = ListMethods};

} // namespace

void InstallFileReference(Machine& M, Object& NetPackage)
{
  for (const ClassSpec* spec : {&FileReferenceClass, &FileReferenceListClass}) {
    FunctionObject* ctor = M.Install(*spec);
    // Install puts classes on the global object; these live in flash.net.
    M.Global()->Delete(M, M.Intern(spec->Name));
    NetPackage.Define(M, M.Intern(spec->Name), Value(static_cast<Object*>(ctor)), 0);
  }
}

} // namespace quenloft::swf::avm1
