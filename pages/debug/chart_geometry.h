#pragma once
// Geometry of the feedback strip chart as plain functions, and the picture they describe.
//
// Canvas units are 0.1 mm; the canvas is W x H of them with rows growing downward. Two
// axes share the canvas: the left one for position-type channels (value x position scale),
// the right one for the signed channels (value x 2 + 2000, so -1000..+1200 fit with 0 at
// internal 2000). The whole height is 4400 internal units, internal 0 sits 25 units above
// the bottom edge.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace chart {

constexpr int kChannelCount = 8;
constexpr int kBottomMargin = 25;
constexpr int kInternalRange = 4400;
constexpr int kSignedOffset = 2000;
constexpr int kSignedScale = 2;
constexpr int kMinZoom = 8;
constexpr int kMaxZoom = 64;
constexpr int kMaxShift = 2000;

// Channel bits in drawing order; the index of a channel is the position of its bit.
enum ChannelBit : uint32_t {
    kPositionBit = 0x01,
    kTorqueBit = 0x02,
    kSpeedBit = 0x04,
    kGoalBit = 0x08,
    kFastSlowBit = 0x10,
    kCurrentBit = 0x20,
    kVoltageBit = 0x40,
    kTemperatureBit = 0x80,
};
enum ChannelIndex : int {
    kPosition = 0,
    kTorque = 1,
    kSpeed = 2,
    kGoal = 3,
    kFastSlow = 4,
    kCurrent = 5,
    kVoltage = 6,
    kTemperature = 7,
};

struct Rgb {
    uint8_t r, g, b;
    bool operator==(const Rgb&) const = default;
};

// Colour of a channel (index 0..7).
Rgb ChannelColour(int channel);
// True for the channels read on the left axis (position and goal).
bool IsLeftAxis(int channel);

// Value kept for a page value v: v x scale (left axis) or v x 2 + 2000 (right axis), both
// wrapping modulo 65536 and read back as signed 16-bit.
int16_t StoredLeft(int v, int position_scale);
int16_t StoredRight(int v);
int16_t StoredValue(int channel, int v, int position_scale);

// Number of samples a channel keeps: W / 8 (0 for a canvas not yet sized).
int Capacity(int width);
// k: canvas units per internal unit (H / 4400).
float VerticalScale(int height);
// Label font size in tenths of a point: (int)(k x 1200).
int FontSize(float k);
// Height of the label font in canvas units (tenths of a point at 96 dots per inch, one dot
// per canvas unit, as an off-screen surface of the screen measures it); at least 1.
int FontPixelHeight(int font_size);
// Canvas row of internal value u: H - (int)(u x k) - 25.
int RowOf(int u, int height, float k);

// Axis readings of internal value c.
int LeftLabel(int c, int position_scale);
int RightLabel(int c);
// Distance of a right-axis label's left edge from the right edge.
int RightLabelOffset(int c);

// x of sample i (0 = newest): W + shift - i x zoom.
int SampleX(int index, int width, int zoom, int shift);
// Row of a limit line for limit value n: the row of internal n x 2 + 2000.
int LimitRow(int value, int height, float k);

struct Point {
    int x, y;
    bool operator==(const Point&) const = default;
};
struct Line {
    Point a, b;
};
struct Label {
    Point top_left;
    std::string text;
    // The grid-line end the label belongs to ((0, y) or (W, y)) and the label's top-left
    // corner relative to it. A view that stretches the canvas moves the anchor with the
    // canvas but keeps the offset, like the letters, at their size on screen.
    Point anchor;
    Point offset;
};
struct Polyline {
    int channel;
    Rgb colour;
    std::vector<Point> points;  // newest first
};

// Everything the chart shows, in canvas units: the view only strokes what is here.
struct Scene {
    int width = 0, height = 0;
    int font_size = 0;       // tenths of a point
    int font_height = 1;     // canvas units
    std::vector<Line> grid;  // black, dashed, 1 wide
    std::vector<Label> labels;
    std::vector<int> limit_rows;   // magenta, solid, 5 wide, full width
    std::vector<Polyline> curves;  // channel colour, solid, 3 wide
};

// Inputs of one picture: a consistent copy of the chart's state.
struct ChartState {
    int width = 0, height = 0;
    uint32_t channels = kPositionBit | kTorqueBit | kSpeedBit;
    int position_scale = 1;
    int zoom = kMinZoom;
    int shift = 0;
    std::array<int16_t, 4> limits{};                          // Up, Low, -Up, -Low
    std::array<std::vector<int16_t>, kChannelCount> samples;  // stored values, newest first
};

// Grid lines and labels, limit lines and curves for state; fills scene (reusing its storage).
void BuildScene(const ChartState& state, Scene& scene);

// Exploring the time axis. x is a canvas column, width the canvas width.
// Sample index (0 = newest, fractional between samples) drawn at column x.
double SampleIndexAt(double x, int width, int zoom, int shift);
// The shift that keeps the sample under column x where it is when the zoom changes from
// old_zoom to new_zoom, within 0..kMaxShift.
int ShiftForZoomAt(double x, int width, int old_zoom, int new_zoom, int shift);
// The largest shift that still shows samples: the oldest of `count` samples at the left
// edge, within 0..kMaxShift.
int PanLimit(int count, int width, int zoom);
// Axis reading of a stored value of channel (left axis: / position scale, right axis:
// (u - 2000) / 2).
int Reading(int channel, int stored, int position_scale);

}  // namespace chart
