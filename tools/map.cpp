// recbase map: an SVG picture of a file's layout.
#include <cstdio>
#include <string>
#include <vector>

#include "commands.h"
#include "journal_file.h"
#include "layout.h"
#include "map_render.h"
#include "session.h"

namespace rbtool {

int run_map(const Args& args) {
  std::string file;
  std::string output;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "-o" && i + 1 < args.size()) {
      output = args[++i];
    } else if (file.empty() && args[i].rfind("-", 0) != 0) {
      file = args[i];
    } else {
      return fail(kExitUsage, "map: bad arguments (see recbase map --help)");
    }
  }
  if (file.empty() || output.empty()) {
    return fail(kExitUsage, "map: expected FILE -o OUTPUT.svg (see recbase map --help)");
  }
  rb::FileLayout image;
  std::vector<rb::Finding> findings;
  std::string error;
  if (!load_file(file, nullptr, image, findings, error)) {
    return fail(kExitUnreadable, file + ": " + error);
  }
  const std::string note = journal_note(read_journal(file, false), file, false);
  if (!note.empty()) std::fprintf(stderr, "recbase: %s\n", note.c_str());
  if (!image.has_header) {
    return fail(kExitUnreadable, file + ": not a database file (no TOVEK header)");
  }
  const std::string svg = map_svg(file, image);
  // "-" is standard output.
  const bool to_stdout = output == "-";
  std::FILE* out = to_stdout ? stdout : std::fopen(output.c_str(), "w");
  if (out == nullptr) return fail(kExitUnreadable, output + ": cannot create the file");
  const bool written = std::fwrite(svg.data(), 1, svg.size(), out) == svg.size() &&
                       std::fflush(out) == 0 && std::ferror(out) == 0;
  const bool closed = to_stdout || std::fclose(out) == 0;
  if (!written || !closed) {
    return fail(kExitUnreadable, (to_stdout ? "standard output" : output) + ": write failed");
  }
  return kExitOk;
}

}  // namespace rbtool
