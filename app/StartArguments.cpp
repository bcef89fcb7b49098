#include "app/StartArguments.h"

#include "quenloft/VersionConfig.h"

namespace quenloft {

TStartArguments ParseStartArguments(const std::vector<std::string>& Args)
{
  TStartArguments Result;
  bool Options = true;
  auto Fail = [&Result](std::string Text) {
    if (Result.Error.empty())
      Result.Error = std::move(Text);
  };
  for (const std::string& Arg : Args) {
    if (Options && Arg == "--") {
      Options = false;
    } else if (Options && (Arg == "-h" || Arg == "--help")) {
      Result.Help = true;
    } else if (Options && Arg == "--version") {
      Result.Version = true;
    } else if (Options && Arg.size() > 1 && Arg[0] == '-') {
      Fail("unknown option '" + Arg + "'");
    } else if (!Result.URL.empty()) {
      Fail("only one address can be given");
    } else if (Arg.empty()) {
      Fail("the address is empty");
    } else {
      Result.URL = Arg;
    }
  }
  return Result;
}

std::string StartUsageText()
{
  return "Usage: quenloft [URL]\n"
         "Saves the Flash movies (.swf) a web page refers to.\n"
         "\n"
         "  URL         the page address to fill in; press Start download to begin\n"
         "  -h, --help  print this help and exit\n"
         "  --version   print the version and exit\n"
         "\n"
         "Without a display, use quenloft-cli. See quenloft(1).\n";
}

std::string StartVersionText()
{
  return std::string("quenloft ") + QUENLOFT_VERSION_TEXT + "\n";
}

} // namespace quenloft
