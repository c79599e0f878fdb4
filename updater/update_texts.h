#pragma once
// Every text VexaUpdate shows, in English or Chinese (UTF-8).
#include <string>

struct UpdateTexts {
    explicit UpdateTexts(bool chinese);

    // Replaces the first "%s" of pattern with value (value is never read as a format).
    static std::string Fill(const std::string& pattern, const std::string& value);

    bool chinese;
    std::string caption;       // message boxes and the dialog
    std::string download;      // button 1266
    std::string instruction;   // the log before the first run
    std::string no_reply;      // version reply empty
    std::string not_detected;  // data null or empty
    std::string bad_name;      // %s: the name the server gave
    std::string file_label, version_label, upload_label;
    std::string progress;         // printf pattern of the running figure
    std::string tmp_failed;       // Vexa.tmp cannot be created or written
    std::string connection_lost;  // transfer error
    std::string no_payload;       // no program data arrived
    std::string close_target;     // %s: the target file
    std::string register_failed;  // the box
    std::string register_failed_log, register_ok_log;
    std::string success;
};
