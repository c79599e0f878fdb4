#include "app/window_geometry.h"

#include <algorithm>

#include "platform/number_text.h"

namespace {

constexpr int kLargestSide = 100000;

bool Contains(const WindowRect& area, int x, int y) {
    return x >= area.x && y >= area.y && x < area.x + area.width && y < area.y + area.height;
}

// r moved and, when needed, shrunk so that it lies wholly on area.
WindowRect FitInto(WindowRect r, const WindowRect& area) {
    r.width = std::min(r.width, area.width);
    r.height = std::min(r.height, area.height);
    r.x = std::clamp(r.x, area.x, area.x + area.width - r.width);
    r.y = std::clamp(r.y, area.y, area.y + area.height - r.height);
    return r;
}

}  // namespace

std::string FormatWindowRect(const WindowRect& r) {
    return std::to_string(r.x) + ',' + std::to_string(r.y) + ',' + std::to_string(r.width) + ',' +
           std::to_string(r.height);
}

std::optional<WindowRect> ParseWindowRect(std::string_view text) {
    // Four integers separated by commas: a '-' may lead each, nothing else (no blanks, no '+').
    int fields[4] = {};
    for (int i = 0; i < 4; ++i) {
        const size_t comma = i < 3 ? text.find(',') : text.size();
        if (comma == std::string_view::npos) return std::nullopt;
        const auto field = ParseInteger(text.substr(0, comma));
        if (!field) return std::nullopt;
        fields[i] = *field;
        text.remove_prefix(i < 3 ? comma + 1 : comma);
    }
    const WindowRect r{fields[0], fields[1], fields[2], fields[3]};
    if (r.width < 1 || r.height < 1 || r.width > kLargestSide || r.height > kLargestSide ||
        r.x < -kLargestSide || r.x > kLargestSide || r.y < -kLargestSide || r.y > kLargestSide)
        return std::nullopt;
    return r;
}

WindowRect PlaceWindow(const std::optional<WindowRect>& saved,
                       const std::vector<WindowRect>& screens, int default_width,
                       int default_height) {
    if (saved) {
        const int grab_x = saved->x + saved->width / 2;
        for (const WindowRect& area : screens) {
            if (area.width > 0 && area.height > 0 && Contains(area, grab_x, saved->y))
                return FitInto(*saved, area);
        }
    }
    if (screens.empty() || screens.front().width <= 0 || screens.front().height <= 0)
        return {0, 0, default_width, default_height};
    const WindowRect& primary = screens.front();
    WindowRect r{0, 0, std::min(default_width, primary.width),
                 std::min(default_height, primary.height)};
    r.x = primary.x + (primary.width - r.width) / 2;
    r.y = primary.y + (primary.height - r.height) / 2;
    return r;
}
