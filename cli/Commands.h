// The commands of quenloft-cli:
//   quenloft-cli [-o DIR] URL   scan the page and download every movie into DIR
//   quenloft-cli scan URL       print the page's absolute movie addresses
//   quenloft-cli trace          print the program's trace lines until Ctrl-C
// Each returns the process exit status: 0 every movie saved (scan: links
// found), 1 at least one failed, 3 nothing to download (no links, or the
// page could not be fetched), 130 stopped by Ctrl-C, 143 stopped by SIGTERM.
// A stop ends the running transfer at once, whatever the server does.
//
// Threads: run on the main (CLI-loop) thread; the download workers only post
// task events to its queue.
#pragma once

#include <string>

namespace quenloft {

struct TCliOptions {
  std::string URL;
  std::string Folder = ".";
  std::string CAFile;      // a CA bundle to trust instead of the system store
  int TimeoutSeconds = 60; // a request fails after this long without a byte
  int Retries = 2;         // tries after the first for passing failures
  std::string Proxy;       // one proxy for every address ("" : the environment's)
  bool NoProxy = false;    // no proxy at all
  bool Continue = false;   // finish partial files an earlier cut left
  bool Json = false;
};

int RunDownload(const TCliOptions& Options);
int RunScan(const TCliOptions& Options);
int RunTrace();

} // namespace quenloft
