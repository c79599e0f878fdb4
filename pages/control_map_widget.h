#pragma once
// What the Qt page widgets share: the map from control id to widget that their view
// interfaces are keyed by, the window timers the pages start by id, and texts in Qt form.
#include <QString>
#include <functional>
#include <map>
#include <string>

#include "platform/string_table.h"

class QObject;
class QTimer;
class QWidget;

inline QString Q(const std::string& s) { return QString::fromStdString(s); }

// The English or the Chinese text, as a Qt string.
inline QString Tr(bool chinese, const char* english, const char* chinese_text) {
    return QString::fromUtf8(PickText(chinese, english, chinese_text));
}

class ControlMap {
  public:
    // Names w as control id and hands it back, so a control is made and named in one go.
    template <class W>
    W* Add(int id, W* w) {
        controls_[id] = w;
        return w;
    }
    void Remove(int id) { controls_.erase(id); }
    // The control, or nullptr for an id this page does not have.
    QWidget* Find(int id) const;
    const std::map<int, QWidget*>& all() const { return controls_; }

    // Line edits, labels and buttons; a line edit that already shows the text is left alone
    // so that its cursor stays where the user put it. False for any other kind of control.
    bool SetText(int id, const std::string& text);
    std::string Text(int id) const;
    void SetTextLimit(int id, int characters);
    void Enable(int id, bool enabled);
    void Show(int id, bool visible);
    void Check(int id, bool checked);
    bool IsChecked(int id) const;

  private:
    std::map<int, QWidget*> controls_;
};

// The window timers a page starts and kills by id; each calls fire(id) when it times out.
class WindowTimers {
  public:
    WindowTimers(QObject* owner, std::function<void(int)> fire)
        : owner_(owner), fire_(std::move(fire)) {}
    void Start(int id, int interval_ms);
    void Kill(int id);
    void StopAll();

  private:
    QObject* owner_;
    std::function<void(int)> fire_;
    std::map<int, QTimer*> timers_;
};
