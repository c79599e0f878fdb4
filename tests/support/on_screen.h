#pragma once
// What the widget tests read off the screen: the caption a control shows, and screenshots
// saved under the build folder's artifacts for a person to look at.
#include <QAbstractButton>
#include <QLabel>
#include <QLineEdit>
#include <QWidget>
#include <filesystem>
#include <iostream>
#include <string>

// The text of control `id` of a page widget when it is a button, label or line edit.
template <class PageWidget>
QString Caption(const PageWidget& w, int id) {
    if (auto* b = qobject_cast<QAbstractButton*>(w.Control(id))) return b->text();
    if (auto* l = qobject_cast<QLabel*>(w.Control(id))) return l->text();
    if (auto* e = qobject_cast<QLineEdit*>(w.Control(id))) return e->text();
    return {};
}

// Saves what widget shows as artifacts/name and prints where; false when it could not.
inline bool SaveShot(QWidget& widget, const std::string& name) {
    const std::filesystem::path dir = std::filesystem::path(VEXA_BIN_DIR) / "artifacts";
    std::filesystem::create_directories(dir);
    const std::string shot = (dir / name).string();
    std::cout << "screenshot: " << shot << std::endl;
    return widget.grab().save(QString::fromStdString(shot));
}
