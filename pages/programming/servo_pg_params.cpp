// The Programming page's whole-table operations: parameter files ("Save", "Load"), the
// servo's own "Recovery" and "Backup", and "Online" loading from the update server.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "definitions/server_file.h"
#include "modbus/modbus.h"
#include "pages/programming/main_window_services.h"
#include "pages/programming/servo_pg.h"
#include "protocol/tervion.h"
#include "transport/cqv_comm.h"

using namespace pg;

namespace {

// Writes bytes to a temporary file beside path and renames it over path only when every
// byte is on disk, so that a failed save never leaves a partial file.
bool WriteWhole(const std::string& path, const std::vector<uint8_t>& bytes) {
    const std::string tmp = path + ".part";
    FILE* f = std::fopen(tmp.c_str(), "wb");
    if (f == nullptr) return false;
    const bool written =
        bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    const bool flushed = std::fflush(f) == 0;
    const bool closed = std::fclose(f) == 0;
    if (written && flushed && closed && std::rename(tmp.c_str(), path.c_str()) == 0) return true;
    std::remove(tmp.c_str());
    return false;
}

std::string BaseName(const std::string& path) {
    const size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

std::string CServoPG::FileFilter(ServoKind kind) const {
    if (kind == kKindPwm) return "Servo Files (*.dat)|*.dat||";
    if (kind == kKindModbus) return "Servo Files (*.mdat)|*.mdat||";
    return "Servo Files (*.xdat)|*.xdat||";
}

pg::WriteTarget CServoPG::WriterTarget(const Target& t) const {
    return {t.id, t.kind, FindEntryAddress(texts_.lock_name)};
}

bool CServoPG::Box(const std::string& caption, bool ok, const std::string& success,
                   const std::string& failure) {
    view_->ShowMessage(caption, ok ? success : failure, ok ? PgIcon::kExclamation : PgIcon::kError);
    return ok;
}

bool CServoPG::OnSave() {
    const Data data = CopyData();
    if (data.layout.total == 0) return false;
    // Before the servo has answered, the images hold nothing of it: a file of them would
    // carry zeros as parameters.
    if (data.areas_read == 0) {
        view_->ShowMessage(texts_.save_caption, texts_.nothing_read, PgIcon::kError);
        return false;
    }
    const std::string path = view_->AskSavePath(FileFilter(Snapshot().kind), "xdat");
    if (path.empty()) return false;
    const FileFormat format = FormatOfPath(path);
    // Every block the file carries must hold what the servo has: an unread one is zeros,
    // and loading the file would write them as parameters.
    for (int area : AreasOfFormat(format)) {
        if (data.layout.area[area].length != 0 && (data.areas_read & (1u << area)) == 0) {
            view_->ShowMessage(texts_.save_caption, texts_.not_all_read, PgIcon::kError);
            return false;
        }
    }
    if (WriteWhole(path, BuildParameterFile(format, data.layout, data.images))) return true;
    std::string text = texts_.file_not_written;
    if (const auto at = text.find("%s"); at != std::string::npos)
        text.replace(at, 2, BaseName(path));
    view_->ShowMessage(texts_.save_caption, text, PgIcon::kError);
    return false;
}

bool CServoPG::OnLoad() {
    if (TotalLength() == 0) return false;
    const std::string path = view_->AskOpenPath(FileFilter(Snapshot().kind), "xdat");
    if (path.empty()) return false;
    const FileFormat format = FormatOfPath(path);
    FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) return false;
    // One byte more than a parameter file may hold tells an overlong file apart.
    uint8_t image[kMaxParameterBytes + 1] = {};
    const size_t n = std::fread(image, 1, sizeof image, f);
    std::fclose(f);
    if (format == FileFormat::kNone) return false;
    if (n > static_cast<size_t>(kMaxParameterBytes))
        return Box(texts_.load_caption, false, texts_.loaded, texts_.load_failed);
    return LoadImage(format, image, static_cast<int>(n), texts_.load_caption);
}

bool CServoPG::LoadImage(FileFormat format, uint8_t* image, int n, const std::string& caption) {
    const Target t = Snapshot();
    if (format == FileFormat::kXdat) return LoadXdat(t, image, n, caption);
    if (format == FileFormat::kMdat) return LoadMdat(t, image, n, caption);
    int r;
    {
        const int start = Layout().area[kEprom].start;
        std::lock_guard<BusLock> g(bus_lock_);
        r = writers_.WriteEpromImage(WriterTarget(t), start, n, image);
    }
    return Box(caption, r != -2, texts_.loaded, texts_.load_failed);
}

bool CServoPG::LoadXdat(const Target& t, uint8_t* image, int n, const std::string& caption) {
    auto failed = [&] { return Box(caption, false, texts_.loaded, texts_.load_failed); };
    XdatLayout x;
    if (!ParseXdat(image, n, x)) return failed();
    const int same = main_.CompareServoModel(t.id, image + 2, t.kind);
    if (same == 2) {
        view_->ShowMessage(caption, texts_.wrong_model, PgIcon::kError);
        return false;
    }
    if (same == 1) return failed();
    const WriteTarget w = WriterTarget(t);
    {
        std::lock_guard<BusLock> g(bus_lock_);
        if (writers_.WriteEpromImage(w, x.se, x.e, image + x.eprom_at) == -2) return failed();
    }
    {
        std::lock_guard<BusLock> g(bus_lock_);
        if (!writers_.WriteAreaImage(w, x.sd, x.d, image + x.default_at)) return failed();
    }
    if (x.x != 0) {
        std::lock_guard<BusLock> g(bus_lock_);
        if (!writers_.WriteAreaImage(w, x.sx, x.x, image + x.eprom1_at)) return failed();
    }
    bool backed_up;
    {
        std::lock_guard<BusLock> g(bus_lock_);
        PortTimeout timeout(tervion_.Comm, kSlowTimeoutMs);
        backed_up = tervion_.Backup(static_cast<uint8_t>(t.id)) != 0;
    }
    if (!backed_up) return failed();
    {
        std::lock_guard<BusLock> g(bus_lock_);
        tervion_.Restart(static_cast<uint8_t>(t.id));
    }
    return Box(caption, true, texts_.loaded, texts_.load_failed);
}

bool CServoPG::LoadMdat(const Target& t, const uint8_t* image, int n, const std::string& caption) {
    auto failed = [&] { return Box(caption, false, texts_.loaded, texts_.load_failed); };
    MdatLayout m;
    if (!ParseMdat(image, n, m) || m.info.regs.size() < 2) return failed();
    const uint16_t r0 = m.info.regs[0], r1 = m.info.regs[1];
    const uint8_t ident[5] = {static_cast<uint8_t>(r0 / 100), static_cast<uint8_t>(r0 % 100),
                              identity_[2], static_cast<uint8_t>(r1 / 100),
                              static_cast<uint8_t>(r1 % 100)};
    const int same = main_.CompareServoModel(t.id, ident, t.kind);
    if (same == 2) {
        view_->ShowMessage(caption, texts_.wrong_model, PgIcon::kError);
        return false;
    }
    if (same == 1) return failed();
    const WriteTarget w = WriterTarget(t);
    auto count = [](const MdatBlock& b) { return static_cast<int>(b.regs.size()); };
    {
        std::lock_guard<BusLock> g(bus_lock_);
        if (writers_.WriteInfoRegisters(w, m.info.start, count(m.info), m.info.regs.data()) != 0)
            return failed();
    }
    {
        std::lock_guard<BusLock> g(bus_lock_);
        if (writers_.WriteEpromRegisters(w, m.eprom.start, count(m.eprom), m.eprom.regs.data()) !=
            0)
            return failed();
    }
    {
        std::lock_guard<BusLock> g(bus_lock_);
        if (!writers_.WriteDefaultRegisters(w, m.def.start, count(m.def), m.def.regs.data()))
            return failed();
    }
    bool backed_up;
    {
        std::lock_guard<BusLock> g(bus_lock_);
        PortTimeout timeout(modbus_.Port, kSlowTimeoutMs);
        backed_up = writers_.ModbusBackup(t.id);
    }
    return Box(caption, backed_up, texts_.loaded, texts_.load_failed);
}

bool CServoPG::OnRecovery() { return StoreCommand(false); }

bool CServoPG::OnBackup() { return StoreCommand(true); }

bool CServoPG::StoreCommand(bool backup) {
    const Target t = Snapshot();
    if (t.id < 0 || t.kind == kKindPwm) return false;
    bool ok;
    {
        std::lock_guard<BusLock> g(bus_lock_);
        PortTimeout timeout(tervion_.Comm, kSlowTimeoutMs);
        const uint8_t id = static_cast<uint8_t>(t.id);
        if (t.kind == kKindModbus)
            ok = backup ? writers_.ModbusBackup(t.id) : writers_.ModbusRecovery(t.id);
        else  // without status replies the servo cannot say, and is taken at its word
            ok = (backup ? tervion_.Backup(id) : tervion_.Recovery(id)) != 0 || tervion_.Level == 0;
    }
    if (backup) return Box(texts_.backup_caption, ok, texts_.backed_up, texts_.backup_failed);
    return Box(texts_.recovery_caption, ok, texts_.recovered, texts_.recovery_failed);
}

bool CServoPG::OnOnline() {
    const Target t = Snapshot();
    if (TotalLength() == 0 || t.id < 0) return false;
    char name[16];
    std::snprintf(name, sizeof name, "s%d.%d", identity_[3], identity_[4]);
    view_->SetBusy(true);
    ServerReply reply = DownloadServerFile(name, kMaxParameterBytes);
    view_->SetBusy(false);
    const std::string& caption = texts_.online_caption;
    if (reply.result == ServerResult::kNoReply) {
        view_->ShowMessage(caption, texts_.no_server_reply, PgIcon::kError);
        return false;
    }
    if (reply.result == ServerResult::kNothingStored) {
        view_->ShowMessage(caption, texts_.no_parameter_file, PgIcon::kError);
        return false;
    }
    const FileFormat format = FormatOfStoredName(reply.members["filename"]);
    if (format == FileFormat::kNone) return false;
    // A download larger than a parameter file can be is refused whole.
    if (reply.result == ServerResult::kTooLarge)
        return Box(caption, false, texts_.loaded, texts_.load_failed);
    uint8_t image[kMaxParameterBytes] = {};
    std::copy(reply.bytes.begin(), reply.bytes.end(), image);
    return LoadImage(format, image, static_cast<int>(reply.bytes.size()), caption);
}
