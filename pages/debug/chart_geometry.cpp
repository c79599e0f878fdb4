#include "pages/debug/chart_geometry.h"

#include <algorithm>
#include <cmath>
#include <string>

namespace chart {

namespace {

constexpr Rgb kColours[kChannelCount] = {
    {0, 0, 0},      // position
    {255, 0, 0},    // torque
    {0, 255, 0},    // speed
    {0, 0, 255},    // goal
    {255, 255, 0},  // fast/slow speed
    {0, 255, 255},  // current
    {128, 0, 128},  // voltage
    {128, 128, 0},  // temperature
};

constexpr int kGridStep = 400;   // internal units between horizontal grid lines
constexpr int kLabelRaise = 40;  // label top above its grid line
constexpr int kLimitCount = 4;

int16_t Wrap16(uint32_t v) { return static_cast<int16_t>(static_cast<uint16_t>(v & 0xFFFFu)); }

}  // namespace

Rgb ChannelColour(int channel) {
    return channel >= 0 && channel < kChannelCount ? kColours[channel] : Rgb{0, 0, 0};
}

bool IsLeftAxis(int channel) { return channel == kPosition || channel == kGoal; }

// The arithmetic is done unsigned so that the wrap modulo 65536 is defined behaviour.
int16_t StoredLeft(int v, int position_scale) {
    return Wrap16(static_cast<uint32_t>(v) * static_cast<uint32_t>(position_scale));
}

int16_t StoredRight(int v) {
    return Wrap16(static_cast<uint32_t>(v) * static_cast<uint32_t>(kSignedScale) +
                  static_cast<uint32_t>(kSignedOffset));
}

int16_t StoredValue(int channel, int v, int position_scale) {
    return IsLeftAxis(channel) ? StoredLeft(v, position_scale) : StoredRight(v);
}

int Capacity(int width) { return width > 0 ? width / 8 : 0; }

float VerticalScale(int height) {
    return static_cast<float>(height) / static_cast<float>(kInternalRange);
}

int FontSize(float k) { return static_cast<int>(k * 300 * 4); }

int FontPixelHeight(int font_size) {
    const int h = font_size * 96 / 720;
    return h > 0 ? h : 1;
}

int RowOf(int u, int height, float k) {
    return height - static_cast<int>(static_cast<float>(u) * k) - kBottomMargin;
}

int LeftLabel(int c, int position_scale) {
    // The page never sets a scale below 1; a zero here would be a division by zero.
    return position_scale != 0 ? c / position_scale : c;
}

int RightLabel(int c) { return (c - kSignedOffset) / kSignedScale; }

int RightLabelOffset(int c) {
    if (c < 500) return 80;
    if (c == 500) return 50;
    if (c < 1000) return 70;
    return 75;
}

// Plain int arithmetic: the sample furthest left can lie several canvas widths away at
// zoom 64, and a 16-bit wrap there would throw its line back across the canvas.
int SampleX(int index, int width, int zoom, int shift) { return width + shift - index * zoom; }

int LimitRow(int value, int height, float k) {
    return height - static_cast<int>(static_cast<float>(value * kSignedScale + kSignedOffset) * k) -
           kBottomMargin;
}

void BuildScene(const ChartState& st, Scene& scene) {
    const int w = st.width;
    const int h = st.height;
    const float k = VerticalScale(h);
    scene.width = w;
    scene.height = h;
    scene.font_size = FontSize(k);
    scene.font_height = FontPixelHeight(scene.font_size);
    scene.grid.clear();
    scene.labels.clear();
    scene.limit_rows.clear();

    // Horizontal grid lines with their labels. A canvas too low for one grid step (the
    // step truncates to 0) gets only the bottom line instead of looping forever.
    const int grid_step = static_cast<int>(k * kGridStep);
    for (int d = 0, c = 0; d < h; d += grid_step, c += kGridStep) {
        const int y = h - kBottomMargin - d;
        scene.grid.push_back({{0, y}, {w, y}});
        scene.labels.push_back({{0, y - kLabelRaise},
                                std::to_string(LeftLabel(c, st.position_scale)),
                                {0, y},
                                {0, -kLabelRaise}});
        scene.labels.push_back({{w - RightLabelOffset(c), y - kLabelRaise},
                                std::to_string(RightLabel(c)),
                                {w, y},
                                {-RightLabelOffset(c), -kLabelRaise}});
        if (grid_step <= 0) break;
    }
    // Vertical grid lines from the right edge, one every ten sample steps.
    const int x_step = st.zoom * 10;
    for (int x = 0; x < w; x += x_step) {
        scene.grid.push_back({{w - x, 0}, {w - x, h}});
        if (x_step <= 0) break;
    }

    for (int i = 0; i < kLimitCount; ++i) {
        if (st.limits[i] != 0) scene.limit_rows.push_back(LimitRow(st.limits[i], h, k));
    }

    // Curves, reusing the point storage of the previous picture.
    size_t used = 0;
    for (int ch = 0; ch < kChannelCount; ++ch) {
        const auto& values = st.samples[ch];
        if (!(st.channels & (1u << ch)) || values.empty()) continue;
        if (scene.curves.size() <= used) scene.curves.emplace_back();
        Polyline& line = scene.curves[used++];
        line.channel = ch;
        line.colour = ChannelColour(ch);
        line.points.resize(values.size());
        for (size_t i = 0; i < values.size(); ++i) {
            line.points[i] = {SampleX(static_cast<int>(i), w, st.zoom, st.shift),
                              RowOf(values[i], h, k)};
        }
    }
    scene.curves.resize(used);
}

double SampleIndexAt(double x, int width, int zoom, int shift) {
    return zoom > 0 ? (width + shift - x) / zoom : 0;
}

int ShiftForZoomAt(double x, int width, int old_zoom, int new_zoom, int shift) {
    const double index = SampleIndexAt(x, width, old_zoom, shift);
    const double moved = x - width + index * new_zoom;
    return std::clamp(static_cast<int>(std::lround(moved)), 0, kMaxShift);
}

int PanLimit(int count, int width, int zoom) {
    const long span = static_cast<long>(count > 0 ? count - 1 : 0) * zoom - width;
    return static_cast<int>(std::clamp<long>(span, 0, kMaxShift));
}

int Reading(int channel, int stored, int position_scale) {
    return IsLeftAxis(channel) ? LeftLabel(stored, position_scale) : RightLabel(stored);
}

}  // namespace chart
