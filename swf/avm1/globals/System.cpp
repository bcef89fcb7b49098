// System, System.capabilities and System.security as a desktop player on
// Linux reports them. Nothing here reaches the network: security answers
// from a local sandbox and requests only go to the program's log.
#include "swf/avm1/Machine.h"
#include "swf/avm1/globals/Globals.h"

#include <cmath>

namespace quenloft::swf::avm1 {

namespace {

// The player version this machine presents itself as.
constexpr std::string_view PlayerVersion = "LNX 10,3,183,90";

Value Log(Machine& M, std::string_view What, std::span<const Value> Args)
{
  std::string line = std::string(What) + "(";
  for (std::size_t i = 0; i < Args.size(); ++i)
    line += (i ? ", " : "") + Args[i].ToText(M);
  M.GetHost().Log(line + ") is not carried out");
  return Value();
}

Value SetClipboard(Machine& M, Object*, std::span<const Value> Args)
{
  return Log(M, "System.setClipboard", Args);
}
Value ShowSettings(Machine& M, Object*, std::span<const Value> Args)
{
  return Log(M, "System.showSettings", Args);
}

Value GetCodepage(Machine& M, Object* This, std::span<const Value>)
{
  return This ? This->Get(M, M.Intern("__useCodepage")) : Value(false);
}
Value SetCodepage(Machine& M, Object* This, std::span<const Value> Args)
{
  if (This)
    This->Define(M, M.Intern("__useCodepage"), Value(Arg(Args, 0).ToBoolean(M.Version())), DontEnum);
  return Value();
}
Value GetExact(Machine& M, Object* This, std::span<const Value>)
{
  Property* p = This ? This->FindOwn(M, M.Intern("__exactSettings")) : nullptr;
  return p ? p->Data : Value(M.Version() >= 7);
}
Value SetExact(Machine& M, Object* This, std::span<const Value> Args)
{
  if (This)
    This->Define(M, M.Intern("__exactSettings"), Value(Arg(Args, 0).ToBoolean(M.Version())), DontEnum);
  return Value();
}

// --- capabilities ---

std::string Manufacturer(Machine& M)
{
  return M.Version() <= 8 ? "Macromedia Linux" : "Adobe Linux";
}
std::string Language(Machine& M)
{
  return M.Version() < 7 ? "en-US" : "en";
}

template <bool B>
Value Flag(Machine&, Object*, std::span<const Value>)
{
  return Value(B);
}
Value Text(Machine& M, std::string_view S)
{
  return Value(M.NewString(std::string(S)));
}
Value Version(Machine& M, Object*, std::span<const Value>) { return Text(M, PlayerVersion); }
Value PlayerType(Machine& M, Object*, std::span<const Value>) { return Text(M, "StandAlone"); }
Value ScreenColor(Machine& M, Object*, std::span<const Value>) { return Text(M, "color"); }
Value Os(Machine& M, Object*, std::span<const Value>) { return Text(M, "Linux"); }
Value Cpu(Machine& M, Object*, std::span<const Value>) { return Text(M, "x86"); }
Value LevelIdc(Machine& M, Object*, std::span<const Value>) { return Text(M, "5.1"); }
Value ManufacturerFn(Machine& M, Object*, std::span<const Value>) { return Text(M, Manufacturer(M)); }
Value LanguageFn(Machine& M, Object*, std::span<const Value>) { return Text(M, Language(M)); }
Value Dpi(Machine&, Object*, std::span<const Value>) { return Value(72); }
Value AspectRatio(Machine&, Object*, std::span<const Value>) { return Value(1); }
Value ScreenX(Machine& M, Object*, std::span<const Value>) { return Value(M.Display().ScreenWidth); }
Value ScreenY(Machine& M, Object*, std::span<const Value>) { return Value(M.Display().ScreenHeight); }

std::string Escaped(std::string_view S)
{
  static const char* const Hex = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : S) {
    if (std::isalnum(c)) {
      out.push_back(static_cast<char>(c));
    } else {
      out += '%';
      out += Hex[c >> 4];
      out += Hex[c & 15];
    }
  }
  return out;
}

// The capabilities as one query string, as a player sends them to a server.
Value ServerString(Machine& M, Object*, std::span<const Value>)
{
  const auto n = [](double D) { return std::to_string(static_cast<long long>(D)); };
  std::string s = "A=t&SA=t&SV=t&EV=t&MP3=t&AE=t&VE=t&ACC=f&PR=t&SP=t&SB=f&DEB=f&V=" + Escaped(PlayerVersion) +
                  "&M=" + Escaped(Manufacturer(M)) + "&R=" + n(M.Display().ScreenWidth) + "x" +
                  n(M.Display().ScreenHeight) + "&COL=color&AR=1.0&OS=Linux&L=" + Language(M) +
                  "&IME=f&PT=StandAlone&AVD=f&LFD=f&WD=f&TLS=t&ML=5.1&DP=72";
  return Value(M.NewString(s));
}

const Member Capabilities[] = {
    Accessor("hasAccessibility", Flag<false>, nullptr, 0),
    Accessor("pixelAspectRatio", AspectRatio, nullptr, 0),
    Accessor("screenColor", ScreenColor, nullptr, 0),
    Accessor("screenDPI", Dpi, nullptr, 0),
    Accessor("screenResolutionY", ScreenY, nullptr, 0),
    Accessor("screenResolutionX", ScreenX, nullptr, 0),
    Accessor("hasTLS", Flag<true>, nullptr, 0),
    Accessor("hasVideoEncoder", Flag<true>, nullptr, 0),
    Accessor("hasAudioEncoder", Flag<true>, nullptr, 0),
    Accessor("hasMP3", Flag<true>, nullptr, 0),
    Accessor("hasAudio", Flag<true>, nullptr, 0),
    Accessor("serverString", ServerString, nullptr, 0),
    Accessor("version", Version, nullptr, 0),
    Accessor("hasStreamingAudio", Flag<true>, nullptr, 0),
    Accessor("hasStreamingVideo", Flag<true>, nullptr, 0),
    Accessor("hasEmbeddedVideo", Flag<true>, nullptr, 0),
    Accessor("hasPrinting", Flag<true>, nullptr, 0),
    Accessor("hasScreenPlayback", Flag<true>, nullptr, 0),
    Accessor("hasScreenBroadcast", Flag<false>, nullptr, 0),
    Accessor("isDebugger", Flag<false>, nullptr, 0),
    Accessor("playerType", PlayerType, nullptr, 0),
    Accessor("avHardwareDisable", Flag<false>, nullptr, 0),
    Accessor("localFileReadDisable", Flag<false>, nullptr, 0),
    Accessor("windowlessDisable", Flag<false>, nullptr, 0),
    Accessor("maxLevelIDC", LevelIdc, nullptr, 0),
    Accessor("isEmbeddedInAcrobat", Flag<false>, nullptr, 0),
    Accessor("manufacturer", ManufacturerFn, nullptr, 0),
    Accessor("os", Os, nullptr, 0),
    Accessor("cpuArchitecture", Cpu, nullptr, 0),
    Accessor("language", LanguageFn, nullptr, 0),
    Accessor("hasIME", Flag<false>, nullptr, 0),
    Accessor("supports32BitProcesses", Flag<false>, nullptr, 0),
    Accessor("supports64BitProcesses", Flag<true>, nullptr, 0),
};

// --- security: a local movie's sandbox; nothing is fetched ---

Value AllowDomain(Machine& M, Object*, std::span<const Value> Args)
{
  Log(M, "System.security.allowDomain", Args);
  return Value(true);
}
Value LoadPolicyFile(Machine& M, Object*, std::span<const Value> Args)
{
  return Log(M, "System.security.loadPolicyFile", Args);
}
Value EscapeDomain(Machine& M, Object*, std::span<const Value> Args)
{
  return Args.empty() ? Value() : Value(Args[0].ToString(M));
}
Value SandboxType(Machine& M, Object*, std::span<const Value>)
{
  return Text(M, "localTrusted");
}
Value ChooseLocalSwfPath(Machine&, Object*, std::span<const Value>)
{
  return Value();
}
Value Nothing(Machine&, Object*, std::span<const Value>)
{
  return Value();
}

const Member Security[] = {
    Method("allowDomain", AllowDomain, 0),
    Method("allowInsecureDomain", AllowDomain, 0),
    Method("loadPolicyFile", LoadPolicyFile, 0),
    Accessor("chooseLocalSwfPath", ChooseLocalSwfPath, nullptr, 0),
    Method("escapeDomain", EscapeDomain, 0),
    Accessor("sandboxType", SandboxType, nullptr, 0),
    Method("PolicyFileResolver", Nothing, 0),
};

const Member SystemMembers[] = {
    Accessor("exactSettings", GetExact, SetExact, OnlySwf6),
    Accessor("useCodepage", GetCodepage, SetCodepage, 0),
    Method("setClipboard", SetClipboard, 0),
    Method("showSettings", ShowSettings, 0),
    Method("onStatus", Nothing, 0),
};

void Setup(Machine& M, Object& System)
{
  Object* capabilities = M.NewObject();
  DefineMembers(M, *capabilities, Capabilities);
  System.Define(M, M.Intern("capabilities"), Value(capabilities), 0);
  Object* security = M.NewObject();
  DefineMembers(M, *security, Security);
  System.Define(M, M.Intern("security"), Value(security), 0);
  Object* ime = M.NewObject();
  System.Define(M, M.Intern("IME"), Value(ime), 0);
  System.Define(M, M.Intern("__useCodepage"), Value(false), DontEnum);
}

} // namespace

extern const ObjectSpec SystemObject = {.Name = "System", .Members = SystemMembers, .Setup = Setup};

} // namespace quenloft::swf::avm1
