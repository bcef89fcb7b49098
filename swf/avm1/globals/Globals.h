// The built-in classes and functions a machine starts with. Each class is a
// file of its own here, declared by its member tables (../Native.h).
//
// Threads: the machine's thread.
#pragma once

#include "swf/avm1/Native.h"

namespace quenloft::swf::avm1 {

class Machine;

extern const ClassSpec ObjectClass;
extern const ClassSpec FunctionClass;
extern const ClassSpec ArrayClass;
extern const ClassSpec StringClass;
extern const ClassSpec NumberClass;
extern const ClassSpec BooleanClass;
extern const ClassSpec ErrorClass;
extern const ClassSpec MovieClipClass;
extern const ClassSpec XMLNodeClass;
extern const ClassSpec XMLClass;
extern const ObjectSpec MathObject;
extern const std::span<const Member> GlobalFunctions;

extern const ClassSpec DateClass;
extern const ClassSpec AsBroadcasterClass;
extern const ClassSpec PointClass;
extern const ClassSpec RectangleClass;
extern const ClassSpec MatrixClass;
extern const ClassSpec ColorTransformClass;
extern const ClassSpec ColorClass;
extern const ClassSpec SoundClass;
extern const ClassSpec ContextMenuClass;
extern const ClassSpec ContextMenuItemClass;
extern const ClassSpec SharedObjectClass;
extern const ClassSpec LocalConnectionClass;
extern const ClassSpec TextSnapshotClass;
extern const ClassSpec LoadVarsClass;
extern const ClassSpec MovieClipLoaderClass;
extern const ClassSpec TextFormatClass;
extern const ClassSpec TextFieldClass;
// TextField.StyleSheet, once TextField is installed.
void InstallStyleSheet(Machine& M);
extern const ClassSpec ButtonClass;
// MovieClip.createTextField (globals/TextField.cpp).
Value CreateTextField(Machine& M, Object* This, std::span<const Value> Args);
extern const ClassSpec ExternalInterfaceClass;
extern const ObjectSpec SystemObject;
extern const ObjectSpec AccessibilityObject;
extern const ObjectSpec StageObject;
extern const ObjectSpec KeyObject;
extern const ObjectSpec MouseObject;
extern const ObjectSpec SelectionObject;
// ASnative and ASSetNative.
extern const std::span<const Member> NativeFunctions;
// The `flash` package with flash.geom (Point, Rectangle, Matrix,
// ColorTransform); installs those classes.
void InstallFlashPackage(Machine& M);

// The function with this number in the player's native table 103 (Date),
// or nullptr.
NativeFn DateNative(int Index);
// The same for table 200 (Math): never nullptr.
NativeFn MathNative(int Index);
// Gives Target the broadcaster methods and an empty `_listeners` array.
void MakeBroadcaster(Machine& M, Object& Target);
// Calls Message(Args...) on each of Broadcaster's listeners (each listener
// itself when Message is empty); false when it has none.
bool Broadcast(Machine& M, Object* Broadcaster, const String* Message, std::span<const Value> Args);
// parseInt(V) with no radix.
double ParseIntOf(Machine& M, Value V);
// A new flash.geom.Point.
Value NewPoint(Machine& M, Value X, Value Y);

// Puts the loading methods (loadMovie, loadVariables...) on MovieClip's
// prototype.
void InstallClipLoading(Machine& M);

// Installs every class, object and function above on M's global object.
void InstallGlobals(Machine& M);

} // namespace quenloft::swf::avm1
