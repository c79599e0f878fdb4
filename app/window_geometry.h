#pragma once
// Where the main window opens: the size and position it had when it was last closed, kept
// as one settings value, or the default size on the first screen when the screens of today
// no longer hold the saved place.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct WindowRect {
    int x = 0, y = 0, width = 0, height = 0;
    bool operator==(const WindowRect&) const = default;
};

// Name of the settings value.
inline constexpr const char* kWindowGeometryKey = "windowGeometry";

// "x,y,width,height" in decimal.
std::string FormatWindowRect(const WindowRect& r);
// The inverse; nothing for any other text (missing or extra fields, sizes below 1 or above 100000,
// numbers out of range).
std::optional<WindowRect> ParseWindowRect(std::string_view text);

// The rectangle to open at. `screens` are the available areas of the screens, the first the
// primary one. A saved rectangle is used when one screen holds the middle of its top edge
// (where the title bar is grabbed); it is moved, and shrunk when larger, so that it lies
// wholly on that screen. Otherwise the
// default size, no larger than the primary screen, centred on it.
WindowRect PlaceWindow(const std::optional<WindowRect>& saved,
                       const std::vector<WindowRect>& screens, int default_width,
                       int default_height);
