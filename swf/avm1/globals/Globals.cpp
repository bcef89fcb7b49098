#include "swf/avm1/globals/Globals.h"

#include "swf/avm1/Machine.h"
#include "swf/avm1/globals/Services.h"

namespace quenloft::swf::avm1 {

void InstallGlobals(Machine& M)
{
  // Object and Function first: every other prototype hangs from them.
  static const ClassSpec* const Classes[] = {
      &ObjectClass, &FunctionClass, &ArrayClass, &StringClass,   &NumberClass,
      &BooleanClass, &ErrorClass,   &MovieClipClass,
      &XMLNodeClass, &XMLClass, // XML's prototype hangs from XMLNode's
  };
  for (const ClassSpec* spec : Classes)
    M.Install(*spec);
  M.Install(MathObject);
  DefineMembers(M, *M.Global(), GlobalFunctions);
  // The player's own start-up script leaves a helper variable "o" set to
  // null on the global object, visible to every movie.
  M.Global()->Define(M, M.Intern("o"), Value::Null(), 0);
  M.Install(DateClass);
  M.Install(AsBroadcasterClass);
  M.Install(ColorClass);
  M.Install(SoundClass);
  M.Install(SharedObjectClass);
  M.Install(ContextMenuItemClass);
  M.Install(ContextMenuClass);
  M.Install(LocalConnectionClass);
  M.Install(TextSnapshotClass);
  M.Install(PrintJobClass);
  for (const ClassSpec* spec : {&CameraClass, &MicrophoneClass, &NetConnectionClass, &NetStreamClass,
                                &VideoClass, &XMLSocketClass})
    M.Install(*spec);
  M.Install(TextFormatClass);
  M.Install(TextFieldClass);
  InstallStyleSheet(M);
  M.Install(ButtonClass);
  M.Install(SystemObject);
  M.Install(AccessibilityObject);
  M.Install(StageObject);
  M.Install(KeyObject);
  M.Install(MouseObject);
  M.Install(SelectionObject);
  M.Install(LoadVarsClass);
  M.Install(MovieClipLoaderClass);
  InstallClipLoading(M);
  InstallFlashPackage(M);
  DefineMembers(M, *M.Global(), NativeFunctions);
  // Movies before SWF 6 see no prototype on these two classes, which came
  // with that version.
  for (const char* name : {"AsBroadcaster", "TextField"})
    if (FunctionObject* ctor = M.Constructor(name))
      ctor->Define(M, M.A.Prototype, Value(M.Prototype(name)), DontEnum | DontDelete | OnlySwf6);
}

} // namespace quenloft::swf::avm1
