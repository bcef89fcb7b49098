// The commands of quenloft-cli:
//   quenloft-cli [-o DIR] URL   scan the page and download every movie into DIR
//   quenloft-cli scan URL       print the page's absolute movie addresses
//   quenloft-cli trace          print the program's trace lines until Ctrl-C
// Each returns the process exit status: 0 every movie saved (scan: links
// found), 1 at least one failed, 3 nothing to download (no links, or the
// page could not be fetched), 130 stopped by Ctrl-C.
//
// Threads: run on the main (CLI-loop) thread; the download workers only post
// task events to its queue.
#pragma once

#include <string>

namespace quenloft {

struct TCliOptions {
  std::string URL;
  std::string Folder = ".";
  std::string CAFile;   // a CA bundle to trust instead of the system store
  bool Json = false;
};

int RunDownload(const TCliOptions& Options);
int RunScan(const TCliOptions& Options);
int RunTrace();

} // namespace quenloft
