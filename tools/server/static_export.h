#pragma once
// The update service as static files: every reply the server would give for the files of
// its folder, written at the query path it answers, so that any web server can carry it.
//   DIR/zqgetzuixinbanben/NAME    the version reply for NAME
//   DIR/zqgetzuixinwenjian/NAME   the file reply for NAME
//   DIR/nothing-stored.json       {"code":0,"data":null}, for every name not exported
#include <string>
#include <vector>

struct ExportResult {
    bool ok = false;
    std::vector<std::string> names;    // exported, sorted
    std::vector<std::string> skipped;  // names a URL path cannot carry as they are
    std::string error;                 // when !ok: what could not be written
};

constexpr const char* kNothingStoredFile = "nothing-stored.json";

// The one web-server line that gives a name the export does not hold the "nothing stored"
// reply instead of a 404.
std::string FallbackLine();

// Writes the export of `root` into `dir` (created if missing). Each file is replaced whole;
// replies of names that are no longer stored are removed afterwards, so an export can be
// refreshed in place while it is served.
ExportResult ExportReplies(const std::string& root, const std::string& dir);
