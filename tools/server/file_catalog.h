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

struct StoredFile {
    std::string path;          // the file on disk
    std::string filename;      // the name the reply gives the client
    std::string created_date;  // milliseconds since 1970 as decimal text
    std::string banben;
    std::string xinghao;
    long long cut_after = -1;  // test hook: close the connection after this many reply bytes
    long long cut_from = 1;    // test hook: the first request for the file that is cut
};

class FileCatalog {
  public:
    explicit FileCatalog(std::string root);

    // The stored file for name, or nothing when the name is unsafe or nothing is stored.
    // The folder and the manifest are read anew on every call.
    std::optional<StoredFile> Find(const std::string& name) const;

    // Every name the folder can answer for now (setup and program files, parameter and
    // firmware model folders), sorted; Find gives each one's reply.
    std::vector<std::string> Names() const;

    // A single plain name: not empty, no '/', '\\', control bytes, no leading '.'.
    static bool IsPlainName(const std::string& name);

  private:
    std::string root_;
};
