#pragma once
// Maps a name asked of the update server to a file in the served folder (see README.md):
//   s<major>.<minor>   params/<name>/   the newest file in that folder (parameter set)
//   <major>.<minor>    firmware/<name>/ the newest file in that folder
//   *.exe              program/<name>
//   anything else      setup/<name>
// An optional manifest.txt in the folder overrides what the reply says about a name.
#include <optional>
#include <string>
#include <vector>

// Largest program build served (*.exe): its reply is read as a stream into a file, and in
// Base64 it stays far below the 512 MiB such a client accepts. A debug build of Vexa is
// tens of MiB.
constexpr long long kMaxProgramBytes = 128LL * 1024 * 1024;
// Largest other file served: every other reply is kept whole by the client, which accepts
// 16 MiB; in Base64 inside the reply this stays below that.
constexpr long long kMaxFileBytes = 11LL * 1024 * 1024;

struct StoredFile {
    std::string path;                     // the file on disk
    long long max_bytes = kMaxFileBytes;  // larger files are not served
    std::string filename;                 // the name the reply gives the client
    std::string created_date;             // milliseconds since 1970 as decimal text
    std::string banben;
    std::string xinghao;
    long long cut_after = -1;  // test hook: close the connection after this many reply bytes
    long long cut_from = 1;    // test hook: the first request for the file that is cut
};

class FileCatalog {
  public:
    explicit FileCatalog(std::string root);

    // The stored file for name, or nothing when the name is unsafe, nothing is stored or
    // the file is larger than its kind is served (so no reply advertises a file that the
    // file reply would not carry). The folder and the manifest are read anew on every call.
    std::optional<StoredFile> Find(const std::string& name) const;

    // Every name the folder can answer for now (setup and program files, parameter and
    // firmware model folders), sorted; Find gives each one's reply.
    std::vector<std::string> Names() const;

    // A single plain name: not empty, no '/', '\\', control bytes, no leading '.'.
    static bool IsPlainName(const std::string& name);

  private:
    std::string root_;
};
