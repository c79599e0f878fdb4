#pragma once
// The one way every caller asks the update server for something: the query, the checks of
// its reply and, for files, the decoding of their content. Callers turn the result into
// their own messages.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "definitions/server_query.h"

enum class ServerResult {
    kFound,          // "data" held members (and, for a file, its content fitted)
    kNoReply,        // no answer, or an empty one
    kNothingStored,  // "data" missing, null or empty
    kTooLarge,       // the file decodes to more than the caller can take
};

struct ServerReply {
    ServerResult result = ServerResult::kNoReply;
    ReplyMap members;            // the members of "data"
    std::vector<uint8_t> bytes;  // a file's "wenjian", decoded (DownloadServerFile only)
};

// Takes a reply body apart as every caller reads it.
ServerReply ReadServerReply(const std::string& body);
// The version or file query at url.
ServerReply QueryServer(const std::string& url);
// The file query for name with its content decoded; kTooLarge when that would be more than
// capacity bytes.
ServerReply DownloadServerFile(const std::string& name, size_t capacity);

// An upload time ("createdDate", milliseconds since 1970 as text) in local time, as
// "year-month-day hour:minute:second\r\n" without leading zeros.
std::string FormatUploadTime(const std::string& created_date);
