#include "map_render.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <iterator>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "regions.h"

namespace rbtool {

namespace {

// Geometry, in pixels.
constexpr double kWidth = 1240;
constexpr double kMargin = 20;
constexpr double kBarWidth = kWidth - 2 * kMargin;
constexpr double kBarHeight = 56;
constexpr double kStripHeight = 6;  // the fill strip at the foot of a data area
constexpr double kFont = 12;
constexpr double kSmallFont = 11;
constexpr double kCalloutRow = 14;
constexpr int kMaxCalloutRows = 12;
constexpr double kListRow = 15;
// A region too large for the scale is drawn this wide, a zig-zag gap in its
// middle standing for the bytes left out.
constexpr double kBreakWidth = 120;
constexpr double kBreakGap = 14;
constexpr int kMaxBreaks = 6;
// The scale is readable when a block of 4 KiB, the header's length, is at
// least this wide.
constexpr double kReadableBlock = 32;
constexpr std::int64_t kBlock = 4096;
// Beyond this many regions, neighbours are drawn as one group.
constexpr std::size_t kMaxRegions = 240;

// The colour of each kind of region: the kinds of RegionKind in order, then
// unused space. A group of regions of several kinds is striped in theirs.
constexpr int kFree = 8;
struct Paint {
  const char* name;
  const char* plural;
  const char* colour;
};
constexpr Paint kPaints[] = {
    {"header", "headers", "#9c755f"},
    {"plain area", "plain areas", "#4e79a7"},
    {"indexed area", "indexed areas", "#f28e2b"},
    {"iterator area", "iterator areas", "#e15759"},
    {"placed", "placed regions", "#76b7b2"},
    {"bucket area", "bucket areas", "#59a14f"},
    {"index vector", "index vectors", "#edc948"},
    {"table", "tables", "#b07aa1"},
    {"unused", "unused stretches", "#e4e4e4"},
};
constexpr int kPaintCount = static_cast<int>(std::size(kPaints));
static_assert(static_cast<int>(RegionKind::kTable) + 1 == kFree);

// Kinds as bits of a set.
using Kinds = unsigned;
constexpr Kinds kind_bit(int paint) { return 1u << paint; }
constexpr Kinds kDataAreas = kind_bit(1) | kind_bit(2) | kind_bit(3) | kind_bit(4) | kind_bit(5);
bool one_kind(Kinds kinds) { return (kinds & (kinds - 1)) == 0; }
int first_kind(Kinds kinds) {
  int k = 0;
  while ((kinds & kind_bit(k)) == 0) ++k;
  return k;
}

// The fill of a region of these kinds: a colour, or stripes.
std::string paint(Kinds kinds) {
  if (one_kind(kinds)) return kPaints[first_kind(kinds)].colour;
  return "url(#kinds" + std::to_string(kinds) + ")";
}

// A region as drawn: one of the file or a group of neighbours.
struct Item {
  std::string name;
  Kinds kinds;
  std::int64_t offset;
  std::int64_t length;
  double fill = -1;  // data areas: records written / slots
  std::size_t count = 1;
  std::string first;  // the first and last region of a group
  std::string last;
  std::int64_t end() const { return offset + length; }
};

// Regions in file order with the unused stretches between them.
std::vector<Item> file_items(const rb::FileLayout& image) {
  std::vector<Region> regions = file_regions(image);
  const std::vector<Region> placed = placed_runs(image);
  regions.insert(regions.end(), placed.begin(), placed.end());
  std::erase_if(regions, [](const Region& r) { return r.length <= 0 || r.offset < 0; });
  std::stable_sort(regions.begin(), regions.end(),
                   [](const Region& a, const Region& b) { return a.offset < b.offset; });
  std::vector<Item> items;
  const auto unused = [&](std::int64_t from, std::int64_t to) {
    items.push_back({"unused", kind_bit(kFree), from, to - from, -1, 1, "unused", "unused"});
  };
  std::int64_t cursor = 0;
  for (const Region& r : regions) {
    if (r.offset > cursor) unused(cursor, r.offset);
    items.push_back({r.name, kind_bit(static_cast<int>(r.kind)), r.offset, r.length, r.fill, 1,
                     r.name, r.name});
    cursor = std::max(cursor, r.offset + r.length);
  }
  const std::int64_t end = std::max<std::int64_t>(image.size, image.def.lFileLen);
  if (end > cursor) unused(cursor, end);
  return items;
}

Item merged(const std::vector<Item>& items, std::size_t from, std::size_t to) {
  Item group{"", 0, items[from].offset, 0, -1, 0, items[from].first, items[to - 1].last};
  std::int64_t end = items[from].end();
  for (std::size_t i = from; i < to; ++i) {
    group.kinds |= items[i].kinds;
    group.offset = std::min(group.offset, items[i].offset);
    end = std::max(end, items[i].end());
    group.count += items[i].count;
  }
  group.length = end - group.offset;
  const char* what = one_kind(group.kinds)              ? kPaints[first_kind(group.kinds)].plural
                     : (group.kinds & ~kDataAreas) == 0 ? "data areas"
                                                        : "regions";
  group.name = std::to_string(group.count) + " " + what + ": " + group.first + " .. " + group.last;
  return group;
}

// Groups of the runs of neighbours that together(left, right) holds for,
// the longest runs first, until at most limit items are left or no run is.
template <typename Together>
std::vector<Item> merge_runs(const std::vector<Item>& items, std::size_t limit, Together together) {
  std::vector<std::pair<std::size_t, std::size_t>> runs;  // [first, last)
  for (std::size_t i = 0, j = 0; i < items.size(); i = j) {
    for (j = i + 1; j < items.size() && together(items[j - 1], items[j]);) ++j;
    runs.emplace_back(i, j);
  }
  std::vector<std::size_t> longest(runs.size());
  for (std::size_t r = 0; r < runs.size(); ++r) longest[r] = r;
  std::stable_sort(longest.begin(), longest.end(), [&](std::size_t a, std::size_t b) {
    return runs[a].second - runs[a].first > runs[b].second - runs[b].first;
  });
  std::vector<bool> merge(runs.size());
  std::size_t left = items.size();
  for (const std::size_t r : longest) {
    if (left <= limit) break;
    merge[r] = true;
    left -= runs[r].second - runs[r].first - 1;
  }
  std::vector<Item> out;
  for (std::size_t r = 0; r < runs.size(); ++r) {
    const auto [i, j] = runs[r];
    if (merge[r] && j - i > 1) {
      out.push_back(merged(items, i, j));
    } else {
      out.insert(out.end(), items.begin() + std::ptrdiff_t(i), items.begin() + std::ptrdiff_t(j));
    }
  }
  return out;
}

// At most kMaxRegions items: beyond that, the longest runs of one kind are
// drawn as one group each; when that is not enough, the longest runs of
// one kind or of data areas of any kind; as a last resort, runs of
// neighbours whatever they are.
std::vector<Item> grouped(const std::vector<Item>& items) {
  const auto same_kind = [](const Item& a, const Item& b) {
    return a.kinds == b.kinds && one_kind(a.kinds);
  };
  const auto data_areas = [&](const Item& a, const Item& b) {
    return same_kind(a, b) || ((a.kinds | b.kinds) & ~kDataAreas) == 0;
  };
  std::vector<Item> fewer = merge_runs(items, kMaxRegions, same_kind);
  if (fewer.size() <= kMaxRegions) return fewer;
  fewer = merge_runs(items, kMaxRegions, data_areas);
  if (fewer.size() <= kMaxRegions) return fewer;
  const std::size_t per = (fewer.size() + kMaxRegions - 1) / kMaxRegions;
  std::size_t n = 0;
  return merge_runs(fewer, 0, [&](const Item&, const Item&) { return ++n % per != 0; });
}

// Diagonal stripes in the colours of each set of several kinds that fills a
// region.
std::string stripes(const std::vector<Kinds>& sets) {
  std::string defs;
  for (const Kinds kinds : sets) {
    std::string bands;
    double x = 0;
    for (int k = 0; k < kPaintCount; ++k) {
      if ((kinds & kind_bit(k)) == 0) continue;
      bands += "<rect x=\"" + std::to_string(int(x)) +
               "\" y=\"0\" width=\"5\" height=\"10\" fill=\"" + kPaints[k].colour + "\"/>";
      x += 5;
    }
    defs += "<pattern id=\"kinds" + std::to_string(kinds) + "\" width=\"" + std::to_string(int(x)) +
            "\" height=\"10\" patternUnits=\"userSpaceOnUse\" "
            "patternTransform=\"rotate(45)\">" +
            bands + "</pattern>\n";
  }
  return defs.empty() ? "" : "<defs>\n" + defs + "</defs>\n";
}

// A stretch of the file and where it lies on the bar. A cut stretch is left
// out: it is drawn kBreakGap wide whatever its length.
struct Piece {
  std::int64_t from;
  std::int64_t to;
  double x;
  double width;
  bool cut;
};

// File offsets to x: linear, pixels_per_byte outside the cuts.
struct Scale {
  double pixels_per_byte = 0;
  std::vector<Piece> pieces;  // [0, end of file) in order

  double x(std::int64_t offset) const {
    const auto p = std::upper_bound(pieces.begin(), pieces.end(), offset,
                                    [](std::int64_t o, const Piece& q) { return o < q.to; });
    if (p == pieces.end()) return pieces.empty() ? kMargin : pieces.back().x + pieces.back().width;
    return p->x + double(offset - p->from) * p->width / double(p->to - p->from);
  }
};

// A linear scale over the stretches between the bounds of the items. While
// a 4 KiB block would be narrower than kReadableBlock, the largest stretch
// is cut, as long as it stays well wider than its cut drawing.
Scale scale_for(const std::vector<Item>& items, std::int64_t end) {
  std::vector<std::int64_t> bounds{0, end};
  for (const Item& it : items) {
    bounds.push_back(std::clamp<std::int64_t>(it.offset, 0, end));
    bounds.push_back(std::clamp<std::int64_t>(it.end(), 0, end));
  }
  std::sort(bounds.begin(), bounds.end());
  bounds.erase(std::unique(bounds.begin(), bounds.end()), bounds.end());
  const std::size_t n = bounds.size() - 1;
  const auto length = [&](std::size_t i) { return double(bounds[i + 1] - bounds[i]); };
  std::vector<std::size_t> order(n);
  for (std::size_t i = 0; i < n; ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(),
                   [&](std::size_t a, std::size_t b) { return length(a) > length(b); });
  std::vector<bool> cut(n, false);
  double rest = double(end);
  Scale scale;
  scale.pixels_per_byte = rest > 0 ? kBarWidth / rest : 1;
  for (int k = 0; k < kMaxBreaks && std::size_t(k) < n &&
                  scale.pixels_per_byte * double(kBlock) < kReadableBlock;
       ++k) {
    const std::size_t c = order[std::size_t(k)];
    const double left = rest - length(c);
    if (left <= 0) break;
    const double next = (kBarWidth - (k + 1) * kBreakWidth) / left;
    if (length(c) * next < 2 * kBreakWidth) break;
    cut[c] = true;
    rest = left;
    scale.pixels_per_byte = next;
  }
  const double px = scale.pixels_per_byte;
  double x = kMargin;
  const auto add = [&](std::int64_t from, std::int64_t to, bool is_cut) {
    const double width = is_cut ? kBreakGap : double(to - from) * px;
    scale.pieces.push_back({from, to, x, width, is_cut});
    x += width;
  };
  for (std::size_t i = 0; i < n; ++i) {
    if (!cut[i]) {
      add(bounds[i], bounds[i + 1], false);
      continue;
    }
    const auto stub = std::max<std::int64_t>(1, std::llround((kBreakWidth - kBreakGap) / 2 / px));
    add(bounds[i], bounds[i] + stub, false);
    add(bounds[i] + stub, bounds[i + 1] - stub, true);
    add(bounds[i + 1] - stub, bounds[i + 1], false);
  }
  return scale;
}

std::string num(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", value);
  return text;
}

// bytes in unit 0 (B), 1 (KiB), 2 (MiB) or 3 (GiB), with at most two
// decimals: 1536 in KiB -> "1.5 KiB".
std::string size_in(std::int64_t bytes, int unit) {
  const char* const units[] = {"B", "KiB", "MiB", "GiB"};
  char text[32];
  std::snprintf(text, sizeof text, "%.2f", double(bytes) / double(std::int64_t{1} << (10 * unit)));
  std::string s = text;
  while (s.back() == '0') s.pop_back();
  if (s.back() == '.') s.pop_back();
  return s + " " + units[unit];
}

// bytes in the largest unit that keeps them at 1 or more: 4096 -> "4 KiB".
std::string size_text(std::int64_t bytes) {
  int unit = 0;
  while (unit < 3 && bytes >= std::int64_t{1} << (10 * (unit + 1))) ++unit;
  return size_in(bytes, unit);
}

// Text for XML, with every byte outside printable ASCII as '?', so that any
// file name gives a well-formed document.
std::string escaped(const std::string& text) {
  std::string out;
  for (const char c : text) {
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
        out += (c >= 0x20 && c < 0x7f) ? c : '?';
    }
  }
  return out;
}

double text_width(const std::string& text, double font) { return double(text.size()) * font * 0.6; }

std::string text(const char* cls, double x, double y, const std::string& content,
                 const std::string& extra = "") {
  return std::string("<text class=\"") + cls + "\" x=\"" + num(x) + "\" y=\"" + num(y) + "\"" +
         extra + ">" + escaped(content) + "</text>\n";
}

// White outline under the glyphs: readable on any colour.
constexpr const char* kHalo =
    " stroke=\"#ffffff\" stroke-width=\"3\" stroke-linejoin=\"round\" paint-order=\"stroke\"";

std::string rect(const char* cls, double x, double y, double w, double h, const std::string& fill,
                 const std::string& extra = "") {
  return std::string("<rect class=\"") + cls + "\" x=\"" + num(x) + "\" y=\"" + num(y) +
         "\" width=\"" + num(w) + "\" height=\"" + num(h) + "\" fill=\"" + fill + "\"" + extra;
}

std::string row_text(std::size_t number, const Item& it) {
  std::string row = std::to_string(number) + ". " + it.name + ", bytes " +
                    std::to_string(it.offset) + ".." + std::to_string(it.end()) + " (" +
                    size_text(it.length) + ")";
  if (it.fill >= 0) row += ", fill " + std::to_string(static_cast<int>(it.fill * 100 + 0.5)) + "%";
  return row;
}

// A number above the bar, tied to its region by a line.
struct Callout {
  std::string label;
  double anchor;  // x of the region's middle
  double width;
  double left = 0;
  int row = 0;
};

// Lays the callouts (in order of their anchors) in the fewest rows that
// keep each within reach of its anchor and inside the picture; returns the
// number of rows.
int place_callouts(std::vector<Callout>& callouts) {
  if (callouts.empty()) return 0;
  constexpr double kPad = 3;
  const double low = kMargin / 2;
  const double high = kWidth - kMargin / 2;
  for (int rows = 1;; ++rows) {
    std::vector<double> row_end(std::size_t(rows), low - kPad);
    for (Callout& c : callouts) {
      double best_shift = std::numeric_limits<double>::max();
      for (int r = 0; r < rows; ++r) {
        const double left = std::max(c.anchor - c.width / 2, row_end[std::size_t(r)] + kPad);
        const double shift = left + c.width / 2 - c.anchor;
        if (shift < best_shift) {
          best_shift = shift;
          c.row = r;
          c.left = left;
        }
      }
      row_end[std::size_t(c.row)] = c.left + c.width;
    }
    // Rows that run past the right edge move back to the left.
    std::vector<double> limit(std::size_t(rows), high);
    double worst = 0;
    bool inside = true;
    for (auto c = callouts.rbegin(); c != callouts.rend(); ++c) {
      double& l = limit[std::size_t(c->row)];
      c->left = std::min(c->left, l - c->width);
      l = c->left - kPad;
      inside = inside && c->left >= low;
      worst = std::max(worst, std::abs(c->left + c->width / 2 - c->anchor));
    }
    if ((inside && worst <= 80) || rows == kMaxCalloutRows) return rows;
  }
}

// A labelled tick of the axis; required ones (the ends of the drawn
// stretches) are placed first, the others where they do not crowd them.
struct Tick {
  std::int64_t offset;
  bool required;
};

// Bytes between ticks: at least 90 pixels, a power of two from 1 KiB on.
std::int64_t tick_step(double pixels_per_byte) {
  const double need = 90 / pixels_per_byte;
  for (const std::int64_t step : {1, 2, 5, 10, 20, 50, 100, 200, 500}) {
    if (double(step) >= need) return step;
  }
  std::int64_t step = 1024;
  while (double(step) < need) step *= 2;
  return step;
}

std::string axis(const Scale& scale, std::int64_t end, double y) {
  std::string svg = "<g class=\"axis\">\n";
  // The stretches between cuts: a line each, with ticks at multiples of
  // the step and at both ends.
  std::vector<Tick> ticks;
  const std::int64_t step = tick_step(scale.pixels_per_byte);
  // Labels in the step's unit, so that neighbours differ.
  int unit = 0;
  while (unit < 3 && step % (std::int64_t{1} << (10 * (unit + 1))) == 0) ++unit;
  for (std::size_t i = 0; i < scale.pieces.size();) {
    std::size_t j = i;
    while (j < scale.pieces.size() && !scale.pieces[j].cut) ++j;
    if (j > i) {
      const std::int64_t from = scale.pieces[i].from;
      const std::int64_t to = scale.pieces[j - 1].to;
      svg += "<line x1=\"" + num(scale.x(from)) + "\" y1=\"" + num(y) + "\" x2=\"" +
             num(scale.pieces[j - 1].x + scale.pieces[j - 1].width) + "\" y2=\"" + num(y) +
             "\" stroke=\"#333333\"/>\n";
      ticks.push_back({from, true});
      for (std::int64_t t = (from / step + 1) * step; t < to; t += step)
        ticks.push_back({t, false});
      if (to == end) ticks.push_back({to, true});
    }
    if (j < scale.pieces.size()) {
      const double gx = scale.pieces[j].x;
      for (const double sx : {gx + 2, gx + kBreakGap - 2}) {
        svg += "<line x1=\"" + num(sx - 3) + "\" y1=\"" + num(y + 5) + "\" x2=\"" + num(sx + 3) +
               "\" y2=\"" + num(y - 5) + "\" stroke=\"#333333\"/>\n";
      }
    }
    i = j + 1;
  }
  std::stable_partition(ticks.begin(), ticks.end(), [](const Tick& t) { return t.required; });
  std::vector<std::pair<double, double>> taken;
  for (const Tick& t : ticks) {
    const double x = scale.x(t.offset);
    const std::string label = t.offset == 0 ? "0" : size_in(t.offset, unit);
    const double w = text_width(label, kSmallFont);
    const double left = std::clamp(x - w / 2, kMargin / 2, kWidth - kMargin / 2 - w);
    svg += "<line x1=\"" + num(x) + "\" y1=\"" + num(y) + "\" x2=\"" + num(x) + "\" y2=\"" +
           num(y + 5) + "\" stroke=\"#333333\"/>\n";
    const bool crowded = std::any_of(taken.begin(), taken.end(), [&](const auto& span) {
      return left < span.second + 8 && left + w + 8 > span.first;
    });
    if (crowded) continue;
    taken.emplace_back(left, left + w);
    svg += text("tick", left, y + 17, label, " font-size=\"11\"");
  }
  return svg + "</g>\n";
}

// Two zig-zag edges and a white band between them, with the length left out.
std::string break_mark(const Piece& p, double top) {
  std::string left_edge;
  std::string right_edge;
  for (int i = 0; i <= 8; ++i) {
    const double y = top - 4 + (kBarHeight + 8) * i / 8;
    const double dx = i % 2 == 0 ? -2 : 2;
    left_edge += num(p.x + dx) + "," + num(y) + " ";
    right_edge = num(p.x + p.width + dx) + "," + num(y) + " " + right_edge;
  }
  const std::string note = size_text(p.to - p.from) + " cut";
  const double w = text_width(note, 10) + 6;
  const double mid = p.x + p.width / 2;
  return "<g class=\"break\">\n<polygon points=\"" + left_edge + right_edge +
         "\" fill=\"#ffffff\"/>\n<polyline points=\"" + left_edge +
         "\" fill=\"none\" stroke=\"#333333\"/>\n<polyline points=\"" + right_edge +
         "\" fill=\"none\" stroke=\"#333333\"/>\n" +
         rect("cut-note", mid - w / 2, top + kBarHeight - 24, w, 14, "#ffffff", "/>\n") +
         text("cut", mid, top + kBarHeight - 13, note, " font-size=\"10\" text-anchor=\"middle\"") +
         "</g>\n";
}

}  // namespace

std::string map_svg(const std::string& name, const rb::FileLayout& image) {
  const std::vector<Item> all = file_items(image);
  const std::vector<Item> items = grouped(all);
  const std::int64_t end =
      items.empty()
          ? 0
          : std::max_element(items.begin(), items.end(), [](const Item& a, const Item& b) {
              return a.end() < b.end();
            })->end();
  const Scale scale = scale_for(items, end);
  bool cuts = false;
  for (const Piece& p : scale.pieces) cuts = cuts || p.cut;

  // Where each item lies; names on the bar where they fit, callouts for the rest.
  std::vector<double> xs(items.size());
  std::vector<double> widths(items.size());
  std::vector<Callout> callouts;
  std::vector<bool> named(items.size());
  std::vector<bool> cut_inside(items.size());
  for (std::size_t i = 0; i < items.size(); ++i) {
    xs[i] = scale.x(items[i].offset);
    widths[i] = std::max(1.0, scale.x(items[i].end()) - xs[i]);
    // A name stays left of a cut.
    double room = widths[i];
    for (const Piece& p : scale.pieces) {
      if (!p.cut || p.from < items[i].offset || p.to > items[i].end()) continue;
      cut_inside[i] = true;
      room = std::min(room, p.x - xs[i]);
    }
    named[i] = text_width(items[i].name, kFont) + 8 <= room;
    if (!named[i]) {
      const std::string label = std::to_string(i + 1);
      callouts.push_back({label, xs[i] + widths[i] / 2, text_width(label, kSmallFont) + 2});
    }
  }
  std::stable_sort(callouts.begin(), callouts.end(),
                   [](const Callout& a, const Callout& b) { return a.anchor < b.anchor; });
  const int rows = place_callouts(callouts);
  const double bar_top = 60 + rows * kCalloutRow + (rows > 0 ? 12 : 0);
  const double bar_bottom = bar_top + kBarHeight;
  const double axis_y = bar_bottom + 10;

  std::string body;
  std::string title = name + ": " + std::to_string(end) + " bytes (" + size_text(end) + "), " +
                      std::to_string(all.size()) + " regions";
  if (items.size() < all.size()) {
    title += ", drawn as " + std::to_string(items.size()) + " (neighbours grouped)";
  }
  body += text("title", kMargin, 24, title, " font-size=\"16\"");
  std::string note = "linear scale: 1 px = " + size_text(std::llround(1 / scale.pixels_per_byte)) +
                     "; regions narrower than 1 px are drawn 1 px wide";
  if (cuts) note += "; a zig-zag leaves out the length written on it";
  body += text("scale", kMargin, 44, note);

  // Callouts: leader lines first, numbers over them.
  for (const Callout& c : callouts) {
    const double y = bar_top - 14 - c.row * kCalloutRow;
    body += "<line class=\"leader\" x1=\"" + num(c.left + c.width / 2) + "\" y1=\"" + num(y + 3) +
            "\" x2=\"" + num(c.anchor) + "\" y2=\"" + num(bar_top) +
            "\" stroke=\"#888888\" stroke-width=\"0.6\"/>\n";
  }
  for (const Callout& c : callouts) {
    body += text("callout", c.left + 1, bar_top - 14 - c.row * kCalloutRow, c.label,
                 std::string(" font-size=\"11\"") + kHalo);
  }

  // The bar: large regions first, so that regions lying inside others stay on top.
  std::vector<std::size_t> order(items.size());
  for (std::size_t i = 0; i < items.size(); ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(),
                   [&](std::size_t a, std::size_t b) { return items[a].length > items[b].length; });
  for (const std::size_t i : order) {
    const Item& it = items[i];
    body += rect("region", xs[i], bar_top, widths[i], kBarHeight, paint(it.kinds),
                 " stroke=\"#555555\" stroke-width=\"0.4\"><title>" + escaped(row_text(i + 1, it)) +
                     "</title></rect>\n");
    if (it.fill >= 0 && widths[i] >= 3) {
      const double y = bar_bottom - kStripHeight;
      body +=
          rect("strip", xs[i], y, widths[i], kStripHeight, "#ffffff", " fill-opacity=\"0.8\"/>\n");
      body += rect("fill", xs[i], y, widths[i] * it.fill, kStripHeight, "#222222", "/>\n");
    }
  }
  for (const Piece& p : scale.pieces) {
    if (p.cut) body += break_mark(p, bar_top);
  }
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (!named[i]) continue;
    body += text("name", xs[i] + 4, bar_top + 18, items[i].name, kHalo);
    const std::string size = size_text(items[i].length);
    if (!cut_inside[i] && text_width(size, kSmallFont) + 8 <= widths[i]) {
      body += text("size", xs[i] + 4, bar_top + 34, size, std::string(" font-size=\"11\"") + kHalo);
    }
  }
  body += axis(scale, end, axis_y);

  // The kinds, then one numbered row per region.
  double y = axis_y + 46;
  double x = kMargin;
  Kinds present = 0;
  Kinds striped = 0;
  std::vector<Kinds> mixtures;
  for (const Item& it : items) {
    present |= it.kinds;
    if (one_kind(it.kinds)) continue;
    striped |= it.kinds;
    if (std::find(mixtures.begin(), mixtures.end(), it.kinds) == mixtures.end()) {
      mixtures.push_back(it.kinds);
    }
  }
  if (striped != 0 && std::find(mixtures.begin(), mixtures.end(), striped) == mixtures.end()) {
    mixtures.push_back(striped);
  }
  const auto legend = [&](const char* cls, const std::string& fill, const std::string& label) {
    const double w = 18 + text_width(label, kFont) + 16;
    if (x + w > kWidth - kMargin) {
      x = kMargin;
      y += 18;
    }
    body += rect(cls, x, y - 10, 12, 12, fill, " stroke=\"#555555\" stroke-width=\"0.4\"/>\n");
    body += text("kind", x + 18, y, label);
    x += w;
  };
  for (int k = 0; k < kPaintCount; ++k) {
    if ((present & kind_bit(k)) != 0) legend("kind", kPaints[k].colour, kPaints[k].name);
  }
  if (striped != 0)
    legend("mixture", paint(striped), "a group of several kinds, striped in theirs");
  y += 18;
  body += text("note", kMargin, y,
               "data areas: the dark part of the strip at their foot is the fill, records "
               "written / slots; numbers above the bar refer to the list below",
               " font-size=\"11\"");
  y += 26;
  const std::size_t columns = items.size() <= 40 ? 1 : 2;
  const std::size_t per_column = (items.size() + columns - 1) / columns;
  const double column_width = kBarWidth / double(columns);
  const auto max_chars = static_cast<std::size_t>((column_width - 24) / (kSmallFont * 0.6));
  for (std::size_t i = 0; i < items.size(); ++i) {
    const double cx = kMargin + column_width * double(i / per_column);
    const double cy = y + kListRow * double(i % per_column);
    std::string row = row_text(i + 1, items[i]);
    if (row.size() > max_chars) row = row.substr(0, max_chars - 3) + "...";
    body += rect("swatch", cx, cy - 9, 10, 10, paint(items[i].kinds), "/>\n");
    body += text("row", cx + 16, cy, row, " font-size=\"11\"");
  }
  const double height = y + kListRow * double(per_column) + kMargin;

  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
         "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" +
         num(kWidth) + "\" height=\"" + num(height) + "\" viewBox=\"0 0 " + num(kWidth) + " " +
         num(height) +
         "\" font-family=\"sans-serif\" font-size=\"12\">\n"
         "<rect class=\"background\" width=\"100%\" height=\"100%\" fill=\"#ffffff\"/>\n" +
         stripes(mixtures) + body + "</svg>\n";
}

}  // namespace rbtool
