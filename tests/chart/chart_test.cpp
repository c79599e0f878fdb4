// Strip chart: stored values, list capacity, grid and labels, limit lines, sample positions,
// and the lock shared by the poll thread and painting.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "pages/debug/chart_geometry.h"
#include "pages/debug/cpic.h"

using namespace chart;

namespace {

Scene SceneOf(const CPIC& c) {
    ChartState st;
    c.Snapshot(st);
    Scene s;
    BuildScene(st, s);
    return s;
}

std::vector<std::string> LabelTexts(const Scene& s, int column) {
    // Labels come in pairs per grid line: left (column 0) then right (column 1).
    std::vector<std::string> out;
    for (size_t i = column; i < s.labels.size(); i += 2) out.push_back(s.labels[i].text);
    return out;
}

}  // namespace

TEST(ChartStoredValues, SixteenBitArithmeticPerAxis) {
    // Temperature 40 is handed in as 400 and kept as 400 x 2 + 2000.
    EXPECT_EQ(StoredRight(400), 2800);
    EXPECT_EQ(RightLabel(2800), 400);
    // Position 1023 on a 4 divisor.
    EXPECT_EQ(StoredLeft(1023, 4), 4092);
    EXPECT_EQ(LeftLabel(4092, 4), 1023);
    EXPECT_EQ(StoredRight(-1000), 0);
    EXPECT_EQ(StoredRight(1200), 4400);
    // Products and sums wrap modulo 65536 and read back signed.
    EXPECT_EQ(StoredLeft(20000, 4), 14464);
    EXPECT_EQ(StoredLeft(-1, 3), -3);
    EXPECT_EQ(StoredRight(20000), -23536);
    EXPECT_EQ(StoredRight(-20000), 27536);

    CPIC c;
    c.InitCanvas(800, 4400);
    c.SetPositionScale(4);
    c.AddSamples({1023, 100, -50, 1000, 7, -3, 74, 400});
    ChartState st;
    c.Snapshot(st);
    const std::vector<int16_t> expected = {4092, 2200, 1900, 4000, 2014, 1994, 2148, 2800};
    for (int ch = 0; ch < kChannelCount; ++ch) {
        ASSERT_EQ(st.samples[ch].size(), 1u) << ch;
        EXPECT_EQ(st.samples[ch][0], expected[ch]) << ch;
    }
    // A new scale applies to later samples only; values stored earlier keep theirs.
    c.SetPositionScale(1);
    c.AddPosition(1023);
    c.Snapshot(st);
    EXPECT_EQ(st.samples[kPosition][0], 1023);
    EXPECT_EQ(st.samples[kPosition][1], 4092);
    // A divisor of 0 would break the left labels; it counts as 1.
    c.SetPositionScale(0);
    c.AddPosition(7);
    c.Snapshot(st);
    EXPECT_EQ(st.samples[kPosition][0], 7);
    EXPECT_EQ(st.position_scale, 1);
}

TEST(ChartLists, HoldWidthOverEightAndDropTheOldest) {
    CPIC c;
    c.InitCanvas(807, 1000);  // 807 / 8 = 100
    for (int i = 0; i < 100; ++i) c.AddTorque(i);
    EXPECT_EQ(c.SampleCount(kTorque), 100);
    for (int i = 100; i < 135; ++i) c.AddTorque(i);
    EXPECT_EQ(c.SampleCount(kTorque), 100);
    EXPECT_EQ(c.SampleCount(kSpeed), 0);
    ChartState st;
    c.Snapshot(st);
    ASSERT_EQ(st.samples[kTorque].size(), 100u);
    EXPECT_EQ(st.samples[kTorque].front(), 2268);  // newest first (torque 134)
    EXPECT_EQ(st.samples[kTorque].back(), 2070);   // oldest kept (torque 35)

    // A smaller canvas keeps the newest that fit.
    c.InitCanvas(80, 1000);
    c.Snapshot(st);
    ASSERT_EQ(st.samples[kTorque].size(), 10u);
    EXPECT_EQ(st.samples[kTorque].front(), 2268);
    EXPECT_EQ(st.samples[kTorque].back(), 2250);

    // Before the canvas exists there is no room, and adding is harmless.
    CPIC none;
    none.AddSamples({1, 2, 3, 4, 5, 6, 7, 8});
    EXPECT_EQ(none.SampleCount(kPosition), 0);
    EXPECT_TRUE(SceneOf(none).curves.empty());
}

TEST(ChartCurves, SamplePositionsWithZoomAndShift) {
    CPIC c;
    c.InitCanvas(800, 4400);  // k = 1, 100 samples
    c.SetChannels(kPositionBit);
    for (int i = 0; i < 150; ++i) c.AddPosition(1000 + i);

    Scene s = SceneOf(c);
    ASSERT_EQ(s.curves.size(), 1u);
    const auto& pts = s.curves[0].points;
    ASSERT_EQ(pts.size(), 100u);
    // Newest at the right edge, a full list's oldest at W - 8 x (W / 8 - 1).
    EXPECT_EQ(pts.front(), (Point{800, 4400 - 1149 - 25}));
    EXPECT_EQ(pts[1], (Point{792, 4400 - 1148 - 25}));
    EXPECT_EQ(pts.back(), (Point{8, 4400 - 1050 - 25}));
    EXPECT_EQ(s.curves[0].colour, (Rgb{0, 0, 0}));

    c.SetShift(200);
    s = SceneOf(c);
    EXPECT_EQ(s.curves[0].points.front().x, 1000);
    EXPECT_EQ(s.curves[0].points[25].x, 800);  // the 25 newest samples are off the canvas
    EXPECT_EQ(s.curves[0].points.back().x, 208);

    c.SetShift(0);
    c.SetZoom(64);
    s = SceneOf(c);
    EXPECT_EQ(s.curves[0].points.front().x, 800);
    EXPECT_EQ(s.curves[0].points.back().x, 800 - 64 * 99);

    // Trackbar ranges bound the setters.
    c.SetZoom(0);
    c.SetShift(-5);
    ChartState st;
    c.Snapshot(st);
    EXPECT_EQ(st.zoom, 8);
    EXPECT_EQ(st.shift, 0);
}

TEST(ChartCurves, WideCanvasAtFullZoomKeepsOrderWithoutWrapping) {
    // At zoom 64 the oldest sample of a 600 mm chart lies far left of the canvas; its x must
    // keep falling rather than wrap round to the right.
    CPIC c;
    c.InitCanvas(6000, 2000);
    c.SetZoom(64);
    c.SetShift(2000);
    for (int i = 0; i < 750; ++i) c.AddSpeed(i);
    const Scene s = SceneOf(c);
    ASSERT_EQ(s.curves.size(), 1u);
    const auto& pts = s.curves[0].points;
    ASSERT_EQ(pts.size(), 750u);
    EXPECT_EQ(pts.front().x, 8000);
    EXPECT_EQ(pts.back().x, 8000 - 64 * 749);
    for (size_t i = 1; i < pts.size(); ++i) ASSERT_LT(pts[i].x, pts[i - 1].x) << i;
}

TEST(ChartCurves, OnlyChannelsThatAreSetAndHaveSamplesDraw) {
    CPIC c;
    c.InitCanvas(400, 880);
    c.SetChannels(0xFF);
    EXPECT_TRUE(SceneOf(c).curves.empty());  // every channel set, none has samples

    c.AddCurrent(10);
    c.AddCurrent(20);
    c.AddVoltage(74);
    Scene s = SceneOf(c);
    ASSERT_EQ(s.curves.size(), 2u);
    EXPECT_EQ(s.curves[0].channel, kCurrent);
    EXPECT_EQ(s.curves[0].colour, (Rgb{0, 255, 255}));
    EXPECT_EQ(s.curves[1].channel, kVoltage);
    EXPECT_EQ(s.curves[1].colour, (Rgb{128, 0, 128}));

    c.SetChannel(kCurrentBit, false);
    s = SceneOf(c);
    ASSERT_EQ(s.curves.size(), 1u);
    EXPECT_EQ(s.curves[0].channel, kVoltage);
    EXPECT_EQ(c.Channels(), 0xDFu);
    c.SetChannels(0);
    EXPECT_TRUE(SceneOf(c).curves.empty());
}

TEST(ChartGrid, LinesAndLabelsOfBothAxes) {
    CPIC c;
    c.InitCanvas(800, 4400);  // k = 1: a grid line every 400 units
    c.SetPositionScale(4);
    const Scene s = SceneOf(c);
    EXPECT_EQ(s.font_size, 1200);
    EXPECT_EQ(s.font_height, 160);

    EXPECT_EQ(LabelTexts(s, 0), (std::vector<std::string>{"0", "100", "200", "300", "400", "500",
                                                          "600", "700", "800", "900", "1000"}));
    EXPECT_EQ(LabelTexts(s, 1),
              (std::vector<std::string>{"-1000", "-800", "-600", "-400", "-200", "0", "200", "400",
                                        "600", "800", "1000"}));
    // Bottom line 25 above the edge; labels 40 above their line; right labels by offset.
    ASSERT_GE(s.grid.size(), 11u);
    EXPECT_EQ(s.grid[0].a, (Point{0, 4375}));
    EXPECT_EQ(s.grid[0].b, (Point{800, 4375}));
    EXPECT_EQ(s.grid[10].a, (Point{0, 375}));
    EXPECT_EQ(s.labels[0].top_left, (Point{0, 4335}));
    EXPECT_EQ(s.labels[1].top_left, (Point{720, 4335}));  // c = 0
    EXPECT_EQ(s.labels[5].top_left, (Point{730, 3535}));  // c = 800
    EXPECT_EQ(s.labels[7].top_left, (Point{725, 3135}));  // c = 1200
    EXPECT_EQ(RightLabelOffset(499), 80);
    EXPECT_EQ(RightLabelOffset(500), 50);
    EXPECT_EQ(RightLabelOffset(501), 70);
    EXPECT_EQ(RightLabelOffset(1000), 75);

    // Vertical lines every 10 x zoom from the right edge: 800, 720, ..., 80.
    ASSERT_EQ(s.grid.size(), 11u + 10u);
    EXPECT_EQ(s.grid[11].a, (Point{800, 0}));
    EXPECT_EQ(s.grid[11].b, (Point{800, 4400}));
    EXPECT_EQ(s.grid[20].a, (Point{80, 0}));
}

TEST(ChartGrid, DegenerateCanvasSizes) {
    // A canvas too low for one grid step (it truncates to 0) draws the bottom line only
    // instead of looping forever.
    CPIC c;
    c.InitCanvas(100, 10);
    Scene s = SceneOf(c);
    EXPECT_EQ(LabelTexts(s, 0), (std::vector<std::string>{"0"}));
    EXPECT_EQ(s.font_height, 1);

    c.InitCanvas(0, 0);
    s = SceneOf(c);
    EXPECT_TRUE(s.grid.empty());
    EXPECT_TRUE(s.curves.empty());
}

TEST(ChartLimits, UpAndLowDrawMirroredLinesWhileNonZero) {
    CPIC c;
    c.InitCanvas(800, 4400);
    EXPECT_TRUE(SceneOf(c).limit_rows.empty());
    c.SetUpper(100);  // internal 2200 and 1800
    EXPECT_EQ(SceneOf(c).limit_rows, (std::vector<int>{4400 - 2200 - 25, 4400 - 1800 - 25}));
    c.SetLower(-50);  // order: Up, Low, -Up, -Low
    EXPECT_EQ(SceneOf(c).limit_rows,
              (std::vector<int>{2175, 4400 - 1900 - 25, 2575, 4400 - 2100 - 25}));
    c.SetUpper(0);
    EXPECT_EQ(SceneOf(c).limit_rows, (std::vector<int>{2475, 2275}));
    c.SetLower(0);
    EXPECT_TRUE(SceneOf(c).limit_rows.empty());
    // 65536 is 0 in 16 bits: no line.
    c.SetUpper(65536);
    EXPECT_TRUE(SceneOf(c).limit_rows.empty());
}

TEST(ChartConcurrency, PaintingNeverSeesHalfATick) {
    // The poll thread adds all eight channels per tick; every copy taken meanwhile must hold
    // the same tick in every channel.
    CPIC c;
    c.InitCanvas(400, 880);
    std::atomic<bool> done{false};
    std::thread poll([&] {
        for (int t = 0; t < 20000; ++t)
            c.AddSamples({t % 500, t % 500, t % 500, t % 500, t % 500, t % 500, t % 500, t % 500});
        done = true;
    });
    ChartState st;
    Scene s;
    int checked = 0;
    while (!done || checked == 0) {
        c.Snapshot(st);
        BuildScene(st, s);
        const size_t n = st.samples[0].size();
        for (int ch = 1; ch < kChannelCount; ++ch) ASSERT_EQ(st.samples[ch].size(), n);
        if (n > 0) {
            const int v = st.samples[kPosition][0];
            ASSERT_EQ(st.samples[kTemperature][0], v * 2 + 2000);
            ASSERT_EQ(st.samples[kGoal][0], v);
        }
        ++checked;
    }
    poll.join();
    EXPECT_EQ(c.SampleCount(kCurrent), 50);
}
