// recbase dump FILE --all, load and compact: the whole database as text and
// back, and a copy of it through memory without the room nothing uses.
#include "archive.h"

#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

#include "commands.h"
#include "layout.h"
#include "messages.h"
#include "options.h"
#include "output.h"
#include "recbase.h"
#include "session.h"

namespace rbtool {

std::string totals_text(const Totals& t) {
  return counted(t.types, "data type", "data types") + ", " + counted(t.places, "place", "places") +
         ", " + counted(t.records, "record", "records") + ", " +
         counted(t.sections, "section", "sections") + ", " + counted(t.keys, "key", "keys");
}

std::int64_t file_size(const std::string& path) {
  std::error_code ec;
  const auto size = std::filesystem::file_size(path, ec);
  return ec ? -1 : static_cast<std::int64_t>(size);
}

int parse_copy_command(const std::string& command, const char* input, const Args& args,
                       CopyOptions& options) {
  CommandLine line;
  const int parsed = parse_command_line(command, args, {{"output", 'o', true}, {"force", 0, false}},
                                        {{input}, {}}, line);
  if (parsed != kGoOn) return parsed;
  options.input = line.operands[0];
  options.output = line.value("output");
  if (options.output.empty()) return usage_error(command, "-o NEW, the file to make, is missing");
  if (options.output == "-") {
    return usage_error(command, "a database file cannot go to standard output");
  }
  std::error_code ec;
  if (!std::filesystem::exists(options.output, ec)) return kGoOn;
  if (options.input != "-" && std::filesystem::equivalent(options.input, options.output, ec)) {
    return usage_error(command, options.output + " is the input itself");
  }
  if (!line.has("force")) {
    return usage_error(command, options.output + " exists; --force replaces it");
  }
  return kGoOn;
}

int dump_all(const std::string& name) {
  const std::string path = absolute_path(name);
  Workspace workspace;
  if (!workspace.ready()) return fail(kExitUnreadable, "cannot make a temporary directory");
  Library library;
  rb::FileLayout image;
  const std::int32_t file = open_database(library, path, name, image);
  if (file < 0) return kExitUnreadable;
  // The text has plain line ends everywhere.
  Output out;
  std::string error;
  out.open("-", true, error);
  TextWriter writer(out);
  const std::unique_ptr<RecordSource> records = library_records(file);
  WalkReport report;
  const bool walked = walk_database(image, *records, WalkOptions{}, writer, report, error);
  for (const std::string& w : report.warnings) fail(kExitOk, name + ": warning: " + w);
  for (const std::string& l : report.left_out) fail(kExitOk, name + ": note: left out " + l);
  if (!walked) {
    if (!writer.error().empty()) return fail(kExitUnreadable, writer.error());
    return fail(kExitUnreadable,
                name + ": " + error + " (recbase salvage copies what still reads)");
  }
  return kExitOk;
}

int run_load(const Args& args) {
  CopyOptions o;
  if (const int status = parse_copy_command("load", "TEXT", args, o); status != kGoOn) {
    return status;
  }
  const bool from_stdin = o.input == "-";
  const std::string text_name = from_stdin ? "standard input" : o.input;
  std::FILE* in = from_stdin ? stdin : std::fopen(o.input.c_str(), "rb");
  if (in == nullptr) return fail(kExitUnreadable, o.input + ": cannot open the text");
  const std::unique_ptr<std::FILE, FileCloser> owned(from_stdin ? nullptr : in);
  const std::string out = absolute_path(o.output);
  Workspace workspace;
  if (!workspace.ready()) return fail(kExitUnreadable, "cannot make a temporary directory");
  Library library;
  if (library.init_result() != 0) {
    return fail(kExitUnreadable, library_failure("dbInit", library.init_result()));
  }
  Builder builder(out);
  std::string error;
  if (!read_dump(in, builder, error)) {
    builder.abandon();
    return fail(kExitUnreadable, text_name + ":" + error);
  }
  if (!print_text(o.output + ": " + totals_text(builder.built()) + "\n", error)) {
    return fail(kExitUnreadable, error);
  }
  return kExitOk;
}

int run_compact(const Args& args) {
  CopyOptions o;
  if (const int status = parse_copy_command("compact", "FILE", args, o); status != kGoOn) {
    return status;
  }
  const std::string in = absolute_path(o.input);
  const std::string out = absolute_path(o.output);
  Workspace workspace;
  if (!workspace.ready()) return fail(kExitUnreadable, "cannot make a temporary directory");
  Library library(2);
  rb::FileLayout image;
  const std::int32_t file = open_database(library, in, o.input, image);
  if (file < 0) return kExitUnreadable;
  Builder builder(out);
  const std::unique_ptr<RecordSource> records = library_records(file);
  WalkReport report;
  WalkOptions options;
  options.tight = true;
  std::string error;
  if (!walk_database(image, *records, options, builder, report, error)) {
    builder.abandon();
    return fail(kExitUnreadable, (builder.error().empty() ? o.input : o.output) + ": " + error);
  }
  for (const std::string& w : report.warnings) fail(kExitOk, o.input + ": warning: " + w);
  const std::int64_t before = file_size(in);
  const std::int64_t after = file_size(out);
  std::string text = o.input + ": " + std::to_string(before) + " bytes\n" + o.output + ": " +
                     std::to_string(after) + " bytes";
  if (before > 0 && after >= 0) {
    const std::int64_t saved = (before - after) * 100 / before;
    text += ", " + std::to_string(saved >= 0 ? saved : -saved) +
            (saved >= 0 ? "% smaller" : "% larger");
  }
  text += "\nkept: " + totals_text(report.passed) + "\n";
  for (const std::string& l : report.left_out) text += "left out: " + l + "\n";
  if (!print_text(text, error)) return fail(kExitUnreadable, error);
  return kExitOk;
}

}  // namespace rbtool
