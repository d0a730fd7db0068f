#include "options.h"

#include <getopt.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "recbase.h"
#include "session.h"

namespace rbtool {

namespace {

std::string g_command;  // the command being run, for the messages

// The first line of the command's help: "usage: recbase ...".
std::string usage_line(const std::string& command) {
  const char* help = command_help(command);
  if (help == nullptr) return "";
  const char* end = std::strchr(help, '\n');
  return end == nullptr ? help : std::string(help, end);
}

std::string option_text(const OptionSpec& o) { return std::string("--") + o.name; }

std::string quoted_list(std::initializer_list<const char*> choices) {
  std::string text;
  std::size_t i = 0;
  for (const char* c : choices) {
    if (i > 0) text += i + 1 == choices.size() ? " or " : ", ";
    text += c;
    ++i;
  }
  return text;
}

}  // namespace

void set_command_name(const std::string& command) { g_command = command; }

bool parse_int(const std::string& text, std::int32_t& value) {
  if (text.empty() || text.size() > 11) return false;
  char* end = nullptr;
  const long long v = std::strtoll(text.c_str(), &end, 10);
  if (end != text.c_str() + text.size() || v < INT32_MIN || v > INT32_MAX) return false;
  value = static_cast<std::int32_t>(v);
  return true;
}

int fail(int code, const std::string& text) {
  const std::string prefix = g_command.empty() ? "recbase" : "recbase " + g_command;
  std::fprintf(stderr, "%s: %s\n", prefix.c_str(), text.c_str());
  return code;
}

int usage_error(const std::string& command, const std::string& text) {
  const std::string usage = usage_line(command);
  std::fprintf(stderr, "recbase %s: %s%s%s\n", command.c_str(), text.c_str(),
               usage.empty() ? "" : " (", usage.empty() ? "" : (usage + ")").c_str());
  return kExitUsage;
}

std::string counted(std::int64_t n, const char* singular, const char* plural) {
  return std::to_string(n) + " " + (n == 1 ? singular : plural);
}

std::string with_commas(std::int64_t n) {
  std::string digits = std::to_string(n < 0 ? -n : n);
  for (std::size_t i = digits.size(); i > 3; i -= 3) digits.insert(i - 3, ",");
  return (n < 0 ? "-" : "") + digits;
}

bool number_operand(const std::string& command, const char* what, const std::string& text,
                    std::int32_t low, std::int32_t high, std::int32_t& out) {
  std::int32_t v = 0;
  if (parse_int(text, v) && v >= low && v <= high) {
    out = v;
    return true;
  }
  const std::string range = high == INT32_MAX
                                ? std::to_string(low) + " or more"
                                : "from " + std::to_string(low) + " to " + std::to_string(high);
  usage_error(command, std::string(what) + " must be a number " + range + ", not '" + text + "'");
  return false;
}

std::string CommandLine::value(const std::string& name) const {
  const auto it = values_.find(name);
  return it == values_.end() ? std::string() : it->second;
}

bool CommandLine::number(const std::string& name, std::int32_t low, std::int32_t high,
                         std::int32_t& out) const {
  if (!has(name)) return true;
  return number_operand(command, ("--" + name).c_str(), value(name), low, high, out);
}

bool CommandLine::choice(const std::string& name, std::initializer_list<const char*> choices,
                         std::size_t& out) const {
  if (!has(name)) return true;
  const std::string given = value(name);
  std::size_t i = 0;
  for (const char* c : choices) {
    if (given == c) {
      out = i;
      return true;
    }
    ++i;
  }
  usage_error(command, "--" + name + " must be " + quoted_list(choices) + ", not '" + given + "'");
  return false;
}

int parse_command_line(const std::string& command, const Args& args,
                       const std::vector<OptionSpec>& options, const Operands& operands,
                       CommandLine& out) {
  out.command = command;
  // getopt_long wants a writable argv; the first entry names the program.
  std::vector<std::string> storage;
  storage.reserve(args.size() + 1);
  storage.push_back("recbase " + command);
  storage.insert(storage.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& s : storage) argv.push_back(s.data());
  argv.push_back(nullptr);

  enum : int { kHelp = 0x100, kVersion = 0x101, kFirstOption = 0x200 };
  std::vector<option> longs;
  // "-": operands come back in place as option 1, whatever POSIXLY_CORRECT
  // says; ":": a missing value comes back as ':'.
  std::string shorts = "-:h";
  for (std::size_t i = 0; i < options.size(); ++i) {
    const OptionSpec& o = options[i];
    longs.push_back({o.name, o.takes_value ? required_argument : no_argument, nullptr,
                     kFirstOption + static_cast<int>(i)});
    if (o.short_name != 0) {
      shorts += o.short_name;
      if (o.takes_value) shorts += ':';
    }
  }
  longs.push_back({"help", no_argument, nullptr, kHelp});
  longs.push_back({"version", no_argument, nullptr, kVersion});
  longs.push_back({nullptr, 0, nullptr, 0});

  const auto spec_of = [&](int c) -> const OptionSpec* {
    if (c >= kFirstOption && c < kFirstOption + static_cast<int>(options.size())) {
      return &options[static_cast<std::size_t>(c - kFirstOption)];
    }
    for (const OptionSpec& o : options) {
      if (o.short_name != 0 && o.short_name == c) return &o;
    }
    return nullptr;
  };

  const int argc = static_cast<int>(argv.size()) - 1;
  opterr = 0;
  optind = 0;  // starts afresh, also in a process that parsed before
  bool help = false;
  bool version = false;
  for (;;) {
    const int c = getopt_long(argc, argv.data(), shorts.c_str(), longs.data(), nullptr);
    if (c == -1) break;
    const std::string seen = optind > 0 && optind <= argc ? argv[optind - 1] : "";
    if (c == 1) {
      out.operands.push_back(optarg);
    } else if (c == 'h' || c == kHelp) {
      help = true;
    } else if (c == kVersion) {
      version = true;
    } else if (c == ':') {
      const OptionSpec* o = spec_of(optopt);
      const std::string name = o != nullptr ? option_text(*o) : seen;
      return usage_error(command, name + " needs a value");
    } else if (c == '?') {
      const std::string name = optopt != 0 ? std::string("-") + static_cast<char>(optopt) : seen;
      return usage_error(command, "unknown option '" + name + "'");
    } else if (const OptionSpec* o = spec_of(c)) {
      out.set(o->name, o->takes_value && optarg != nullptr ? optarg : "");
    }
  }
  for (int i = optind; i < argc; ++i) out.operands.push_back(argv[static_cast<std::size_t>(i)]);
  if (help) {
    const char* text = command_help(command);
    std::fputs(text != nullptr ? text : "", stdout);
    return kExitOk;
  }
  if (version) {
    std::printf("recbase %s (library %s)\n", RECBASE_TOOL_VERSION, dbGetLibVersion());
    return kExitOk;
  }
  if (out.operands.size() < operands.required.size()) {
    return usage_error(command,
                       std::string(operands.required[out.operands.size()]) + " is missing");
  }
  const std::size_t most = operands.required.size() + operands.optional.size();
  if (out.operands.size() > most) {
    return usage_error(command, "unexpected argument '" + out.operands[most] + "'");
  }
  return kGoOn;
}

}  // namespace rbtool
