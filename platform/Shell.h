// Starting another program without waiting for it: the shell-open stand-in
// hands addresses to the desktop's opener this way.
//
// Threads: any thread.
#pragma once

#include <string>
#include <vector>

namespace quenloft {

// Starts Program (looked up in PATH) with Args, its standard input from
// /dev/null, in a session of its own, and does not wait for it; a helper
// thread reaps it when it ends. True when the program could be started
// (found and executed), whatever it does afterwards.
bool SpawnDetached(const std::string& Program, const std::vector<std::string>& Args);

} // namespace quenloft
