// Built-in classes for what a movie asks of the world outside the stage
// (printing, files): each answers as the person saying no would, and logs
// the request.
//
// Threads: the machine's thread.
#pragma once

#include "swf/Filters.h"
#include "swf/Movie.h"
#include "swf/avm1/Native.h"

#include <memory>

namespace quenloft::swf::avm1 {

class Machine;

// PrintJob (globals/PrintJob.cpp).
extern const ClassSpec PrintJobClass;
// flash.display.BitmapData (globals/BitmapData.cpp).
extern const ClassSpec BitmapDataClass;
// Camera, Microphone, NetConnection, NetStream, Video and XMLSocket
// (globals/Media.cpp).
extern const ClassSpec CameraClass;
extern const ClassSpec MicrophoneClass;
extern const ClassSpec NetConnectionClass;
extern const ClassSpec NetStreamClass;
extern const ClassSpec VideoClass;
extern const ClassSpec XMLSocketClass;
// flash.text.TextRenderer (globals/TextStyles.cpp).
extern const ClassSpec TextRendererClass;
// flash.geom.Transform (globals/Transform.cpp).
extern const ClassSpec TransformClass;
// BitmapFilter and the filter classes on flash.filters (globals/Filters.cpp).
void InstallFilters(Machine& M, Object& Package);
// The filters a clip's `filters` is set to, as the renderer draws them:
// each element of List that is a filter object the renderer knows, in
// order (displacement maps and anything else are left out); null when
// none is left.
std::shared_ptr<const swf::FilterList> ScriptFilters(Machine& M, Value List);
// flash.net.FileReference and FileReferenceList on the package object
// (globals/FileReference.cpp).
void InstallFileReference(Machine& M, Object& NetPackage);

} // namespace quenloft::swf::avm1
