#include "config_file.h"

#include <cstdlib>
#include <fstream>

#include "options.h"

namespace lvbridge {
namespace {

std::string Trim(const std::string& s) {
  const std::size_t b = s.find_first_not_of(" \t\r");
  if (b == std::string::npos) return {};
  return s.substr(b, s.find_last_not_of(" \t\r") - b + 1);
}

// "${VAR}" replaced by the variable's value; false when it is unset.
bool ExpandVariables(std::string* text, std::string* error) {
  for (std::size_t at = text->find("${"); at != std::string::npos; at = text->find("${", at)) {
    const std::size_t end = text->find('}', at);
    if (end == std::string::npos) return *error = "unclosed ${", false;
    const std::string name = text->substr(at + 2, end - at - 2);
    const char* value = std::getenv(name.c_str());
    if (!value) return *error = "${" + name + "} is not set", false;
    text->replace(at, end - at + 1, value);
    at += std::string_view(value).size();
  }
  return true;
}

// Fields split at blanks; "..." keeps blanks inside one field.
bool SplitFields(const std::string& text, std::vector<std::string>* fields, std::string* error) {
  std::size_t i = 0;
  while (true) {
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    if (i == text.size()) return true;
    std::string field;
    if (text[i] == '"') {
      const std::size_t end = text.find('"', i + 1);
      if (end == std::string::npos) return *error = "unclosed quote", false;
      field = text.substr(i + 1, end - i - 1);
      i = end + 1;
    } else {
      while (i < text.size() && text[i] != ' ' && text[i] != '\t') field += text[i++];
    }
    fields->push_back(field);
  }
}

bool Parses(const std::vector<std::string>& args, std::string* error) {
  error->clear();
  return ParseArguments(args, error).has_value();
}

// One line's key and value as arguments, checked by the command-line parser.
bool LineArguments(const std::string& key, const std::string& value, std::vector<std::string>* out,
                   std::string* error) {
  const std::string option = "--" + key;
  if (key == "config" || key == "password-file") return *error = "unknown key '" + key + "'", false;
  // They would make the service print and exit instead of serving.
  if (key == "help" || key == "version") return *error = "'" + key + "' belongs on the command line only", false;
  if (key == "dvr") {
    std::vector<std::string> f;
    if (!SplitFields(value, &f, error)) return false;
    if (f.size() != 4 && f.size() != 5) return *error = "dvr takes NAME ADDRESS PORT USER [PASSWORD-FILE]", false;
    *out = {option, f[0], f[1], f[2], f[3]};
    if (f.size() == 5) out->insert(out->end(), {"--password-file", f[4]});
    return Parses(*out, error);
  }
  *out = {option, value};
  if (Parses(*out, error)) return true;
  if (error->starts_with("unknown argument --")) *error = "unknown key '" + key + "'";
  return false;
}

}  // namespace

std::optional<std::vector<std::string>> ConfigArguments(std::istream& in, const std::string& name, std::string* error) {
  std::vector<std::string> args;
  std::string raw;
  for (int number = 1; std::getline(in, raw); ++number) {
    const std::string line = Trim(raw.substr(0, raw.find('#')));
    if (line.empty()) continue;
    const std::size_t eq = line.find('=');
    std::string key = eq == std::string::npos ? std::string() : Trim(line.substr(0, eq));
    std::string value = eq == std::string::npos ? std::string() : Trim(line.substr(eq + 1));
    std::vector<std::string> more;
    std::string why;
    if (key.empty() || value.empty()) {
      why = "expected KEY = VALUE";
    } else if (ExpandVariables(&value, &why) && LineArguments(key, value, &more, &why)) {
      args.insert(args.end(), more.begin(), more.end());
      continue;
    }
    *error = name + ":" + std::to_string(number) + ": " + why;
    return std::nullopt;
  }
  return args;
}

std::optional<std::vector<std::string>> ExpandConfig(const std::vector<std::string>& args, std::string* error) {
  std::vector<std::string> out;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] != "--config") {
      out.push_back(args[i]);
      continue;
    }
    if (++i == args.size()) return *error = "--config needs a value", std::nullopt;
    std::ifstream file(args[i]);
    if (!file) return *error = "cannot read " + args[i], std::nullopt;
    auto more = ConfigArguments(file, args[i], error);
    if (!more) return std::nullopt;
    out.insert(out.end(), more->begin(), more->end());
  }
  return out;
}

std::string WithConfigUsage(std::string usage) {
  const std::size_t at = usage.find("Endpoints:");
  usage.insert(at == std::string::npos ? usage.size() : at,
               "  --config FILE       options from FILE, one 'long-option = value' a line ('#'\n"
         "                      comments; 'dvr = NAME ADDRESS PORT USER [PASSWORD-FILE]');\n"
         "                      options after it override the file's\n");
  return usage;
}

}  // namespace lvbridge
