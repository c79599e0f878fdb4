#include "pages/debug/cpic.h"

#include <algorithm>
#include <utility>

CPIC::CPIC() = default;

void CPIC::Resize(Ring& ring, int capacity) {
    // Keep the newest values that fit, oldest first in the new ring.
    const int keep = std::min(ring.size, capacity);
    std::vector<int16_t> data(static_cast<size_t>(capacity));
    const int cap_old = static_cast<int>(ring.data.size());
    for (int i = 0; i < keep; ++i) {
        const int from = ring.size - keep + i;
        data[static_cast<size_t>(i)] = ring.data[static_cast<size_t>((ring.head + from) % cap_old)];
    }
    ring.data = std::move(data);
    ring.head = 0;
    ring.size = keep;
}

void CPIC::InitCanvas(int width, int height) {
    std::lock_guard<std::mutex> g(m_);
    width_ = std::max(width, 0);
    height_ = std::max(height, 0);
    capacity_ = chart::Capacity(width_);
    for (Ring& r : rings_) Resize(r, capacity_);
}

int CPIC::Width() const {
    std::lock_guard<std::mutex> g(m_);
    return width_;
}

int CPIC::Height() const {
    std::lock_guard<std::mutex> g(m_);
    return height_;
}

void CPIC::PushLocked(int channel, int v) {
    if (channel < 0 || channel >= chart::kChannelCount || capacity_ <= 0) return;
    Ring& r = rings_[static_cast<size_t>(channel)];
    const int16_t stored = chart::StoredValue(channel, v, position_scale_);
    if (r.size >= capacity_) {
        // Full: the slot of the oldest value takes the newest one.
        r.data[static_cast<size_t>(r.head)] = stored;
        r.head = (r.head + 1) % capacity_;
    } else {
        r.data[static_cast<size_t>((r.head + r.size) % capacity_)] = stored;
        ++r.size;
    }
}

void CPIC::AddSample(int channel, int v) {
    std::lock_guard<std::mutex> g(m_);
    PushLocked(channel, v);
}

void CPIC::AddSamples(const std::array<int, chart::kChannelCount>& values) {
    std::lock_guard<std::mutex> g(m_);
    for (int ch = 0; ch < chart::kChannelCount; ++ch)
        PushLocked(ch, values[static_cast<size_t>(ch)]);
}

void CPIC::SetPositionScale(int n) {
    std::lock_guard<std::mutex> g(m_);
    position_scale_ = std::max(n, 1);
}

void CPIC::SetZoom(int n) {
    std::lock_guard<std::mutex> g(m_);
    zoom_ = std::clamp(n, chart::kMinZoom, chart::kMaxZoom);
}

void CPIC::SetShift(int n) {
    std::lock_guard<std::mutex> g(m_);
    shift_ = std::clamp(n, 0, chart::kMaxShift);
}

void CPIC::SetUpper(int n) {
    std::lock_guard<std::mutex> g(m_);
    limits_[0] = static_cast<int16_t>(n);
    limits_[2] = static_cast<int16_t>(-n);
}

void CPIC::SetLower(int n) {
    std::lock_guard<std::mutex> g(m_);
    limits_[1] = static_cast<int16_t>(n);
    limits_[3] = static_cast<int16_t>(-n);
}

void CPIC::SetChannel(uint32_t bit, bool on) {
    std::lock_guard<std::mutex> g(m_);
    channels_ = on ? (channels_ | bit) : (channels_ & ~bit);
}

void CPIC::SetChannels(uint32_t bits) {
    std::lock_guard<std::mutex> g(m_);
    channels_ = bits;
}

uint32_t CPIC::Channels() const {
    std::lock_guard<std::mutex> g(m_);
    return channels_;
}

int CPIC::SampleCount(int channel) const {
    std::lock_guard<std::mutex> g(m_);
    if (channel < 0 || channel >= chart::kChannelCount) return 0;
    return rings_[static_cast<size_t>(channel)].size;
}

void CPIC::Snapshot(chart::ChartState& out) const {
    std::lock_guard<std::mutex> g(m_);
    out.width = width_;
    out.height = height_;
    out.channels = channels_;
    out.position_scale = position_scale_;
    out.zoom = zoom_;
    out.shift = shift_;
    out.limits = limits_;
    for (int ch = 0; ch < chart::kChannelCount; ++ch) {
        const Ring& r = rings_[static_cast<size_t>(ch)];
        auto& dst = out.samples[static_cast<size_t>(ch)];
        dst.resize(static_cast<size_t>(r.size));
        // Newest first.
        for (int i = 0; i < r.size; ++i) {
            dst[static_cast<size_t>(i)] =
                r.data[static_cast<size_t>((r.head + r.size - 1 - i) % capacity_)];
        }
    }
}

void CPIC::SetRedrawHandler(std::function<void()> handler) {
    std::lock_guard<std::mutex> g(redraw_m_);
    redraw_ = std::move(handler);
}

void CPIC::Redraw() {
    std::lock_guard<std::mutex> g(redraw_m_);
    if (redraw_) redraw_();
}
