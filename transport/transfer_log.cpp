#include "transport/transfer_log.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "transport/cqv_comm.h"

TransferLog::TransferLog(size_t capacity) : ring_(std::max<size_t>(capacity, 1)) {}

void TransferLog::Attach(CQVComm& port) {
    port.TransferObserver = [this](bool sent, const uint8_t* bytes, int n) {
        Record(sent, bytes, n);
    };
}

void TransferLog::Record(bool sent, const uint8_t* bytes, int n) {
    const int64_t micros =
        std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start_).count();
    if (n < 0 || bytes == nullptr) n = 0;
    std::lock_guard<std::mutex> g(m_);
    TransferRecord& r = ring_[newest_ % ring_.size()];
    r.seq = ++newest_;
    r.micros = micros;
    r.sent = sent;
    r.length = n;
    if (r.kept() > 0) std::memcpy(r.bytes.data(), bytes, static_cast<size_t>(r.kept()));
}

uint64_t TransferLog::CopySince(uint64_t after, std::vector<TransferRecord>& out) const {
    out.clear();
    std::lock_guard<std::mutex> g(m_);
    if (after >= newest_) return newest_;
    const uint64_t oldest_held = newest_ > ring_.size() ? newest_ - ring_.size() + 1 : 1;
    for (uint64_t seq = std::max(after + 1, oldest_held); seq <= newest_; ++seq)
        out.push_back(ring_[(seq - 1) % ring_.size()]);
    return newest_;
}

std::string FormatTraceTime(int64_t micros) {
    char text[32];
    std::snprintf(text, sizeof text, "%lld.%06lld", static_cast<long long>(micros / 1000000),
                  static_cast<long long>(micros % 1000000));
    return text;
}

std::string FormatTraceBytes(const uint8_t* bytes, int n) {
    if (n <= 0) return "-";
    static const char kHex[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(static_cast<size_t>(n) * 3);
    for (int k = 0; k < n; ++k) {
        if (k > 0) text += ' ';
        text += kHex[bytes[k] >> 4];
        text += kHex[bytes[k] & 0x0F];
    }
    return text;
}

std::string FormatTraceLine(int64_t micros, bool sent, const uint8_t* bytes, int n) {
    return FormatTraceTime(micros) + (sent ? " TX " : " RX ") + FormatTraceBytes(bytes, n);
}
