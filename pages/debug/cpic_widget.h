#pragma once
// The strip chart on screen. Each paint takes a copy of the chart's state, composes the whole
// picture off screen at the widget's device resolution and shows it in one step, so the
// window never shows a half-drawn chart. The canvas (W x H in 0.1 mm) fills the widget.
#include <QImage>
#include <QWidget>

#include "pages/debug/chart_geometry.h"

class CPIC;
class QPainter;

class CpicWidget : public QWidget {
    Q_OBJECT
  public:
    // Two ways of composing the canvas, measured by the chart benchmark.
    enum class Technique {
        ScaledPainter,  // draw straight at device resolution with a scaled, antialiased painter
        LargeImage,     // draw one pixel per 0.1 mm, then scale the image down smoothly
    };

    explicit CpicWidget(CPIC* chart, QWidget* parent = nullptr);
    ~CpicWidget() override;

    // Sizes the chart's canvas from the widget's size in 0.1 mm units and installs the redraw
    // request (a queued repaint, safe from the poll thread). Call once the widget has its
    // final size; it also runs on the first show if nobody called it.
    void InitCanvas();

    // How paints compose the canvas (the default is the faster one by measurement).
    void SetTechnique(Technique t) { technique_ = t; }

    // Canvas size in 0.1 mm for a widget of the given logical size and dots per inch.
    static QSize CanvasSizeFor(QSize logical, double dpi_x, double dpi_y);

    // Draws scene over the whole of target (its pixel size; tests and benchmark use it too).
    // scratch holds the large canvas of LargeImage between calls.
    static void Compose(const chart::Scene& scene, QImage& target, Technique technique,
                        QImage* scratch = nullptr);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    CPIC* chart_;
    bool initialised_ = false;
    Technique technique_ = Technique::ScaledPainter;
    chart::ChartState state_;
    chart::Scene scene_;
    QImage frame_;
    QImage scratch_;
};
