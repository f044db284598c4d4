#pragma once
// The bridge's configuration file: "key = value" lines, '#' starts a comment.
// Each key is a long option (listen, site, dvr, token-file, store, ...) and
// its line reads as that option on the command line would; "dvr" takes
// "NAME ADDRESS PORT USER [PASSWORD-FILE]" ("..." quotes a field with
// spaces). "${VAR}" in a value is the environment variable VAR, so a unit can
// point at ${CREDENTIALS_DIRECTORY}.
#include <istream>
#include <optional>
#include <string>
#include <vector>

namespace lvbridge {

// The file's lines as command-line arguments; nullopt with *error
// "NAME:LINE: why" at the first line that is not a valid option.
std::optional<std::vector<std::string>> ConfigArguments(std::istream& in, const std::string& name, std::string* error);

// args with each "--config FILE" replaced by the file's arguments, so options
// given after it override the file's (repeatable ones add to them).
std::optional<std::vector<std::string>> ExpandConfig(const std::vector<std::string>& args, std::string* error);

// usage with the lines of --config added before its list of endpoints.
std::string WithConfigUsage(std::string usage);

}  // namespace lvbridge
