// recbase map: an SVG picture of a file's layout.
#include <cstdio>
#include <string>
#include <vector>

#include "commands.h"
#include "journal_file.h"
#include "layout.h"
#include "map_render.h"
#include "options.h"
#include "output.h"
#include "session.h"

namespace rbtool {

int run_map(const Args& args) {
  CommandLine line;
  const int parsed = parse_command_line("map", args, {{"output", 'o', true}}, {{"FILE"}, {}}, line);
  if (parsed != kGoOn) return parsed;
  const std::string& file = line.operands[0];
  const std::string output = line.value("output");
  if (output.empty()) return usage_error("map", "-o LAYOUT.svg is missing");
  rb::FileLayout image;
  std::vector<rb::Finding> findings;
  std::string error;
  if (!load_file(file, nullptr, image, findings, error)) {
    return fail(kExitUnreadable, file + ": " + error);
  }
  const std::string note = journal_note(read_journal(file, false), file, false);
  if (!note.empty()) fail(kExitOk, note);
  if (!image.has_header) {
    return fail(kExitUnreadable, file + ": not a database file (no TOVEK header)");
  }
  const std::string svg = map_svg(file, image);
  Output out;
  if (!out.open(output, false, error)) return fail(kExitUnreadable, error);
  out.write(svg);
  if (!out.close(error)) return fail(kExitUnreadable, error);
  return kExitOk;
}

}  // namespace rbtool
