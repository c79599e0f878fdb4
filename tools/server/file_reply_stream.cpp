#include "tools/server/file_reply_stream.h"

#include <sys/types.h>

#include <vector>

#include "tools/server/base64_encoder.h"

std::unique_ptr<FileReplyStream> FileReplyStream::Open(const std::string& path, long long max_bytes,
                                                       std::string head) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return nullptr;
    const bool sized = std::fseek(file, 0, SEEK_END) == 0;
    const long size = sized ? std::ftell(file) : -1;
    if (size < 0 || size > max_bytes) {
        std::fclose(file);
        return nullptr;
    }
    return std::unique_ptr<FileReplyStream>(
        new FileReplyStream(file, static_cast<size_t>(size), std::move(head)));
}

FileReplyStream::FileReplyStream(std::FILE* file, size_t bytes, std::string head)
    : file_(file), bytes_(bytes), encoded_((bytes + 2) / 3 * 4), head_(std::move(head)) {}

FileReplyStream::~FileReplyStream() { std::fclose(file_); }

bool FileReplyStream::Next(size_t offset, std::string& part) {
    // One part runs from offset through at most one block of the file, with the reply's
    // beginning or end where they touch it, so a small reply goes out in one piece.
    part.clear();
    if (offset < head_.size()) {
        part = head_.substr(offset);
        offset = head_.size();
    }
    size_t at = offset - head_.size();
    if (at < encoded_) {
        // Parts of the Base64 text always end on a whole group, so at names one.
        if (at % 4 != 0) return false;
        const size_t from = at / 4 * 3;
        const size_t n = bytes_ - from < kBlockBytes ? bytes_ - from : kBlockBytes;
        std::vector<unsigned char> block(n);
        if (std::fseek(file_, static_cast<long>(from), SEEK_SET) != 0 ||
            std::fread(block.data(), 1, n, file_) != n)
            return false;
        const std::string text = EncodeBase64(block.data(), n);
        part += text;
        at += text.size();
    }
    if (at >= encoded_ && at - encoded_ < kTail.size()) part += kTail.substr(at - encoded_);
    return !part.empty();
}
