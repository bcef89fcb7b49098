// quenloft-cli: the command-line front end. Saves the ".swf" movies a page
// refers to, without a window, through the same scanner, coordinator and
// download worker as the window program. See cli/Commands.h for the commands
// and exit statuses.
#include "cli/Commands.h"
#include "cli/CommandPrograms.h"
#include "cli/OutputText.h"
#include "http/IdProxy.h"
#include "http/IdSSLOpenSSL.h"

#include <CLI/CLI.hpp>

#include <iostream>

int main(int argc, char** argv)
{
  using namespace quenloft;

  CLI::App app{"Saves the Flash movies (.swf) a web page refers to.", "quenloft-cli"};
  app.set_version_flag("--version", "quenloft-cli " QUENLOFT_CLI_VERSION);
  app.require_subcommand(0, 1);

  int exitCode = 0;
  TCliOptions options;
  app.add_option("-o,--output", options.Folder, "Folder to save the movies in (created when missing)")
      ->default_str(".");
  app.add_option("URL", options.URL, "Page to scan, or the address of a .swf movie to download directly");
  app.add_flag("--json", options.Json,
               "One JSON object per movie and line (row, url, file, size, state, error)");
  app.add_option("--ca-file", options.CAFile, "Trust the CA certificates in this PEM file for HTTPS");
  app.add_option("--timeout", options.TimeoutSeconds, "Seconds without a byte after which a request fails")
      ->check(CLI::Range(1, 86400))
      ->default_str("60");
  app.add_option("--retries", options.Retries,
                 "Tries after the first for a movie that fails for a passing reason (0: none)")
      ->check(CLI::Range(0, 10))
      ->default_str("2");

  app.add_flag("--continue", options.Continue,
               "Finish a partial movie an earlier cut left (with a range request) instead of a new file");
  auto addProxyOptions = [&options](CLI::App& command) {
    CLI::Option* proxy = command.add_option(
        "--proxy", options.Proxy, "Go through this HTTP proxy ([http://][user:password@]host[:port])");
    command.add_flag("--no-proxy", options.NoProxy, "Use no proxy, whatever the environment says")
        ->excludes(proxy);
  };
  addProxyOptions(app);

  CLI::App* scan = app.add_subcommand("scan", "Print the absolute movie addresses of a page, one per line");
  scan->add_option("URL", options.URL, "Page to scan")->required();
  scan->add_flag("--json", options.Json, "One JSON object per line");
  scan->add_option("--ca-file", options.CAFile, "Trust the CA certificates in this PEM file for HTTPS");
  scan->add_option("--timeout", options.TimeoutSeconds, "Seconds without a byte after which a request fails")
      ->check(CLI::Range(1, 86400));

  addProxyOptions(*scan);

  CLI::App* trace = app.add_subcommand("trace", "Print the program's trace lines as they come, until Ctrl-C");

  // ---- Further subcommands register here, one line each. ----
  // info, run, audio, render, convert: carried out by quenloft-movie and
  // quenloft-draw, so that a download loads neither the decoders nor Qt.
  AddHandedCommands(app, exitCode);
  // ---- end of the subcommand registrations ----

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    const int code = app.exit(e);
    return code == 0 ? 0 : 2; // help and version print and succeed; bad usage is 2
  }

  // A CA file that cannot serve is bad usage, said before anything is fetched.
  if (!options.CAFile.empty()) {
    if (const std::string problem = CAFileProblem(options.CAFile); !problem.empty()) {
      std::cerr << "quenloft-cli: --ca-file " << ShowText(options.CAFile) << ": " << problem << '\n';
      return 2;
    }
  }
  // So is a proxy address that cannot be used (said without its password).
  if (!options.Proxy.empty()) {
    try {
      (void)ParseProxyURL(options.Proxy);
    } catch (const EIdProxyError& e) {
      std::cerr << "quenloft-cli: --proxy: " << e.what() << '\n';
      return 2;
    }
  }
  if (scan->parsed())
    return RunScan(options);
  if (trace->parsed())
    return RunTrace();
  if (!app.get_subcommands().empty())
    return exitCode; // a registered subcommand ran from its callback
  if (options.URL.empty()) {
    std::cerr << "quenloft-cli: a page address is needed\n" << app.help();
    return 2;
  }
  return RunDownload(options);
}
