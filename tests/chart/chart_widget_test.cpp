// The chart on the offscreen platform: what reaches the pixels.
#include <gtest/gtest.h>

#include <QApplication>
#include <QEvent>
#include <QImage>
#include <thread>

#include "pages/debug/chart_geometry.h"
#include "pages/debug/cpic.h"
#include "pages/debug/cpic_widget.h"

namespace {

// One application for the whole run, torn down after the last test so that the font
// database is released before the leak check.
class QtEnvironment : public ::testing::Environment {
  public:
    QApplication* app() {
        if (!app_) app_ = new QApplication(argc_, argv_);
        return app_;
    }
    void TearDown() override {
        delete app_;
        app_ = nullptr;
    }

  private:
    int argc_ = 1;
    char name_[19] = "chart_widget_tests";
    char* argv_[2] = {name_, nullptr};
    QApplication* app_ = nullptr;
};

QtEnvironment* const g_env =
    static_cast<QtEnvironment*>(::testing::AddGlobalTestEnvironment(new QtEnvironment));

QApplication* App() { return g_env->app(); }

QImage Render(CpicWidget& w) {
    App()->processEvents();
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
        App();
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

TEST_F(ChartWidget, CanvasIsTheWidgetInTenthsOfMillimetres) {
    EXPECT_EQ(CpicWidget::CanvasSizeFor(QSize(400, 200), 96, 96), QSize(1058, 529));
    EXPECT_EQ(CpicWidget::CanvasSizeFor(QSize(254, 127), 127, 127), QSize(508, 254));
    const QSize expected =
        CpicWidget::CanvasSizeFor(QSize(400, 200), widget_->logicalDpiX(), widget_->logicalDpiY());
    EXPECT_EQ(chart_.Width(), expected.width());
    EXPECT_EQ(chart_.Height(), expected.height());
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

TEST_F(ChartWidget, BothCompositionsPlaceTheCurveAlike) {
    for (int i = 0; i < 400; ++i) chart_.AddTorque(-300);  // internal 1400
    chart::ChartState st;
    chart_.Snapshot(st);
    chart::Scene scene;
    chart::BuildScene(st, scene);
    std::vector<CpicWidget::Technique> techniques = {CpicWidget::Technique::ScaledPainter};
#if !defined(__SANITIZE_THREAD__)
    // The smooth downscale runs on Qt's own worker threads, whose (uninstrumented) locking the
    // thread sanitizer cannot see; the view itself uses the scaled painter.
    techniques.push_back(CpicWidget::Technique::LargeImage);
#endif
    for (auto t : techniques) {
        QImage img(400, 200, QImage::Format_RGB32);
        CpicWidget::Compose(scene, img, t);
        const std::vector<int> rows = RowsAt(img, 250, IsRed);
        ASSERT_FALSE(rows.empty()) << static_cast<int>(t);
        EXPECT_NEAR(rows.front(), ScreenRow(1400), 2.0);
        EXPECT_NEAR(rows.back(), ScreenRow(1400), 2.0);
    }
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
    for (int i = 0; i < 5; ++i) App()->processEvents();
    counter.paints = 0;

    std::thread poll([this] {
        for (int i = 0; i < 200; ++i) {
            chart_.AddSamples({i, i, i, i, i, i, i, i});
            chart_.Redraw();
        }
    });
    poll.join();
    for (int i = 0; i < 5; ++i) App()->processEvents();
    EXPECT_GE(counter.paints, 1);
    EXPECT_EQ(chart_.SampleCount(chart::kPosition), chart::Capacity(chart_.Width()));

    // Once the widget is gone a redraw request reaches nobody.
    widget_.reset();
    chart_.Redraw();
    App()->processEvents();
}

}  // namespace
