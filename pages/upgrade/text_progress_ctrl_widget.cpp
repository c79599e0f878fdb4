#include "pages/upgrade/text_progress_ctrl_widget.h"

#include <QPainter>
#include <QPixmap>

CTextProgressCtrl::CTextProgressCtrl(QWidget* parent) : QProgressBar(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);  // every pixel is painted: no separate erase
    QProgressBar::setRange(0, 100);
}

void CTextProgressCtrl::SetRange(int lower, int upper) {
    state_.SetRange(lower, upper);
    drawn_width_ = -1;
    update();
}

int CTextProgressCtrl::SetPos(int position) {
    const int previous = state_.SetPos(position);
    const int width = state_.BarWidth(rect().width());
    if (width != drawn_width_) {
        drawn_width_ = width;
        repaint();
    }
    return previous;
}

void CTextProgressCtrl::SetWindowText(const std::string& text) {
    if (text == state_.custom_text()) return;
    state_.SetCustomText(text);
    repaint();
}

void CTextProgressCtrl::resizeEvent(QResizeEvent* event) {
    drawn_width_ = -1;
    QProgressBar::resizeEvent(event);
}

void CTextProgressCtrl::paintEvent(QPaintEvent*) {
    if (state_.lower() >= state_.upper()) return;
    const QRect client = rect();
    QPixmap canvas(client.size() * devicePixelRatioF());
    canvas.setDevicePixelRatio(devicePixelRatioF());
    const QColor bar = palette().color(QPalette::Highlight);
    const QColor background = palette().color(QPalette::Base);
    {
        QPainter p(&canvas);
        const int split = static_cast<int>(client.width() * state_.Fraction());
        const QRect done(0, 0, split, client.height());
        const QRect rest(split, 0, client.width() - split, client.height());
        p.fillRect(done, bar);
        p.fillRect(rest, background);
        if (show_text_) {
            const QString text = QString::fromStdString(state_.Text());
            p.setFont(font());
            p.setClipRect(done);
            p.setPen(background);
            p.drawText(client, Qt::AlignCenter | Qt::TextSingleLine, text);
            p.setClipRect(rest);
            p.setPen(bar);
            p.drawText(client, Qt::AlignCenter | Qt::TextSingleLine, text);
        }
    }
    QPainter screen(this);
    screen.drawPixmap(0, 0, canvas);
}
