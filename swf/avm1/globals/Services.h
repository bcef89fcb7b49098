// Built-in classes for what a movie asks of the world outside the stage
// (printing, files): each answers as the person saying no would, and logs
// the request.
//
// Threads: the machine's thread.
#pragma once

#include "swf/avm1/Native.h"

namespace quenloft::swf::avm1 {

class Machine;

// PrintJob (globals/PrintJob.cpp).
extern const ClassSpec PrintJobClass;
// flash.display.BitmapData (globals/BitmapData.cpp).
extern const ClassSpec BitmapDataClass;
// flash.net.FileReference and FileReferenceList on the package object
// (globals/FileReference.cpp).
void InstallFileReference(Machine& M, Object& NetPackage);

} // namespace quenloft::swf::avm1
