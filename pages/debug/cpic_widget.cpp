#include "pages/debug/cpic_widget.h"

#include <QFont>
#include <QPaintEvent>
#include <QPainter>
#include <QPen>
#include <QPointer>
#include <QScreen>
#include <QShowEvent>
#include <QTransform>
#include <vector>

#include "pages/debug/cpic.h"

namespace {

constexpr double kTenthsOfMmPerInch = 254.0;

QColor ToQColor(chart::Rgb c) { return QColor(c.r, c.g, c.b); }

// Strokes the scene in canvas units; the painter's transform maps them onto the target.
void DrawScene(QPainter& p, const chart::Scene& s) {
    const int w = s.width;
    const int h = s.height;
    p.fillRect(QRect(0, 0, w, h), Qt::white);

    QPen grid(Qt::black, 1, Qt::DashLine);
    p.setPen(grid);
    for (const chart::Line& l : s.grid) p.drawLine(l.a.x, l.a.y, l.b.x, l.b.y);

    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(s.font_height);
    p.setFont(font);
    p.setPen(Qt::black);
    const int box_w = s.font_height * 6;
    const int box_h = s.font_height * 2;
    for (const chart::Label& t : s.labels) {
        p.drawText(QRect(t.top_left.x, t.top_left.y, box_w, box_h), Qt::AlignLeft | Qt::AlignTop,
                   QString::fromStdString(t.text));
    }

    if (!s.limit_rows.empty()) {
        p.setPen(QPen(QColor(255, 0, 255), 5, Qt::SolidLine, Qt::FlatCap));
        for (int y : s.limit_rows) p.drawLine(0, y, w, y);
    }

    thread_local std::vector<QPoint> pts;
    for (const chart::Polyline& c : s.curves) {
        if (c.points.size() < 2) continue;  // a single sample is a line of no length
        p.setPen(QPen(ToQColor(c.colour), 3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        pts.resize(c.points.size());
        for (size_t i = 0; i < c.points.size(); ++i) pts[i] = QPoint(c.points[i].x, c.points[i].y);
        p.drawPolyline(pts.data(), static_cast<int>(pts.size()));
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

void CpicWidget::Compose(const chart::Scene& scene, QImage& target, Technique technique,
                         QImage* scratch) {
    const QSize dev = target.size();
    if (scene.width <= 0 || scene.height <= 0 || dev.isEmpty()) {
        target.fill(Qt::white);
        return;
    }
    if (technique == Technique::ScaledPainter) {
        QPainter p(&target);
        p.setRenderHint(QPainter::Antialiasing, true);
        p.setRenderHint(QPainter::TextAntialiasing, true);
        // Device pixels per canvas unit, independent of the target's device pixel ratio.
        const qreal dpr = target.devicePixelRatio();
        p.setTransform(QTransform::fromScale(dev.width() / dpr / scene.width,
                                             dev.height() / dpr / scene.height));
        DrawScene(p, scene);
        return;
    }
    QImage local;
    QImage& canvas = scratch ? *scratch : local;
    if (canvas.size() != QSize(scene.width, scene.height) ||
        canvas.format() != QImage::Format_RGB32) {
        canvas = QImage(scene.width, scene.height, QImage::Format_RGB32);
    }
    {
        QPainter p(&canvas);
        DrawScene(p, scene);
    }
    QPainter p(&target);
    p.setRenderHint(QPainter::SmoothPixmapTransform, true);
    const qreal dpr = target.devicePixelRatio();
    p.drawImage(QRectF(0, 0, dev.width() / dpr, dev.height() / dpr), canvas);
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
    Compose(scene_, frame_, Technique::ScaledPainter, &scratch_);
    // The finished frame goes to the window in one step.
    QPainter p(this);
    p.drawImage(QPoint(0, 0), frame_);
}
