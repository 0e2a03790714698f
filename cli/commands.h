// Command table of glimmer-cli. Each command lives in its own function; new
// commands register in commands.cpp.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace cli {

struct Args {
  std::vector<std::string> positional;  // FILE and the command's own arguments
  std::vector<std::string> options;     // other --options
  std::vector<std::string> params;      // --param NAME=VALUE
  std::string password;
  std::vector<std::string> raw;         // every argument as given
};

// Runs a command. Returns the exit status; throws jet::Error on failure.
int run(const std::string& cmd, const Args& args, std::ostream& out);
std::vector<std::string> extraUsage();

}  // namespace cli
