#pragma once
// A PWM page view without a screen: keeps each control's text, enable state, the scroll
// bar and the running timers in memory. The command line drives the page through it; tests
// read back what the page showed.
#include <algorithm>
#include <map>
#include <string>
#include <utility>

#include "pages/pwm/servo_pwm_view.h"

class ServoPwmMemoryView : public ServoPwmView {
  public:
    void SetText(int c, const std::string& t) override { text[c] = t; }
    std::string Text(int c) const override {
        auto it = text.find(c);
        return it == text.end() ? std::string() : it->second;
    }
    void SetTextLimit(int c, int n) override { limit[c] = n; }
    void Enable(int c, bool e) override { enabled[c] = e; }
    void SetScrollRange(int c, int lo, int hi) override {
        range[c] = {lo, hi};
        SetScrollPos(c, pos[c]);
    }
    void SetScrollPos(int c, int p) override {
        auto it = range.find(c);
        if (it != range.end()) p = std::clamp(p, it->second.first, it->second.second);
        pos[c] = p;
    }
    int ScrollPos(int c) const override {
        auto it = pos.find(c);
        return it == pos.end() ? 0 : it->second;
    }
    void StartTimer(int id, int ms) override { timers[id] = ms; }
    void KillTimer(int id) override { timers.erase(id); }

    bool IsEnabled(int c) const {
        auto it = enabled.find(c);
        return it == enabled.end() || it->second;
    }

    std::map<int, std::string> text;
    std::map<int, int> limit;
    std::map<int, bool> enabled;
    std::map<int, std::pair<int, int>> range;
    std::map<int, int> pos;
    std::map<int, int> timers;  // running timer id -> interval
};
