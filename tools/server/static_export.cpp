#include "tools/server/static_export.h"

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <set>
#include <system_error>

#include "tools/server/file_catalog.h"
#include "tools/server/update_server.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kVersionFolder = "zqgetzuixinbanben";
constexpr const char* kFileFolder = "zqgetzuixinwenjian";

// Characters a client puts into the URL unescaped that a URL path cannot carry as the
// file name: a web server would read them as query, fragment or escape.
bool UrlSafe(const std::string& name) { return name.find_first_of("?#% ") == std::string::npos; }

// Writes beside the target and renames over it, so a reader sees the old or the new
// reply, never half of one.
bool WriteWhole(const fs::path& path, const std::string& body) {
    const fs::path tmp = path.parent_path() / ("." + path.filename().string() + ".part");
    FILE* f = std::fopen(tmp.c_str(), "wb");
    if (f == nullptr) return false;
    bool ok = std::fwrite(body.data(), 1, body.size(), f) == body.size();
    ok = std::fflush(f) == 0 && ok;
    ok = fsync(fileno(f)) == 0 && ok;
    ok = std::fclose(f) == 0 && ok;
    std::error_code ec;
    if (ok) fs::rename(tmp, path, ec);
    if (!ok || ec) {
        fs::remove(tmp, ec);
        return false;
    }
    return true;
}

void RemoveStale(const fs::path& folder, const std::set<std::string>& keep) {
    std::error_code ec;
    std::vector<fs::path> stale;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        if (!keep.count(it->path().filename().string())) stale.push_back(it->path());
    }
    for (const fs::path& p : stale) fs::remove(p, ec);
}

}  // namespace

std::string FallbackLine() {
    return std::string(
               "location ~ ^/zqgetzuixin(banben|wenjian)/ { default_type "
               "application/json; try_files $uri /") +
           kNothingStoredFile + "; }";
}

ExportResult ExportReplies(const std::string& root, const std::string& dir) {
    ExportResult result;
    const fs::path out(dir);
    std::error_code ec;
    for (const char* folder : {kVersionFolder, kFileFolder}) {
        fs::create_directories(out / folder, ec);
        if (ec) {
            result.error = (out / folder).string() + ": " + ec.message();
            return result;
        }
    }
    const FileCatalog catalog(root);
    std::set<std::string> written;
    for (const std::string& name : catalog.Names()) {
        if (!UrlSafe(name)) {
            result.skipped.push_back(name);
            continue;
        }
        const std::optional<StoredFile> file = catalog.Find(name);
        if (!file) continue;  // removed since the listing
        for (const bool content : {false, true}) {
            const fs::path path = out / (content ? kFileFolder : kVersionFolder) / name;
            if (!WriteWhole(path, UpdateServer::BuildReply(&*file, content))) {
                result.error = "cannot write " + path.string();
                return result;
            }
        }
        written.insert(name);
        result.names.push_back(name);
    }
    if (!WriteWhole(out / kNothingStoredFile, UpdateServer::BuildReply(nullptr, false))) {
        result.error = "cannot write " + (out / kNothingStoredFile).string();
        return result;
    }
    RemoveStale(out / kVersionFolder, written);
    RemoveStale(out / kFileFolder, written);
    result.ok = true;
    return result;
}
