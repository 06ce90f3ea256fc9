#pragma once
// The `tarnwick-host` command line: `serve` runs the host; the other commands ask a running host to
// raise an event, change a setting, or show its state or log.

#include <ostream>
#include <string>
#include <vector>

namespace tarnwick {

// Runs one command (args without the program name). Returns the exit code: 0 done, 1 no host
// answers or the host refused, 2 bad arguments (one usage line on err).
int runHostCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace tarnwick
