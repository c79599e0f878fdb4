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

std::string FormatTraceLine(int64_t micros, bool sent, const uint8_t* bytes, int n) {
    char head[48];
    std::snprintf(head, sizeof head, "%lld.%06lld %s", static_cast<long long>(micros / 1000000),
                  static_cast<long long>(micros % 1000000), sent ? "TX" : "RX");
    std::string text = head;
    if (n <= 0) text += " -";
    static const char kHex[] = "0123456789ABCDEF";
    for (int k = 0; k < n; ++k) {
        text += ' ';
        text += kHex[bytes[k] >> 4];
        text += kHex[bytes[k] & 0x0F];
    }
    return text;
}
