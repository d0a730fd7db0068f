// The picture `recbase map` draws: a file's regions as one bar to a linear
// scale, with an offset axis, labels, a legend of the kinds and a numbered
// list of the regions, as SVG.
#pragma once

#include <string>

#include "layout.h"

namespace rbtool {

// The SVG document for the layout of a file, titled name. Its size stays
// within a few thousand pixels whatever the file holds: beyond a few
// hundred regions, neighbours are drawn as one group with a count.
std::string map_svg(const std::string& name, const rb::FileLayout& image);

}  // namespace rbtool
