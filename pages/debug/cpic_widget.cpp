#include "pages/debug/cpic_widget.h"

#include <QFont>
#include <QPaintEvent>
#include <QPainter>
#include <QPen>
#include <QPointer>
#include <QResizeEvent>
#include <QScreen>
#include <QShowEvent>
#include <algorithm>
#include <vector>

#include "pages/debug/cpic.h"

namespace {

constexpr double kTenthsOfMmPerInch = 254.0;

QColor ToQColor(chart::Rgb c) { return QColor(c.r, c.g, c.b); }

// Dash of the grid pen in canvas units: long dashes with short gaps.
constexpr qreal kDashOn = 18;
constexpr qreal kDashOff = 6;

// Draws the scene onto a painter in device pixels, mapping canvas units by (sx, sy) itself:
// with no painter transform, text comes from the glyph cache and straight lines need no
// antialiasing, which keeps a full repaint cheap. Pen widths and the font scale alike.
void DrawScene(QPainter& p, const chart::Scene& s, qreal sx, qreal sy) {
    const qreal w = s.width * sx;
    const qreal h = s.height * sy;
    p.setRenderHint(QPainter::Antialiasing, false);
    p.fillRect(QRectF(0, 0, w, h), Qt::white);

    QPen grid(Qt::black, 0, Qt::CustomDashLine, Qt::FlatCap);  // cosmetic: 1 device pixel
    const qreal s_avg = (sx + sy) / 2;
    grid.setDashPattern(
        {std::max<qreal>(1, kDashOn * s_avg), std::max<qreal>(1, kDashOff * s_avg)});
    p.setPen(grid);
    for (const chart::Line& l : s.grid) {
        p.drawLine(QPointF(l.a.x * sx, l.a.y * sy), QPointF(l.b.x * sx, l.b.y * sy));
    }

    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(std::max(1, qRound(s.font_height * sy)));
    p.setFont(font);
    p.setPen(Qt::black);
    const qreal box_w = s.font_height * 6 * sx;
    const qreal box_h = s.font_height * 2 * sy;
    for (const chart::Label& t : s.labels) {
        p.drawText(QRectF(t.top_left.x * sx, t.top_left.y * sy, box_w, box_h),
                   Qt::AlignLeft | Qt::AlignTop, QString::fromStdString(t.text));
    }

    if (!s.limit_rows.empty()) {
        p.setPen(QPen(QColor(255, 0, 255), std::max<qreal>(1, 5 * sy), Qt::SolidLine, Qt::FlatCap));
        for (int y : s.limit_rows) p.drawLine(QPointF(0, y * sy), QPointF(w, y * sy));
    }

    // Curves, antialiased, in whole device pixels (3 canvas units rounded, at least 1). One
    // pixel wide they go out as a cosmetic polyline, the fast path of the raster engine;
    // wider ones as separate segments with square caps, which fill the joints and cost a
    // fraction of stroking the whole polyline with joins (measured by the chart benchmark).
    p.setRenderHint(QPainter::Antialiasing, true);
    const qreal curve_width = std::max<qreal>(1, qRound(3 * s_avg));
    thread_local std::vector<QPointF> pts;
    thread_local std::vector<QLineF> segments;
    for (const chart::Polyline& c : s.curves) {
        if (c.points.size() < 2) continue;  // a single sample is a line of no length
        pts.resize(c.points.size());
        for (size_t i = 0; i < c.points.size(); ++i) {
            pts[i] = QPointF(c.points[i].x * sx, c.points[i].y * sy);
        }
        if (curve_width <= 1) {
            p.setPen(QPen(ToQColor(c.colour), 0));
            p.drawPolyline(pts.data(), static_cast<int>(pts.size()));
            continue;
        }
        p.setPen(QPen(ToQColor(c.colour), curve_width, Qt::SolidLine, Qt::SquareCap));
        segments.resize(pts.size() - 1);
        for (size_t i = 1; i < pts.size(); ++i) segments[i - 1] = QLineF(pts[i - 1], pts[i]);
        p.drawLines(segments.data(), static_cast<int>(segments.size()));
    }
}

}  // namespace

CpicWidget::CpicWidget(CPIC* chart, QWidget* parent) : QWidget(parent), chart_(chart) {
    // Every paint covers the whole widget: no background erase before it.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

CpicWidget::~CpicWidget() {
    if (chart_ && initialised_) chart_->SetRedrawHandler(nullptr);
}

QSize CpicWidget::CanvasSizeFor(QSize logical, double dpi_x, double dpi_y) {
    if (dpi_x <= 0) dpi_x = 96;
    if (dpi_y <= 0) dpi_y = 96;
    return QSize(static_cast<int>(logical.width() * kTenthsOfMmPerInch / dpi_x),
                 static_cast<int>(logical.height() * kTenthsOfMmPerInch / dpi_y));
}

void CpicWidget::InitCanvas() {
    if (!chart_) return;
    const QSize c = CanvasSizeFor(size(), logicalDpiX(), logicalDpiY());
    chart_->InitCanvas(c.width(), c.height());
    if (!initialised_) {
        QPointer<CpicWidget> self(this);
        chart_->SetRedrawHandler([self] {
            // Only schedules the repaint; safe from the poll thread.
            if (self)
                QMetaObject::invokeMethod(
                    self.data(),
                    [self] {
                        if (self) self->update();
                    },
                    Qt::QueuedConnection);
        });
    }
    initialised_ = true;
    update();
}

void CpicWidget::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!initialised_) InitCanvas();
}

void CpicWidget::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    // A resized window keeps its picture in proportion: the canvas follows the widget (the
    // lists keep their newest samples).
    if (initialised_) InitCanvas();
}

void CpicWidget::Compose(const chart::Scene& scene, QImage& target, Technique technique,
                         QImage* scratch) {
    const QSize dev = target.size();
    // Work in device pixels whatever the target's device pixel ratio.
    const qreal dpr = target.devicePixelRatio();
    target.setDevicePixelRatio(1);
    if (scene.width <= 0 || scene.height <= 0 || dev.isEmpty()) {
        target.fill(Qt::white);
    } else if (technique == Technique::ScaledPainter) {
        QPainter p(&target);
        DrawScene(p, scene, qreal(dev.width()) / scene.width, qreal(dev.height()) / scene.height);
    } else {
        QImage local;
        QImage& canvas = scratch ? *scratch : local;
        if (canvas.size() != QSize(scene.width, scene.height) ||
            canvas.format() != QImage::Format_RGB32) {
            canvas = QImage(scene.width, scene.height, QImage::Format_RGB32);
        }
        {
            QPainter p(&canvas);
            DrawScene(p, scene, 1, 1);
        }
        QPainter p(&target);
        p.setRenderHint(QPainter::SmoothPixmapTransform, true);
        p.drawImage(QRectF(0, 0, dev.width(), dev.height()), canvas);
    }
    target.setDevicePixelRatio(dpr);
}

void CpicWidget::paintEvent(QPaintEvent*) {
    if (!initialised_) InitCanvas();
    const qreal dpr = devicePixelRatioF();
    const QSize dev(qRound(width() * dpr), qRound(height() * dpr));
    if (frame_.size() != dev) {
        frame_ = QImage(dev, QImage::Format_ARGB32_Premultiplied);
    }
    frame_.setDevicePixelRatio(dpr);
    if (chart_) {
        chart_->Snapshot(state_);
        chart::BuildScene(state_, scene_);
    }
    Compose(scene_, frame_, technique_, &scratch_);
    // The finished frame goes to the window in one step.
    QPainter p(this);
    p.drawImage(QPoint(0, 0), frame_);
}
