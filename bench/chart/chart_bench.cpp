// Paint time of the strip chart with all eight channels full and limit lines on.
//
// Prints median and 99th percentile in ms for:
//   compose: state copy + scene + composing the frame image at the widget's size with device
//            pixel ratio 1 and 2;
//   repaint: the widget's whole paint (copy, scene, compose, show) through Qt's backing store,
//            at the process's scale factor (run with "--scale 2" for a HiDPI screen).
// Usage: chart_bench [--scale N] [--frames N]
#include <QApplication>
#include <QImage>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "pages/debug/chart_geometry.h"
#include "pages/debug/cpic.h"
#include "pages/debug/cpic_widget.h"
#include "platform/number_text.h"

namespace {

using Clock = std::chrono::steady_clock;

// CPU time of this thread in ms: on a loaded machine it shows the work itself, while the
// wall time also counts the waits for a core.
double ThreadCpuMs() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

struct Figures {
    double median, p99, max;
};

Figures Summarise(std::vector<double> ms) {
    std::sort(ms.begin(), ms.end());
    const auto at = [&](double q) {
        return ms[std::min(ms.size() - 1, static_cast<size_t>(q * (ms.size() - 1) + 0.5))];
    };
    return {at(0.5), at(0.99), ms.back()};
}

void Fill(CPIC& chart, int w, int h) {
    chart.InitCanvas(w, h);
    chart.SetChannels(0xFF);
    chart.SetPositionScale(4);
    chart.SetUpper(300);
    chart.SetLower(150);
    const int n = chart::Capacity(w) + 10;
    for (int i = 0; i < n; ++i) {
        const double t = i * 0.05;
        chart.AddSamples({static_cast<int>(512 + 400 * std::sin(t)),
                          static_cast<int>(300 * std::sin(t * 3)),
                          static_cast<int>(600 * std::cos(t * 2)),
                          static_cast<int>(512 + 400 * std::sin(t - 0.3)),
                          static_cast<int>(200 * std::sin(t * 5)),
                          static_cast<int>(150 * std::cos(t * 7)), 74 + (i % 5), 400 + (i % 20)});
    }
    for (int ch = 0; ch < chart::kChannelCount; ++ch) {
        if (chart.SampleCount(ch) != chart::Capacity(w)) std::fprintf(stderr, "list not full\n");
    }
}

void BenchCompose(QSize logical, double dpr, int frames) {
    // The widget's fixed canvas, stretched over the picture with letters at screen size.
    const QSize canvas(CpicWidget::kCanvasWidth, CpicWidget::kCanvasHeight);
    const qreal text_scale = 96 / 254.0 * dpr;
    CPIC chart;
    Fill(chart, canvas.width(), canvas.height());
    chart::ChartState st;
    chart::Scene scene;
    QImage frame(QSize(qRound(logical.width() * dpr), qRound(logical.height() * dpr)),
                 QImage::Format_ARGB32_Premultiplied);
    frame.setDevicePixelRatio(dpr);
    std::vector<double> ms, cpu;
    for (int i = 0; i < frames + 20; ++i) {
        const double c0 = ThreadCpuMs();
        const auto t0 = Clock::now();
        chart.Snapshot(st);
        chart::BuildScene(st, scene);
        CpicWidget::Compose(scene, frame, text_scale);
        const auto t1 = Clock::now();
        const double c1 = ThreadCpuMs();
        if (i >= 20) {
            ms.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
            cpu.push_back(c1 - c0);
        }
        chart.AddSamples({i, i, i, i, i, i, i, i});  // the chart rolls between frames
    }
    const Figures f = Summarise(ms);
    const Figures c = Summarise(cpu);
    std::printf(
        "compose %4dx%-4d dpr %.0f (%4dx%-4d px, canvas %4dx%-4d): wall median "
        "%6.3f p99 %6.3f ms | cpu median %6.3f p99 %6.3f ms\n",
        logical.width(), logical.height(), dpr, frame.width(), frame.height(), canvas.width(),
        canvas.height(), f.median, f.p99, c.median, c.p99);
}

void BenchRepaint(QSize logical, int frames) {
    CPIC chart;
    CpicWidget w(&chart);
    w.resize(logical);
    w.show();
    QApplication::processEvents();
    Fill(chart, CpicWidget::kCanvasWidth, CpicWidget::kCanvasHeight);
    std::vector<double> ms, cpu;
    for (int i = 0; i < frames + 20; ++i) {
        chart.AddSamples({i, i, i, i, i, i, i, i});
        const double c0 = ThreadCpuMs();
        const auto t0 = Clock::now();
        w.repaint();
        const auto t1 = Clock::now();
        const double c1 = ThreadCpuMs();
        if (i >= 20) {
            ms.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
            cpu.push_back(c1 - c0);
        }
    }
    const Figures f = Summarise(ms);
    const Figures c = Summarise(cpu);
    std::printf(
        "repaint %4dx%-4d dpr %.0f: wall median %6.3f p99 %6.3f ms | cpu median "
        "%6.3f p99 %6.3f ms\n",
        logical.width(), logical.height(), w.devicePixelRatioF(), f.median, f.p99, c.median, c.p99);
}

}  // namespace

int main(int argc, char** argv) {
    int frames = 300;
    const char* scale = "1";
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--scale") == 0)
            scale = argv[++i];
        else if (std::strcmp(argv[i], "--frames") == 0)
            frames = std::max(10, ParseInteger(argv[++i]).value_or(0));
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("QT_SCALE_FACTOR", scale);
    QApplication app(argc, argv);

    // The page's chart at its former minimum size, at a larger window and in a 1360x860
    // window.
    const QSize sizes[] = {QSize(420, 250), QSize(640, 380), QSize(900, 480)};
    for (QSize s : sizes)
        for (double dpr : {1.0, 2.0}) BenchCompose(s, dpr, frames);
    for (QSize s : sizes) BenchRepaint(s, frames);
    return 0;
}
