// The classes for what a preview never has: cameras, microphones, network
// streams and sockets. Each exists as in the reference player so scripts
// that test for it run on; a request is answered as on a machine without
// the device or the connection, and logged.
#include "swf/avm1/Machine.h"
#include "swf/avm1/globals/Globals.h"
#include "swf/avm1/globals/Services.h"

namespace quenloft::swf::avm1 {

namespace {

Value Construct(Machine&, Object* This, std::span<const Value>)
{
  return Value(This);
}
Value Nothing(Machine&, Object*, std::span<const Value>)
{
  return Value();
}
Value NoDevice(Machine&, Object*, std::span<const Value>)
{
  return Value::Null();
}
Value NoNames(Machine& M, Object*, std::span<const Value>)
{
  return Value(M.NewArray());
}

Value Refused(Machine& M, std::string_view What, std::span<const Value> Args)
{
  M.GetHost().Log(std::string(What) + "(" + Arg(Args, 0).ToText(M) + ") is not carried out: a preview reaches no network");
  return Value(false);
}
Value Connect(Machine& M, Object*, std::span<const Value> Args)
{
  return Refused(M, "NetConnection.connect", Args);
}
Value Play(Machine& M, Object*, std::span<const Value> Args)
{
  Refused(M, "NetStream.play", Args);
  return Value();
}
Value SocketConnect(Machine& M, Object*, std::span<const Value> Args)
{
  return Refused(M, "XMLSocket.connect", Args);
}
Value SocketSend(Machine& M, Object*, std::span<const Value> Args)
{
  Refused(M, "XMLSocket.send", Args);
  return Value();
}

const Member DeviceStatics[] = {
    Method("get", NoDevice),
    Accessor("names", NoNames),
};
const Member ConnectionMethods[] = {
    Method("connect", Connect),
    Method("close", Nothing),
    Method("call", Nothing),
    Method("addHeader", Nothing),
};
const Member StreamMethods[] = {
    Method("play", Play),
    Method("pause", Nothing),
    Method("seek", Nothing),
    Method("close", Nothing),
    Method("setBufferTime", Nothing),
};
const Member VideoMethods[] = {
    Method("attachVideo", Nothing),
    Method("clear", Nothing),
};
const Member SocketMethods[] = {
    Method("connect", SocketConnect),
    Method("send", SocketSend),
    Method("close", Nothing),
};

} // namespace

extern const ClassSpec CameraClass = {.Name = "Camera", .Construct = Construct, .Statics = DeviceStatics};
extern const ClassSpec MicrophoneClass = {.Name = "Microphone", .Construct = Construct, .Statics = DeviceStatics};
extern const ClassSpec NetConnectionClass = {
    .Name = "NetConnection", .Construct = Construct, .Prototype = ConnectionMethods};
extern const ClassSpec NetStreamClass = {.Name = "NetStream", .Construct = Construct, .Prototype = StreamMethods};
extern const ClassSpec VideoClass = {.Name = "Video", .Construct = Construct, .Prototype = VideoMethods};
extern const ClassSpec XMLSocketClass = {.Name = "XMLSocket", .Construct = Construct, .Prototype = SocketMethods};

} // namespace quenloft::swf::avm1
