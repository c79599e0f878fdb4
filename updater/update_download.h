#pragma once
// VexaUpdate's one job: ask the update server for the newest "Vexa.exe" build, stream the
// file query's reply into "Vexa.tmp", decode it into the program file the reply names and
// record the build's upload time as "createdDate" in the settings store that Vexa reads at
// start-up. Runs on the calling thread (the dialog's worker, or the command line).
//
// A run never leaves a broken program behind: the new program is decoded into a file beside
// the target and renamed over it only when complete, and the date is stored only after
// that, so any failure keeps the old program and the old date. A reply counts as arrived
// only when its payload string and the reply object are closed: a server that announced no
// length and hung up early has cut it, whatever the transport says.
#include <atomic>
#include <functional>
#include <string>

#include "updater/update_texts.h"
#include "updater/update_view.h"

class SettingsStore;

struct UpdateServerAccess {
    using Get = std::function<std::string(const std::string& url)>;
    using Stream = std::function<bool(const std::string& url,
                                      const std::function<bool(const char*, size_t)>& on_chunk)>;
    Get get;        // the whole reply as text ("" on failure)
    Stream stream;  // the reply in pieces; true when all of it arrived
    // ServerGet and ServerStream against the configured update server.
    static UpdateServerAccess Default();
};

class UpdateDownload {
  public:
    enum class Result {
        kNoReply,
        kNotDetected,
        kBadName,
        kTmpFailed,
        kConnectionLost,
        kNoPayload,
        kTargetFailed,
        kRegisterFailed,
        kSuccess,
    };
    static constexpr const char* kQueryName = "Vexa.exe";
    static constexpr const char* kTmpName = "Vexa.tmp";
    // Pieces are handled at most this long, as the reply is read in 1023-byte reads.
    static constexpr size_t kReadSize = 1023;
    // Text kept while looking for the payload; a reply whose payload has not begun by then
    // carries none (this keeps the repeated parse of the growing text bounded).
    static constexpr size_t kMaxHeadBytes = 256 * 1024;

    // folder: where "Vexa.tmp" and the program file are written ("." the current folder).
    UpdateDownload(UpdateView& view, SettingsStore& settings, std::string folder, bool chinese,
                   UpdateServerAccess server = UpdateServerAccess::Default());

    // The whole procedure; cancel (may be null) ends a running transfer as a lost connection.
    Result Run(const std::atomic<bool>* cancel = nullptr);

  private:
    std::string Path(const std::string& name) const;
    Result Fail(Result result, const std::string& text, bool enable);
    // Decodes the temporary file into the target through a file beside it.
    bool Install(std::FILE* tmp, const std::string& target);

    UpdateView& view_;
    SettingsStore& settings_;
    std::string folder_;
    UpdateTexts texts_;
    UpdateServerAccess server_;
};
