#include "visualizer/OverlayStacking.h"

#include <algorithm>

namespace sonavista {

OverlayStacking OverlayStacking::plan(const std::vector<unsigned long>& bottomToTop, unsigned long overlay,
                                      const std::set<unsigned long>& managed, const std::set<unsigned long>& desktop,
                                      OverlayWindowLevel level) {
    const auto self = std::find(bottomToTop.begin(), bottomToTop.end(), overlay);
    if (self == bottomToTop.end()) return {};
    const bool floating = level == OverlayWindowLevel::floating;
    const std::set<unsigned long>& anchors = floating ? managed : desktop;
    const auto anchor = std::find_if(bottomToTop.rbegin(), bottomToTop.rend(),
                                     [&](unsigned long window) { return anchors.count(window) > 0; });
    if (anchor == bottomToTop.rend()) {
        if (floating) return self + 1 == bottomToTop.end() ? OverlayStacking{} : OverlayStacking{Move::top};
        return self == bottomToTop.begin() ? OverlayStacking{} : OverlayStacking{Move::bottom};
    }
    // In place: above the anchor with no managed window in between.
    const auto anchorAt = anchor.base() - 1;
    const bool inPlace = self > anchorAt && std::none_of(anchorAt + 1, self, [&](unsigned long window) {
                             return managed.count(window) > 0;
                         });
    return inPlace ? OverlayStacking{} : OverlayStacking{Move::aboveSibling, *anchorAt};
}

}  // namespace sonavista
