#include "pages/debug/cpic_widget.h"

#include <QContextMenuEvent>
#include <QFileDialog>
#include <QFont>
#include <QFontMetrics>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPen>
#include <QPointer>
#include <QResizeEvent>
#include <QScreen>
#include <QShowEvent>
#include <QToolTip>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <vector>

#include "pages/control_map_widget.h"
#include "pages/debug/cpic.h"

namespace {

constexpr double kTenthsOfMmPerInch = 254.0;

QColor ToQColor(chart::Rgb c) { return QColor(c.r, c.g, c.b); }

// Dash of the grid pen in canvas units: long dashes with short gaps.
constexpr qreal kDashOn = 18;
constexpr qreal kDashOff = 6;

QFont LabelFont(const chart::Scene& s, qreal st) {
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(std::max(1, qRound(s.font_height * st)));
    return font;
}

// Draws the scene onto a painter in device pixels, mapping canvas units by (sx, sy) itself:
// with no painter transform, text comes from the glyph cache and straight lines need no
// antialiasing, which keeps a full repaint cheap. Letters, pen widths, dashes and label
// offsets use st device pixels per canvas unit, so they keep their size however far the
// canvas is stretched; labels stay wholly inside the picture.
void DrawScene(QPainter& p, const chart::Scene& s, qreal sx, qreal sy, qreal st) {
    const qreal w = s.width * sx;
    const qreal h = s.height * sy;
    p.setRenderHint(QPainter::Antialiasing, false);
    p.fillRect(QRectF(0, 0, w, h), Qt::white);

    QPen grid(Qt::black, 0, Qt::CustomDashLine, Qt::FlatCap);  // cosmetic: 1 device pixel
    grid.setDashPattern({std::max<qreal>(1, kDashOn * st), std::max<qreal>(1, kDashOff * st)});
    p.setPen(grid);
    for (const chart::Line& l : s.grid) {
        p.drawLine(QPointF(l.a.x * sx, l.a.y * sy), QPointF(l.b.x * sx, l.b.y * sy));
    }

    p.setFont(LabelFont(s, st));
    p.setPen(Qt::black);
    const std::vector<QRectF> boxes = CpicWidget::LabelRects(s, QSizeF(w, h), st);
    for (size_t i = 0; i < boxes.size(); ++i) {
        if (boxes[i].isEmpty()) continue;
        p.drawText(boxes[i], Qt::AlignLeft | Qt::AlignTop,
                   QString::fromStdString(s.labels[i].text));
    }

    if (!s.limit_rows.empty()) {
        p.setPen(QPen(QColor(255, 0, 255), std::max<qreal>(1, 5 * st), Qt::SolidLine, Qt::FlatCap));
        for (int y : s.limit_rows) p.drawLine(QPointF(0, y * sy), QPointF(w, y * sy));
    }

    // Curves, antialiased, in whole device pixels (3 canvas units rounded, at least 1). One
    // pixel wide they go out as a cosmetic polyline, the fast path of the raster engine;
    // wider ones as separate segments with square caps, which fill the joints and cost a
    // fraction of stroking the whole polyline with joins (measured by the chart benchmark).
    p.setRenderHint(QPainter::Antialiasing, true);
    const qreal curve_width = std::max<qreal>(1, qRound(3 * st));
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
    setMouseTracking(true);  // hover values without a button held
    names_ = {QStringLiteral("Postiton"), QStringLiteral("Torque"),     QStringLiteral("Speed"),
              QStringLiteral("Goal"),     QStringLiteral("GSpeed"),     QStringLiteral("Current"),
              QStringLiteral("Voltage"),  QStringLiteral("Temperature")};
}

CpicWidget::~CpicWidget() {
    if (chart_ && initialised_) chart_->SetRedrawHandler(nullptr);
}

void CpicWidget::InitCanvas() {
    if (!chart_) return;
    chart_->InitCanvas(kCanvasWidth, kCanvasHeight);
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

qreal CpicWidget::TextScale() const {
    const double dpi = logicalDpiX() > 0 ? logicalDpiX() : 96;
    return dpi / kTenthsOfMmPerInch * devicePixelRatioF();
}

void CpicWidget::Compose(const chart::Scene& scene, QImage& target, qreal text_scale) {
    const QSize dev = target.size();
    // Work in device pixels whatever the target's device pixel ratio.
    const qreal dpr = target.devicePixelRatio();
    target.setDevicePixelRatio(1);
    if (scene.width <= 0 || scene.height <= 0 || dev.isEmpty()) {
        target.fill(Qt::white);
    } else {
        const qreal sx = qreal(dev.width()) / scene.width;
        const qreal sy = qreal(dev.height()) / scene.height;
        const qreal st = text_scale > 0 ? text_scale : (sx + sy) / 2;
        QPainter p(&target);
        DrawScene(p, scene, sx, sy, st);
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
    Compose(scene_, frame_, TextScale());
    // The finished frame goes to the window in one step.
    QPainter p(this);
    p.drawImage(QPoint(0, 0), frame_);
}

std::vector<QRectF> CpicWidget::LabelRects(const chart::Scene& s, QSizeF device, qreal st) {
    const qreal sx = s.width > 0 ? device.width() / s.width : 0;
    const qreal sy = s.height > 0 ? device.height() / s.height : 0;
    const QFontMetricsF metrics(LabelFont(s, st));
    const qreal box_h = metrics.height();
    std::vector<QRectF> boxes;
    boxes.reserve(s.labels.size());
    for (const chart::Label& t : s.labels) {
        const qreal box_w = metrics.horizontalAdvance(QString::fromStdString(t.text)) + 1;
        const qreal x = std::clamp<qreal>(t.anchor.x * sx + t.offset.x * st, 0,
                                          std::max<qreal>(0, device.width() - box_w));
        qreal y = t.anchor.y * sy + t.offset.y * st;
        // A label reaching a little past the top or bottom edge moves inside; one that
        // would need to move more than half its height (its line lies at or beyond the edge)
        // is left out rather than drawn over its neighbour.
        const qreal lowest = std::max<qreal>(0, device.height() - box_h);
        const bool fits = y >= -box_h / 2 && y <= lowest + box_h / 2;
        y = std::clamp<qreal>(y, 0, lowest);
        boxes.push_back(fits ? QRectF(x, y, box_w, box_h) : QRectF());
    }
    return boxes;
}

void CpicWidget::SetChannelNames(const std::array<QString, chart::kChannelCount>& names) {
    names_ = names;
}

double CpicWidget::CanvasX(int x) const {
    return width() > 0 ? double(x) * kCanvasWidth / width() : 0;
}

QString CpicWidget::HoverText(int x) const {
    if (!chart_) return {};
    chart::ChartState st;
    chart_->Snapshot(st);
    const double at = chart::SampleIndexAt(CanvasX(x), st.width, st.zoom, st.shift);
    const long index = std::lround(at);
    QString text;
    if (index < 0) return text;
    for (int ch = 0; ch < chart::kChannelCount; ++ch) {
        const auto& values = st.samples[static_cast<size_t>(ch)];
        if (!(st.channels & (1u << ch)) || index >= static_cast<long>(values.size())) continue;
        if (!text.isEmpty()) text += QLatin1Char('\n');
        text += names_[static_cast<size_t>(ch)] + QStringLiteral(": ") +
                QString::number(
                    chart::Reading(ch, values[static_cast<size_t>(index)], st.position_scale));
    }
    return text;
}

bool CpicWidget::SaveImage(const QString& path) { return grab().save(path, "PNG"); }

void CpicWidget::Apply(int zoom, int shift) {
    if (!chart_) return;
    chart_->SetZoom(zoom);
    chart_->SetShift(shift);
    update();
    emit ViewRequested(zoom, shift);
}

void CpicWidget::WheelAt(int x, double steps) {
    if (!chart_ || steps == 0) return;
    chart::ChartState st;
    chart_->Snapshot(st);
    // A notch changes the zoom by a quarter, and always by at least one unit.
    int zoom = static_cast<int>(std::lround(st.zoom * std::pow(1.25, steps)));
    if (zoom == st.zoom) zoom += steps > 0 ? 1 : -1;
    zoom = std::clamp(zoom, chart::kMinZoom, chart::kMaxZoom);
    if (zoom == st.zoom) return;
    Apply(zoom, chart::ShiftForZoomAt(CanvasX(x), st.width, st.zoom, zoom, st.shift));
}

void CpicWidget::DragTo(int from, int dx) {
    if (!chart_) return;
    chart::ChartState st;
    chart_->Snapshot(st);
    int held = 0;
    for (int ch = 0; ch < chart::kChannelCount; ++ch)
        if (st.channels & (1u << ch))
            held = std::max(held, static_cast<int>(st.samples[static_cast<size_t>(ch)].size()));
    // Dragging stops where the oldest sample reaches the left edge; a shift set further by
    // the slider is not pulled back by a drag that began there.
    const int limit = std::max(chart::PanLimit(held, st.width, st.zoom), from);
    const int shift = std::clamp(from + static_cast<int>(std::lround(CanvasX(dx))), 0, limit);
    if (shift != st.shift) Apply(st.zoom, shift);
}

void CpicWidget::FollowNewest() {
    if (!chart_) return;
    chart::ChartState st;
    chart_->Snapshot(st);
    Apply(st.zoom, 0);
}

void CpicWidget::wheelEvent(QWheelEvent* event) {
    const double steps = event->angleDelta().y() / 120.0;
    if (steps == 0) {
        event->ignore();
        return;
    }
    WheelAt(qRound(event->position().x()), steps);
    event->accept();
}

void CpicWidget::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !chart_) return QWidget::mousePressEvent(event);
    chart::ChartState st;
    chart_->Snapshot(st);
    dragging_ = true;
    drag_x_ = qRound(event->position().x());
    drag_shift_ = st.shift;
    setCursor(Qt::ClosedHandCursor);
}

void CpicWidget::mouseMoveEvent(QMouseEvent* event) {
    const int x = qRound(event->position().x());
    if (dragging_ && (event->buttons() & Qt::LeftButton)) {
        DragTo(drag_shift_, x - drag_x_);
        return;
    }
    const QString text = HoverText(x);
    if (text.isEmpty())
        QToolTip::hideText();
    else
        QToolTip::showText(event->globalPosition().toPoint(), text, this);
}

void CpicWidget::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && dragging_) {
        dragging_ = false;
        unsetCursor();
        return;
    }
    QWidget::mouseReleaseEvent(event);
}

void CpicWidget::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) FollowNewest();
}

void CpicWidget::contextMenuEvent(QContextMenuEvent* event) {
    QMenu menu(this);
    QAction* live = menu.addAction(Tr(zh_, "Live", "实时"));
    QAction* save = menu.addAction(Tr(zh_, "Save image", "保存图片"));
    QAction* chosen = menu.exec(event->globalPos());
    if (chosen == live) FollowNewest();
    if (chosen != save) return;
    QString path =
        QFileDialog::getSaveFileName(this, Tr(zh_, "Save image", "保存图片"),
                                     QStringLiteral("chart.png"), QStringLiteral("PNG (*.png)"));
    if (path.isEmpty()) return;
    if (!path.endsWith(QStringLiteral(".png"), Qt::CaseInsensitive)) path += QStringLiteral(".png");
    if (!SaveImage(path)) {
        QMessageBox::critical(this, Tr(zh_, "Save image", "保存图片"),
                              Tr(zh_, "Cannot write ", "无法写入 ") + path);
    }
}
