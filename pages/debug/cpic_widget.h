#pragma once
// The strip chart on screen. Each paint takes a copy of the chart's state, composes the whole
// picture off screen at the widget's device resolution and shows it in one step, so the
// window never shows a half-drawn chart.
//
// The chart's canvas has one fixed size in 0.1 mm, the size the chart has in the window's
// default layout; the widget stretches it over whatever room it gets, so a larger chart
// shows its curves larger (more pixels per sample). Letters, pens and the label offsets are
// drawn at their size on screen whatever the stretch, so scale labels neither grow nor get
// cut at the right edge.
//
// The time axis can be explored with the mouse: the wheel zooms around the pointer,
// dragging pans back through the samples the chart holds, a double-click returns to the
// newest samples; hovering shows each visible channel's value at the pointer; the context
// menu saves a picture of the chart.
#include <QImage>
#include <QString>
#include <QWidget>
#include <array>
#include <vector>

#include "pages/debug/chart_geometry.h"

class CPIC;
class QPainter;

class CpicWidget : public QWidget {
    Q_OBJECT
  public:
    // The canvas in 0.1 mm: the chart's area (494 x 255 pixels) in a 980 x 620 window on a 96 dpi
    // screen, the size the chart had before the window grew.
    static constexpr int kCanvasWidth = 1307;
    static constexpr int kCanvasHeight = 674;

    explicit CpicWidget(CPIC* chart, QWidget* parent = nullptr);
    ~CpicWidget() override;

    // Sizes the chart's canvas and installs the redraw request (a queued repaint, safe from
    // the poll thread). It also runs on the first show if nobody called it.
    void InitCanvas();

    // Draws scene over the whole of target (its pixel size; tests and benchmark use it too)
    // straight at device resolution with a scaled, antialiased painter. text_scale: device
    // pixels per canvas unit for letters, pens and label offsets; 0 stretches them with the
    // canvas.
    static void Compose(const chart::Scene& scene, QImage& target, qreal text_scale = 0);

    // Where each scale label of scene goes on a picture of `device` pixels (an empty rectangle
    // for a label left out because it would not fit whole).
    static std::vector<QRectF> LabelRects(const chart::Scene& scene, QSizeF device,
                                          qreal text_scale);

    // Device pixels per canvas unit at this widget's resolution (0.1 mm at its dots per inch).
    qreal TextScale() const;

    // Names of the channels in the hover text, in channel order (the page's captions), and
    // the language of the context menu.
    void SetChannelNames(const std::array<QString, chart::kChannelCount>& names);
    void SetChinese(bool zh) { zh_ = zh; }
    // The hover text for a pointer at x (widget pixels): one "name: value" line per visible
    // channel that holds a sample at that time; empty when there is none.
    QString HoverText(int x) const;
    // Writes the chart as shown as a PNG file; false when the file cannot be written.
    bool SaveImage(const QString& path);
    // The wheel turned `steps` notches (positive: in) with the pointer at x; a drag moved the
    // curves dx pixels from where they were when it began at shift `from`; back to the
    // newest samples. Each applies the new zoom and shift and announces them.
    void WheelAt(int x, double steps);
    void DragTo(int from, int dx);
    void FollowNewest();

  signals:
    // The user's zoom or pan; the page moves its ZoomX and Horizontal sliders to agree.
    void ViewRequested(int zoom, int shift);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

  private:
    double CanvasX(int x) const;
    void Apply(int zoom, int shift);

    CPIC* chart_;
    bool initialised_ = false;
    chart::ChartState state_;
    chart::Scene scene_;
    QImage frame_;
    std::array<QString, chart::kChannelCount> names_;
    bool zh_ = false;
    bool dragging_ = false;
    int drag_x_ = 0;
    int drag_shift_ = 0;
};
