#include "app/bus_monitor.h"

#include <fstream>
#include <optional>

#include "app/bus_monitor_view.h"
#include "platform/number_text.h"
#include "platform/string_table.h"

std::string MonitorRow::TimeText() const { return FormatTraceTime(micros); }

std::string MonitorRow::BytesText() const {
    std::string text = FormatTraceBytes(bytes.data(), static_cast<int>(bytes.size()));
    if (length > static_cast<int>(bytes.size()))
        text += " ... (" + std::to_string(length) + " bytes)";  // the log keeps the start
    return text;
}

std::string MonitorRow::TraceLine() const {
    return FormatTraceLine(micros, sent, bytes.data(), static_cast<int>(bytes.size()));
}

BusMonitor::BusMonitor(const TransferLog& log, BusMonitorView& view, bool chinese)
    : log_(log), view_(view), chinese_(chinese) {}

void BusMonitor::Refresh() {
    if (paused_) return;
    seen_ = log_.CopySince(seen_, fresh_);
    if (fresh_.empty()) return;
    size_t added = 0;
    for (const TransferRecord& r : fresh_) {
        MonitorRow row;
        row.micros = r.micros;
        row.sent = r.sent;
        row.length = r.length;
        row.bytes.assign(r.bytes.begin(), r.bytes.begin() + r.kept());
        row.decoded = decoder_.Decode(r.sent, r.bytes.data(), r.kept());
        if (Matches(row)) {
            shown_.push_back(row);
            ++added;
        }
        all_.push_back(std::move(row));
    }
    while (all_.size() > kMaxRows) all_.pop_front();
    size_t removed = 0;
    while (shown_.size() > kMaxRows) {
        shown_.pop_front();
        ++removed;
    }
    if (added > 0 || removed > 0) view_.RowsChanged(removed, added, false);
}

void BusMonitor::Clear() {
    all_.clear();
    shown_.clear();
    decoder_.Reset();
    view_.RowsChanged(0, 0, true);
}

bool BusMonitor::SetFilter(const std::string& text) {
    // An empty text shows every id; a text that is no id 0 to 254 shows every id and is
    // refused.
    const std::optional<long long> id = text.empty() ? std::nullopt : ParseInteger(text, 0, 254);
    const bool ok = text.empty() || id.has_value();
    filter_ = id ? static_cast<int>(*id) : -1;
    shown_.clear();
    for (const MonitorRow& row : all_)
        if (Matches(row)) shown_.push_back(row);
    view_.RowsChanged(0, 0, true);
    return ok;
}

bool BusMonitor::SaveTo(const std::string& path) const {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    for (const MonitorRow& row : shown_) out << row.TraceLine() << '\n';
    out.flush();
    return static_cast<bool>(out);
}

bool BusMonitor::Save() {
    const std::string path = view_.AskSaveFile("trace.txt");
    if (path.empty()) return false;
    if (SaveTo(path)) return true;
    view_.ShowError(PickText(chinese_, "Cannot write ", "无法写入 ") + path,
                    PickText(chinese_, "Bus monitor", "总线监视"));
    return false;
}
