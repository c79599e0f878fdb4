// The chart on the offscreen platform: what reaches the pixels.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QEvent>
#include <QImage>
#include <QTest>
#include <QWheelEvent>
#include <fstream>
#include <thread>

#include "pages/debug/chart_geometry.h"
#include "pages/debug/cpic.h"
#include "pages/debug/cpic_widget.h"
#include "tests/support/test_folder.h"

namespace {

QImage Render(CpicWidget& w) {
    QApplication::processEvents();
    return w.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

bool IsRed(QRgb p) { return qRed(p) > 150 && qGreen(p) < 120 && qBlue(p) < 120; }
bool IsMagenta(QRgb p) { return qRed(p) > 150 && qBlue(p) > 150 && qGreen(p) < 120; }

int CountPixels(const QImage& img, bool (*match)(QRgb)) {
    int n = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) n += match(img.pixel(x, y)) ? 1 : 0;
    return n;
}

// Rows of the image where column x holds a matching pixel.
std::vector<int> RowsAt(const QImage& img, int x, bool (*match)(QRgb)) {
    std::vector<int> rows;
    for (int y = 0; y < img.height(); ++y)
        if (match(img.pixel(x, y))) rows.push_back(y);
    return rows;
}

class ChartWidget : public ::testing::Test {
  protected:
    void SetUp() override {
        widget_ = std::make_unique<CpicWidget>(&chart_);
        widget_->resize(400, 200);
        widget_->InitCanvas();
    }
    // Screen row of internal value u on a widget of 200 rows.
    double ScreenRow(int u) const {
        const int h = chart_.Height();
        return chart::RowOf(u, h, chart::VerticalScale(h)) * 200.0 / h;
    }
    CPIC chart_;
    std::unique_ptr<CpicWidget> widget_;
};

TEST_F(ChartWidget, CanvasKeepsItsSizeWhateverTheWidget) {
    EXPECT_EQ(chart_.Width(), 1307);
    EXPECT_EQ(chart_.Height(), 674);
    widget_->resize(900, 500);
    Render(*widget_);
    EXPECT_EQ(chart_.Width(), 1307);
    EXPECT_EQ(chart_.Height(), 674);
}

// Black pixels inside a rectangle of the picture.
int InkIn(const QImage& img, const QRectF& r) {
    int n = 0;
    for (int y = int(r.top()); y < int(r.bottom()); ++y)
        for (int x = int(r.left()); x < int(r.right()); ++x) n += qGray(img.pixel(x, y)) < 100;
    return n;
}

TEST_F(ChartWidget, ScaleLabelsKeepTheirSizeAndStayWholeAtAnySize) {
    chart::ChartState st;
    chart_.Snapshot(st);
    chart::Scene scene;
    chart::BuildScene(st, scene);
    // The right axis's labels at the bottom and top lines.
    size_t bottom = 0, top = 0;
    for (size_t i = 0; i < scene.labels.size(); ++i) {
        if (scene.labels[i].text == "-1000") bottom = i;
        if (scene.labels[i].text == "1000") top = i;
    }
    ASSERT_GT(top, bottom);
    const qreal text_scale = 96 / 254.0;
    QImage small(494, 255, QImage::Format_RGB32);  // the chart in a 980 x 620 window
    QImage large(988, 510, QImage::Format_RGB32);
    CpicWidget::Compose(scene, small, text_scale);
    CpicWidget::Compose(scene, large, text_scale);
    const auto a = CpicWidget::LabelRects(scene, QSizeF(small.size()), text_scale);
    const auto b = CpicWidget::LabelRects(scene, QSizeF(large.size()), text_scale);
    for (size_t i : {bottom, top}) {
        // Same box and the same ink at both sizes, wholly inside the picture, right-aligned
        // within the last 40 pixels.
        EXPECT_EQ(a[i].size(), b[i].size()) << i;
        EXPECT_LE(a[i].right(), 494);
        EXPECT_LE(b[i].right(), 988);
        EXPECT_GT(a[i].left(), 494 - 40);
        EXPECT_GT(b[i].left(), 988 - 40);
        const int ink_small = InkIn(small, a[i]);
        EXPECT_GT(ink_small, 20);
        EXPECT_NEAR(InkIn(large, b[i]), ink_small, ink_small / 5) << i;
    }
    // The grid lines (and the curves on them) spread with the picture: "-1000" sits on the
    // bottom line, twice as far down on the large one.
    EXPECT_NEAR(b[bottom].bottom(), 2 * a[bottom].bottom(), a[bottom].height() + 2);
}

TEST_F(ChartWidget, ChannelsWithoutSamplesDrawNothing) {
    chart_.SetChannels(0);
    const QImage empty = Render(*widget_);
    chart_.SetChannels(0xFF);
    const QImage all_set = Render(*widget_);
    EXPECT_TRUE(empty == all_set);
    EXPECT_EQ(CountPixels(all_set, IsRed), 0);

    // The same channels with samples do draw: a flat torque of 100 (internal 2200).
    for (int i = 0; i < 400; ++i) chart_.AddTorque(100);
    const QImage drawn = Render(*widget_);
    EXPECT_FALSE(empty == drawn);
    const std::vector<int> rows = RowsAt(drawn, 200, IsRed);
    ASSERT_FALSE(rows.empty());
    EXPECT_NEAR(rows.front(), ScreenRow(2200), 2.0);
    EXPECT_NEAR(rows.back(), ScreenRow(2200), 2.0);
}

TEST_F(ChartWidget, LimitLinesShowWhileSet) {
    EXPECT_EQ(CountPixels(Render(*widget_), IsMagenta), 0);
    chart_.SetUpper(500);  // internal 3000 and 1000
    const QImage with = Render(*widget_);
    const std::vector<int> rows = RowsAt(with, 100, IsMagenta);
    ASSERT_FALSE(rows.empty());
    EXPECT_NEAR(rows.front(), ScreenRow(3000), 2.0);
    EXPECT_NEAR(rows.back(), ScreenRow(1000), 2.0);
    chart_.SetUpper(0);
    EXPECT_EQ(CountPixels(Render(*widget_), IsMagenta), 0);
}

TEST_F(ChartWidget, ComposedPicturePlacesTheCurve) {
    for (int i = 0; i < 400; ++i) chart_.AddTorque(-300);  // internal 1400
    chart::ChartState st;
    chart_.Snapshot(st);
    chart::Scene scene;
    chart::BuildScene(st, scene);
    QImage img(400, 200, QImage::Format_RGB32);
    CpicWidget::Compose(scene, img);
    // An antialiased line between two pixel rows may be pale in a column; take the first
    // strong column near the middle.
    std::vector<int> rows;
    for (int x = 240; x < 260 && rows.empty(); ++x) rows = RowsAt(img, x, IsRed);
    ASSERT_FALSE(rows.empty());
    EXPECT_NEAR(rows.front(), ScreenRow(1400), 2.0);
    EXPECT_NEAR(rows.back(), ScreenRow(1400), 2.0);
}

TEST_F(ChartWidget, WheelDragAndDoubleClickExploreTheTimeAxis) {
    widget_->resize(494, 255);
    widget_->show();
    for (int v = 0; v < 163; ++v) chart_.AddTorque(v);  // full: 1307 / 8 samples, newest 162
    std::vector<std::pair<int, int>> announced;
    QObject::connect(widget_.get(), &CpicWidget::ViewRequested, [&](int zoom, int shift) {
        announced.push_back({zoom, shift});
    });

    // Under the pointer in the middle: sample 82 from the newest, torque 80.
    EXPECT_EQ(widget_->HoverText(247).toStdString(), "Torque: 80");
    chart_.SetChannels(chart::kPositionBit);
    EXPECT_EQ(widget_->HoverText(247).toStdString(), "");
    chart_.SetChannels(chart::kTorqueBit);

    // One notch in: zoom 8 -> 10 and the sample under the pointer stays there.
    QWheelEvent wheel(QPointF(247, 100), widget_->mapToGlobal(QPointF(247, 100)), QPoint(),
                      QPoint(0, 120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(widget_.get(), &wheel);
    ASSERT_EQ(announced.size(), 1u);
    EXPECT_EQ(announced.back(), std::make_pair(10, 163));
    EXPECT_EQ(widget_->HoverText(247).toStdString(), "Torque: 80");

    // Dragging 50 pixels left pans towards the newest samples; far right stops where the
    // oldest sample reaches the left edge (162 x 10 - 1307).
    QTest::mousePress(widget_.get(), Qt::LeftButton, {}, QPoint(300, 100));
    QTest::mouseMove(widget_.get(), QPoint(250, 100));
    EXPECT_EQ(announced.back(), std::make_pair(10, 31));
    QTest::mouseMove(widget_.get(), QPoint(490, 100));
    EXPECT_EQ(announced.back(), std::make_pair(10, 313));
    QTest::mouseRelease(widget_.get(), Qt::LeftButton, {}, QPoint(490, 100));

    // A double-click follows the newest samples again.
    QTest::mouseDClick(widget_.get(), Qt::LeftButton, {}, QPoint(100, 100));
    EXPECT_EQ(announced.back(), std::make_pair(10, 0));
    chart::ChartState st;
    chart_.Snapshot(st);
    EXPECT_EQ(st.zoom, 10);
    EXPECT_EQ(st.shift, 0);
}

TEST_F(ChartWidget, SaveImageWritesThePictureAsShown) {
    widget_->resize(300, 160);
    for (int i = 0; i < 200; ++i) chart_.AddTorque(i % 50 * 10);
    const TestFolder folder;
    const std::string path = folder.path() + "/chart.png";
    ASSERT_TRUE(widget_->SaveImage(QString::fromStdString(path)));
    std::ifstream f(path, std::ios::binary);
    char magic[8] = {};
    f.read(magic, 8);
    EXPECT_EQ(std::string(magic, 8), std::string("\x89PNG\r\n\x1a\n", 8));
    const QImage saved(QString::fromStdString(path));
    EXPECT_EQ(saved.size(), QSize(300, 160) * widget_->devicePixelRatio());
    EXPECT_TRUE(saved.convertToFormat(QImage::Format_RGB32) == Render(*widget_));
    EXPECT_FALSE(widget_->SaveImage(QStringLiteral("/nonexistent-folder/chart.png")));
}

class PaintCounter : public QObject {
  public:
    int paints = 0;
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint) ++paints;
        return false;
    }
};

TEST_F(ChartWidget, RedrawFromThePollThreadSchedulesAPaint) {
    PaintCounter counter;
    widget_->installEventFilter(&counter);
    widget_->show();
    for (int i = 0; i < 5; ++i) QApplication::processEvents();
    counter.paints = 0;

    std::thread poll([this] {
        for (int i = 0; i < 200; ++i) {
            chart_.AddSamples({i, i, i, i, i, i, i, i});
            chart_.Redraw();
        }
    });
    poll.join();
    for (int i = 0; i < 5; ++i) QApplication::processEvents();
    EXPECT_GE(counter.paints, 1);
    EXPECT_EQ(chart_.SampleCount(chart::kPosition), chart::Capacity(chart_.Width()));

    // Once the widget is gone a redraw request reaches nobody.
    widget_.reset();
    chart_.Redraw();
    QApplication::processEvents();
}

}  // namespace
