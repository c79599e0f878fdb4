#pragma once
// Queries to the update server: fetch a reply, parse it flat into a map, decode Base64.
#include <cstdint>
#include <functional>
#include <map>
#include <string>

#include "platform/http_client.h"

class SettingsStore;

using ReplyMap = std::map<std::string, std::string>;

// Largest reply body accepted; a longer one counts as a failed transfer.
constexpr size_t kMaxReplyBytes = 16 * 1024 * 1024;

// "host" or "host:port" of the update server: $VEXA_UPDATE_SERVER, else the build default.
std::string UpdateServerHost();
// "http://host:9048" (or the port given with the host).
std::string UpdateServerBase();
std::string VersionQueryUrl(const std::string& name);  // .../zqgetzuixinbanben/NAME
std::string FileQueryUrl(const std::string& name);     // .../zqgetzuixinwenjian/NAME

// Largest body a streamed query accepts: the stream goes to a file, not into memory, and a
// program build is larger than any reply kept whole.
constexpr size_t kMaxStreamBytes = 512 * 1024 * 1024;

// ServerStream's connection settings: ServerGet's time-outs for connecting and for each
// silence (3000 ms), the stream's body cap, and no bound on the whole transfer, so a long
// download that keeps flowing is never cut while one that stalls ends.
HttpOptions ServerStreamOptions();

// The reply body as it arrives, with ServerStreamOptions; on_chunk returns false to end the
// transfer. true when the transport saw the whole body arrive.
bool ServerStream(const std::string& url,
                  const std::function<bool(const char* data, size_t size)>& on_chunk);

// A plain file name: no folder part, no leading dot (so neither a reference to a folder nor
// a hidden file), no control characters, nothing a file system reads specially. Names the
// server gives for files to write must pass it.
bool IsPlainFileName(const std::string& name);

// The reply body with the line feeds removed, or "" on any failure.
std::string ServerGet(const std::string& url);
// Adds the members of text to map (flat parser, one level of nesting).
void ParseReply(ReplyMap& map, const std::string& text);
// Decodes up to length characters of text into output (at most capacity bytes); returns
// the number of bytes written, or -1 when the decoded data would not fit.
int DecodeBase64(const char* text, int length, uint8_t* output, int capacity);
// The 6-bit value of a Base64 character; 0 for a character outside the alphabet.
int Base64Value(unsigned char c);
// One group of two to four Base64 characters (missing ones count as '=', and '=' ends the
// group): writes its one to three bytes to out and returns how many.
int DecodeBase64Group(const char* group, int have, uint8_t out[3]);
// 0 same build, -1 no stored date, -2 no answer, -3 no data, -4 newer build on the server.
int CheckVersion(const SettingsStore& settings);
