// recbase map: an SVG picture of a file's layout.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "commands.h"
#include "journal_file.h"
#include "layout.h"
#include "options.h"
#include "output.h"
#include "regions.h"
#include "session.h"

namespace rbtool {

namespace {

constexpr double kBarWidth = 1000;
constexpr double kMargin = 20;
constexpr double kBarTop = 60;
constexpr double kBarHeight = 60;
constexpr double kRowHeight = 18;
// Above this ratio of the largest to the smallest region, widths go by
// the logarithm of the length, so that the small tables stay visible.
constexpr double kLogScaleRatio = 100;

struct Drawn {
  Region region;
  bool free = false;
  double x = 0;
  double width = 0;
};

const char* colour(const Drawn& d) {
  if (d.free) return "#dddddd";
  switch (d.region.kind) {
    case RegionKind::kHeader:
      return "#bab0ac";
    case RegionKind::kPlain:
      return "#4e79a7";
    case RegionKind::kIndexed:
      return "#f28e2b";
    case RegionKind::kIterator:
      return "#e15759";
    case RegionKind::kPlaced:
      return "#76b7b2";
    case RegionKind::kBucket:
      return "#59a14f";
    case RegionKind::kVector:
      return "#ff9da7";
    case RegionKind::kTable:
      return "#b07aa1";
  }
  return "#000000";
}

std::string escaped(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

// Regions in file order with the unused stretches between them.
std::vector<Drawn> laid_out(const rb::FileLayout& image) {
  std::vector<Region> regions = file_regions(image);
  const std::vector<Region> placed = placed_runs(image);
  regions.insert(regions.end(), placed.begin(), placed.end());
  regions.erase(std::remove_if(regions.begin(), regions.end(),
                               [](const Region& r) { return r.length <= 0 || r.offset < 0; }),
                regions.end());
  std::stable_sort(regions.begin(), regions.end(),
                   [](const Region& a, const Region& b) { return a.offset < b.offset; });
  std::vector<Drawn> drawn;
  std::int64_t cursor = 0;
  for (const Region& r : regions) {
    if (r.offset > cursor) {
      drawn.push_back({{"unused", RegionKind::kTable, cursor, r.offset - cursor}, true});
    }
    drawn.push_back({r});
    cursor = std::max(cursor, r.offset + r.length);
  }
  const std::int64_t end = std::max<std::int64_t>(image.size, image.def.lFileLen);
  if (end > cursor) drawn.push_back({{"unused", RegionKind::kTable, cursor, end - cursor}, true});
  return drawn;
}

// Sets x and width of every region; true when the scale is logarithmic.
bool scale(std::vector<Drawn>& drawn) {
  std::int64_t smallest = std::numeric_limits<std::int64_t>::max();
  std::int64_t largest = 0;
  for (const Drawn& d : drawn) {
    smallest = std::min(smallest, d.region.length);
    largest = std::max(largest, d.region.length);
  }
  const bool log_scale = !drawn.empty() && double(largest) > kLogScaleRatio * double(smallest);
  const auto measure = [log_scale](const Drawn& d) {
    return log_scale ? std::log2(double(d.region.length) + 1) : double(d.region.length);
  };
  double total = 0;
  for (const Drawn& d : drawn) total += measure(d);
  double x = kMargin;
  for (Drawn& d : drawn) {
    d.x = x;
    d.width = total > 0 ? measure(d) * kBarWidth / total : 0;
    x += d.width;
  }
  return log_scale;
}

std::string row_text(const Drawn& d) {
  const Region& r = d.region;
  std::string text = r.name + "  " + std::to_string(r.offset) + ".." +
                     std::to_string(r.offset + r.length) + "  (" + std::to_string(r.length) +
                     " bytes";
  if (!d.free) text += std::string(", ") + kind_name(r.kind);
  if (r.fill >= 0) text += ", fill " + std::to_string(static_cast<int>(r.fill * 100 + 0.5)) + "%";
  return text + ")";
}

void write_svg(std::FILE* out, const std::string& name, const rb::FileLayout& image,
               std::vector<Drawn>& drawn) {
  const bool log_scale = scale(drawn);
  const double legend_top = kBarTop + kBarHeight + 50;
  const double height = legend_top + kRowHeight * double(drawn.size() + 1) + kMargin;
  std::fprintf(out,
               "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
               "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%.0f\" height=\"%.0f\" "
               "font-family=\"sans-serif\" font-size=\"12\">\n",
               kBarWidth + 2 * kMargin, height);
  std::fprintf(out, "<text x=\"%.0f\" y=\"25\" font-size=\"16\">%s: %s bytes</text>\n", kMargin,
               escaped(name).c_str(), std::to_string(image.size).c_str());
  std::fprintf(out, "<text x=\"%.0f\" y=\"45\">%s</text>\n", kMargin,
               log_scale ? "widths on a log scale: log2(length + 1) per region, not to scale"
                         : "widths to scale (linear in bytes)");
  for (const Drawn& d : drawn) {
    std::fprintf(out,
                 "<rect class=\"region\" x=\"%.2f\" y=\"%.0f\" width=\"%.2f\" height=\"%.0f\" "
                 "fill=\"%s\" fill-opacity=\"%s\" stroke=\"#333333\" stroke-width=\"0.5\">"
                 "<title>%s</title></rect>\n",
                 d.x, kBarTop, d.width, kBarHeight, colour(d), d.region.fill >= 0 ? "0.35" : "1",
                 escaped(row_text(d)).c_str());
    if (d.region.fill > 0) {
      std::fprintf(out,
                   "<rect class=\"fill\" x=\"%.2f\" y=\"%.0f\" width=\"%.2f\" height=\"%.0f\" "
                   "fill=\"%s\"/>\n",
                   d.x, kBarTop, d.width * d.region.fill, kBarHeight, colour(d));
    }
  }
  for (std::size_t i = 0; i < drawn.size(); ++i) {
    const double y = legend_top + kRowHeight * double(i);
    std::fprintf(out,
                 "<rect class=\"swatch\" x=\"%.0f\" y=\"%.0f\" width=\"12\" height=\"12\" "
                 "fill=\"%s\"/>\n",
                 kMargin, y - 10, colour(drawn[i]));
    std::fprintf(out, "<text class=\"label\" x=\"%.0f\" y=\"%.0f\">%s</text>\n", kMargin + 18, y,
                 escaped(row_text(drawn[i])).c_str());
  }
  std::fprintf(out,
               "<text x=\"%.0f\" y=\"%.0f\">data areas: the darker part is the fill, records "
               "written / slots of the area</text>\n</svg>\n",
               kMargin, legend_top + kRowHeight * double(drawn.size()));
}

}  // namespace

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
  std::vector<Drawn> drawn = laid_out(image);
  Output out;
  if (!out.open(output, false, error)) return fail(kExitUnreadable, error);
  write_svg(out.get(), file, image, drawn);
  if (!out.close(error)) return fail(kExitUnreadable, error);
  return kExitOk;
}

}  // namespace rbtool
