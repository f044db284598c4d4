// Command line of lorventa-dvrsim.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "dvrsim/simulator.h"

namespace dvrsim {

struct Options {
  Config config;
  uint16_t port = 9000;
  std::optional<uint16_t> ddnsPort;
  std::map<std::string, std::string> ddnsMap;
  bool help = false;
};

// Parses the arguments after the program name. Both "--flag value" and
// "--flag=value" are accepted. Returns nothing and sets *error on a bad
// command line.
std::optional<Options> ParseCommandLine(const std::vector<std::string>& args, std::string* error);

// Sets one fault from "name" or "name=N" (the --fault argument).
bool ApplyFault(const std::string& text, Faults* faults, std::string* error);

std::string Usage();

}  // namespace dvrsim
