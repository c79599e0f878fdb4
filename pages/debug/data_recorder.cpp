#include "pages/debug/data_recorder.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <system_error>

const char* const DataRecorder::kHeaderEnglish = "No,Pos,Gol,Ft,V,C,T,Vol\n";
const char* const DataRecorder::kHeaderChinese =
    "\xD0\xF2\xBA\xC5,\xCE\xBB\xD6\xC3,\xC4\xBF\xB1\xEA,\xC5\xA4\xBE\xD8,"
    "\xCB\xD9\xB6\xC8,\xB5\xE7\xC1\xF7,\xCE\xC2\xB6\xC8,\xB5\xE7\xD1\xB9\n";
const char* const DataRecorder::kRowFormat = "%d,%d,%d,%d,%d,%d,%d,%d,END\n";

namespace {

// Every line of the file ends in CR LF; a "\n" already preceded by "\r" stays as it is.
std::string ToFileText(const std::string& text) {
    std::string out;
    out.reserve(text.size() + 4);
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) out += '\r';
        out += text[i];
    }
    return out;
}

std::FILE* OpenFile(const std::string& name, const char* mode) {
    if (name.empty()) return nullptr;
    return std::fopen(name.c_str(), mode);
}

bool SameFile(const std::string& a, const std::string& b) {
    if (a == b) return true;
    std::error_code ec;
    return std::filesystem::equivalent(a, b, ec) && !ec;
}

long long Magnitude(int seconds) {
    return seconds < 0 ? -static_cast<long long>(seconds) : seconds;
}

}  // namespace

int DataRecorder::PollDividerFor(int seconds) {
    const long long s = Magnitude(seconds);
    if (s == 0) return 0;
    return static_cast<int>((s - 1) / 60 + 1);
}

int DataRecorder::BatchSizeFor(int seconds) {
    const long long s = Magnitude(seconds);
    if (s == 0) return 0;
    const long long per_second = 20 / ((s - 1) / 60 + 1);
    const long long batch = s * per_second;
    return batch == 0 || batch >= kMaxBatch ? kMaxBatch : static_cast<int>(batch);
}

int DataRecorder::OpenRecord(int batch_size, const std::string& file_name,
                             const std::string& header, const std::string& row_format,
                             bool create) {
    std::lock_guard<std::mutex> g(m_);
    batch_size_ = std::clamp(batch_size, 0, kMaxBatch);
    file_name_ = file_name;
    if (!header.empty()) header_ = header;
    if (!row_format.empty()) row_format_ = row_format;
    if (samples_.capacity() < static_cast<size_t>(kMaxBatch)) samples_.reserve(kMaxBatch);
    row_counter_ = CountLinesLocked(create);
    return row_counter_;
}

int DataRecorder::AddSample(const RecordSample& sample, bool* write_failed) {
    std::lock_guard<std::mutex> g(m_);
    if (write_failed != nullptr) *write_failed = false;
    if (batch_size_ <= 0 || !accepting_) return -1;
    if (samples_.size() >= static_cast<size_t>(kMaxPending)) {
        ++dropped_;
        return -1;
    }
    samples_.push_back(sample);
    // After a failed write the backlog is retried each time another batch has filled.
    if (samples_.size() % static_cast<size_t>(batch_size_) != 0) return -1;
    const int rows = WriteBatchLocked();
    if (write_failed != nullptr) *write_failed = rows == -1;
    return rows;
}

void DataRecorder::StartRecording() {
    std::lock_guard<std::mutex> g(m_);
    samples_.clear();
    accepting_ = true;
}

int DataRecorder::StopRecording() {
    std::lock_guard<std::mutex> g(m_);
    const int rows = WriteBatchLocked();
    samples_.clear();
    accepting_ = false;
    return rows;
}

int DataRecorder::WriteBatch() {
    std::lock_guard<std::mutex> g(m_);
    return WriteBatchLocked();
}

int DataRecorder::WriteBatchLocked() {
    std::FILE* f = OpenFile(file_name_, "r+b");
    if (!f) {
        last_write_failed_ = true;
        return -1;
    }
    bool ok = std::fseek(f, 0, SEEK_END) == 0;
    const long start = ok ? std::ftell(f) : -1;
    ok = ok && start >= 0;

    std::string rows;
    rows.reserve(samples_.size() * 40 + 2);
    // A last line without its line end would merge with the first new row.
    if (ok && start > 0 && !samples_.empty() && std::fseek(f, start - 1, SEEK_SET) == 0) {
        if (std::fgetc(f) != '\n') rows = "\r\n";
        ok = std::fseek(f, 0, SEEK_END) == 0;
    }
    int row = row_counter_;
    for (const RecordSample& s : samples_) rows += FormatRow(row++, s);

    if (ok && !rows.empty()) ok = std::fwrite(rows.data(), 1, rows.size(), f) == rows.size();
    if (std::fflush(f) != 0) ok = false;
    if (std::fclose(f) != 0) ok = false;
    if (!ok) {
        // Take back a partly written batch so that the retry does not repeat rows.
        if (start >= 0) {
            std::error_code ec;
            std::filesystem::resize_file(file_name_, static_cast<uintmax_t>(start), ec);
        }
        last_write_failed_ = true;
        return -1;
    }
    row_counter_ = row;
    samples_.clear();
    last_write_failed_ = false;
    return row_counter_;
}

int DataRecorder::CountLines(bool create) {
    std::lock_guard<std::mutex> g(m_);
    return CountLinesLocked(create);
}

int DataRecorder::CountLinesLocked(bool create) {
    // "a+b" creates a missing file without truncating one that exists; writes go to the end.
    std::FILE* f = OpenFile(file_name_, create ? "a+b" : "r+b");
    if (!f) return 0;
    int lines = 0;
    bool any = false;
    char last = '\n';
    char buf[8192];
    std::fseek(f, 0, SEEK_SET);
    for (;;) {
        const size_t n = std::fread(buf, 1, sizeof buf, f);
        if (n == 0) break;
        any = true;
        lines += static_cast<int>(std::count(buf, buf + n, '\n'));
        last = buf[n - 1];
    }
    if (any && last != '\n') ++lines;  // a last line without its line end
    if (!any && !header_.empty()) {
        const std::string text = ToFileText(header_);
        bool ok = std::fseek(f, 0, SEEK_END) == 0;
        ok = ok && std::fwrite(text.data(), 1, text.size(), f) == text.size();
        ok = std::fflush(f) == 0 && ok;
        lines = ok ? 1 : 0;
    }
    std::fclose(f);
    return lines;
}

int DataRecorder::EmptyRecord(const std::string& file_name) {
    std::lock_guard<std::mutex> g(m_);
    const std::string target = file_name.empty() ? file_name_ : file_name;
    std::FILE* f = OpenFile(target, "r+b");
    if (!f) return -1;
    std::fclose(f);
    std::error_code ec;
    std::filesystem::resize_file(target, 0, ec);
    if (ec) return -1;
    if (SameFile(target, file_name_)) samples_.clear();
    row_counter_ = CountLinesLocked(false);
    return row_counter_;
}

std::string DataRecorder::FormatRow(int row, const RecordSample& s) const {
    // The row format comes from the string table: only "%d" (the next value) and "%%" are
    // conversions, anything else is copied as it stands, so no text can misuse printf.
    const int values[8] = {row,     s.position, s.goal,        s.torque,
                           s.speed, s.current,  s.temperature, s.voltage};
    std::string out;
    size_t next = 0;
    const std::string& fmt = row_format_;
    for (size_t i = 0; i < fmt.size(); ++i) {
        if (fmt[i] == '%' && i + 1 < fmt.size()) {
            if (fmt[i + 1] == 'd' && next < 8) {
                out += std::to_string(values[next++]);
                ++i;
                continue;
            }
            if (fmt[i + 1] == '%') {
                out += '%';
                ++i;
                continue;
            }
        }
        out += fmt[i];
    }
    return ToFileText(out);
}

int DataRecorder::Collected() const {
    std::lock_guard<std::mutex> g(m_);
    return static_cast<int>(samples_.size());
}

int DataRecorder::BatchSize() const {
    std::lock_guard<std::mutex> g(m_);
    return batch_size_;
}

int DataRecorder::RowCounter() const {
    std::lock_guard<std::mutex> g(m_);
    return row_counter_;
}

std::string DataRecorder::FileName() const {
    std::lock_guard<std::mutex> g(m_);
    return file_name_;
}

bool DataRecorder::LastWriteFailed() const {
    std::lock_guard<std::mutex> g(m_);
    return last_write_failed_;
}

long long DataRecorder::DroppedRows() const {
    std::lock_guard<std::mutex> g(m_);
    return dropped_;
}
