#pragma once
// The feedback strip chart's state: eight channels of stored 16-bit values (newest first, at
// most W / 8 each), the axis scale, zoom, shift and limit lines. Samples arrive on the poll
// thread while the user-interface thread paints; one lock guards the lists and settings, and
// painting works on a copy taken under it, so a picture never shows a half-added tick.
#include <array>
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

#include "pages/debug/chart_geometry.h"

class CPIC {
  public:
    CPIC();
    CPIC(const CPIC&) = delete;
    CPIC& operator=(const CPIC&) = delete;

    // Canvas size in 0.1 mm units. Sizes every list to W / 8 samples, keeping the newest.
    void InitCanvas(int width, int height);
    int Width() const;
    int Height() const;

    // One sample of one channel (index 0..7, chart::ChannelIndex) with the page's value v.
    void AddSample(int channel, int v);
    // One sample of every channel at once, in channel order (position, torque, speed, goal,
    // fast/slow speed, current, voltage, temperature).
    void AddSamples(const std::array<int, chart::kChannelCount>& values);
    void AddPosition(int v) { AddSample(chart::kPosition, v); }
    void AddTorque(int v) { AddSample(chart::kTorque, v); }
    void AddSpeed(int v) { AddSample(chart::kSpeed, v); }
    void AddGoal(int v) { AddSample(chart::kGoal, v); }
    void AddFastSlow(int v) { AddSample(chart::kFastSlow, v); }
    void AddCurrent(int v) { AddSample(chart::kCurrent, v); }
    void AddVoltage(int v) { AddSample(chart::kVoltage, v); }
    void AddTemperature(int v) { AddSample(chart::kTemperature, v); }

    // Position-type multiplier; values below 1 count as 1 (a divisor of the left labels).
    void SetPositionScale(int n);
    // Zoom is kept within 8..64 and shift within 0..2000, the ranges of their trackbars.
    void SetZoom(int n);
    void SetShift(int n);
    // Up: limits 0 and 2 := n and -n; Low: limits 1 and 3. A limit shows when non-zero.
    void SetUpper(int n);
    void SetLower(int n);
    void SetChannel(uint32_t bit, bool on);
    void SetChannels(uint32_t bits);
    uint32_t Channels() const;

    // Number of samples held by a channel.
    int SampleCount(int channel) const;
    // A consistent copy of everything a picture needs (reuses out's storage).
    void Snapshot(chart::ChartState& out) const;

    // Redraw request: calls the handler the view installed (from any thread; the handler
    // must only schedule a repaint). Without a handler it does nothing.
    void SetRedrawHandler(std::function<void()> handler);
    void Redraw();

  private:
    // Ring of stored values; index 0 of the ring is the oldest.
    struct Ring {
        std::vector<int16_t> data;
        int head = 0;  // slot of the oldest value
        int size = 0;
    };
    void PushLocked(int channel, int v);
    static void Resize(Ring& ring, int capacity);

    mutable std::mutex m_;
    int width_ = 0, height_ = 0;
    int capacity_ = 0;
    uint32_t channels_ = chart::kPositionBit | chart::kTorqueBit | chart::kSpeedBit;
    int position_scale_ = 1;
    int zoom_ = chart::kMinZoom;
    int shift_ = 0;
    std::array<int16_t, 4> limits_{};
    std::array<Ring, chart::kChannelCount> rings_;

    std::mutex redraw_m_;
    std::function<void()> redraw_;
};
