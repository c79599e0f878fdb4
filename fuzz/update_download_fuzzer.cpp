// VexaUpdate's whole download on an arbitrary file-query reply: the search for the payload
// in the growing head of the reply, the stripping of each piece, the decoding and the
// installation. The first byte sets the size of the pieces the reply arrives in and
// whether the transfer breaks off after them; the rest is the reply. Whatever the reply,
// the program file is either the complete new one or not there at all, and "Vexa.tmp" is
// left behind only when the program file could not be written.
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <string>

#include "fuzz/scratch_folder.h"
#include "platform/settings_store.h"
#include "updater/update_download.h"

namespace {

struct QuietView : UpdateView {
    void SetLog(const std::string&) override {}
    void EnableDownload(bool) override {}
    void ShowMessage(const std::string&, UpdateIcon) override {}
};

bool Exists(const std::string& path) { return ::access(path.c_str(), F_OK) == 0; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static ScratchFolder folder;
    static QuietView view;
    static SettingsStore settings(folder.path);
    if (folder.path.empty() || size < 1) return 0;
    const size_t piece = 1 + (data[0] & 0x7F) * 16;
    const bool breaks_off = data[0] & 0x80;
    const char* reply = reinterpret_cast<const char*>(data + 1);
    const size_t n = size - 1;

    UpdateServerAccess server;
    server.get = [](const std::string&) {
        return std::string(
            "{\"code\":0,\"data\":{\"banben\":\"1.0\",\"filename\":\"Vexa\","
            "\"createdDate\":\"1694574245000\"}}");
    };
    server.stream = [&](const std::string&,
                        const std::function<bool(const char*, size_t)>& on_chunk) {
        for (size_t at = 0; at < n; at += piece) {
            if (!on_chunk(reply + at, std::min(piece, n - at))) return false;
        }
        return !breaks_off;
    };
    const std::string target = folder.path + "/Vexa", tmp = folder.path + "/Vexa.tmp";
    std::remove(target.c_str());
    UpdateDownload download(view, settings, folder.path, false, server);
    const UpdateDownload::Result result = download.Run();
    const bool installed = result == UpdateDownload::Result::kSuccess ||
                           result == UpdateDownload::Result::kRegisterFailed;
    if (Exists(target) != installed || Exists(target + ".part")) std::abort();
    if (Exists(tmp) != (result == UpdateDownload::Result::kTargetFailed)) std::abort();
    return 0;
}
