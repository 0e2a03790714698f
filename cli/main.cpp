// glimmer-cli: the engine from the command line, for scripts.
#include <cstring>
#include <iostream>
#include <map>
#include <new>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "jet/error.h"

#ifndef GLIMMER_VERSION
#define GLIMMER_VERSION "0.0.0"
#endif

namespace {

void usage(std::ostream& out) {
  out << "usage: glimmer-cli COMMAND FILE [ARGS] [--password PW]\n"
         "       glimmer-cli --version | --help\n"
         "commands:\n"
         "  tables FILE              every table (system tables too) and query: name, kind, rows\n"
         "  schema FILE              user tables' columns and indexes\n"
         "  rows FILE [TABLE]        rows of one user table or of all of them\n"
         "  queries FILE             saved queries with their SQL text\n"
         "  export FILE TABLE        the table as CSV (UTF-8, RFC 4180)\n";
  for (const auto& extra : cli::extraUsage()) out << extra;
}

}  // namespace

int main(int argc, char** argv) {
  cli::Args args;
  args.raw.assign(argv + 1, argv + argc);
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--password" || a == "-p") {
      if (i + 1 >= argc) {
        std::cerr << "Error " << jet::err::kInvalidArgument << ": --password needs a value\n";
        return 2;
      }
      args.password = argv[++i];
    } else if (a.rfind("--password=", 0) == 0) {
      args.password = a.substr(11);
    } else if (a == "--param") {
      if (i + 1 >= argc) {
        std::cerr << "Error " << jet::err::kInvalidArgument << ": --param needs NAME=VALUE\n";
        return 2;
      }
      args.params.push_back(argv[++i]);
    } else if (a == "--format" && i + 1 < argc) {
      args.options.push_back("--format=" + std::string(argv[++i]));
    } else if (a == "-h" || a == "--help") {
      usage(std::cout);
      return 0;
    } else if (a == "--version") {
      std::cout << "glimmer-cli (Brackwell Glimmer For Access) " << GLIMMER_VERSION << "\n";
      return 0;
    } else if (a.size() > 2 && a.rfind("--", 0) == 0) {
      args.options.push_back(a);
    } else {
      args.positional.push_back(a);
    }
  }
  if (args.positional.empty()) {
    std::cerr << "Error " << jet::err::kInvalidArgument << ": no command given\n";
    usage(std::cerr);
    return 2;
  }
  std::string cmd = args.positional[0];
  args.positional.erase(args.positional.begin());
  try {
    std::ios::sync_with_stdio(false);
    int rc = cli::run(cmd, args, std::cout);
    if (rc == 2) {
      std::cerr << "Error " << jet::err::kInvalidArgument << ": unknown command or missing arguments for '" << cmd
                << "'\n";
      usage(std::cerr);
    }
    std::cout.flush();
    return rc;
  } catch (const jet::Error& e) {
    std::cout.flush();
    std::cerr << "Error " << e.number() << ": " << e.what() << "\n";
    return 1;
  } catch (const std::bad_alloc&) {
    std::cout.flush();
    std::cerr << "Error " << jet::err::kOutOfMemory << ": Out of memory.\n";
    return 1;
  } catch (const std::exception& e) {
    std::cout.flush();
    std::cerr << "Error " << jet::err::kReservedError << ": " << e.what() << "\n";
    return 1;
  }
}
