#include "pages/control_map_widget.h"

#include <QAbstractButton>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>

QWidget* ControlMap::Find(int id) const {
    const auto it = controls_.find(id);
    return it == controls_.end() ? nullptr : it->second;
}

bool ControlMap::SetText(int id, const std::string& text) {
    QWidget* w = Find(id);
    const QString t = Q(text);
    if (auto* e = qobject_cast<QLineEdit*>(w)) {
        if (e->text() != t) e->setText(t);
    } else if (auto* l = qobject_cast<QLabel*>(w)) {
        l->setText(t);
    } else if (auto* b = qobject_cast<QAbstractButton*>(w)) {
        b->setText(t);
    } else {
        return false;
    }
    return true;
}

std::string ControlMap::Text(int id) const {
    QWidget* w = Find(id);
    if (auto* e = qobject_cast<QLineEdit*>(w)) return e->text().toStdString();
    if (auto* l = qobject_cast<QLabel*>(w)) return l->text().toStdString();
    if (auto* b = qobject_cast<QAbstractButton*>(w)) return b->text().toStdString();
    return {};
}

void ControlMap::SetTextLimit(int id, int characters) {
    if (auto* e = qobject_cast<QLineEdit*>(Find(id))) e->setMaxLength(characters);
}

void ControlMap::Enable(int id, bool enabled) {
    if (QWidget* w = Find(id)) w->setEnabled(enabled);
}

void ControlMap::Show(int id, bool visible) {
    if (QWidget* w = Find(id)) w->setVisible(visible);
}

void ControlMap::Check(int id, bool checked) {
    if (auto* b = qobject_cast<QAbstractButton*>(Find(id))) b->setChecked(checked);
}

bool ControlMap::IsChecked(int id) const {
    auto* b = qobject_cast<QAbstractButton*>(Find(id));
    return b && b->isChecked();
}

void WindowTimers::Start(int id, int interval_ms) {
    QTimer*& timer = timers_[id];
    if (!timer) {
        timer = new QTimer(owner_);
        QObject::connect(timer, &QTimer::timeout, owner_, [this, id] { fire_(id); });
    }
    timer->start(interval_ms);
}

void WindowTimers::Kill(int id) {
    const auto it = timers_.find(id);
    if (it != timers_.end()) it->second->stop();
}

void WindowTimers::StopAll() {
    for (auto& [id, timer] : timers_) timer->stop();
}
