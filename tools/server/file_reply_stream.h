#pragma once
// A file reply produced while it is sent: the reply's beginning (everything up to the
// opening quote of "wenjian"), then the file in Base64 read a block at a time, then the
// closing quote and braces. A program build can be large; nothing of it is held whole.
// The file's size is taken when it is opened: a file that shrinks while it is sent ends
// the reply early (the client sees a cut transfer), one that grows is sent as it was.
#include <cstddef>
#include <cstdio>
#include <memory>
#include <string>

class FileReplyStream {
  public:
    // nullptr when the file cannot be opened or is larger than max_bytes.
    static std::unique_ptr<FileReplyStream> Open(const std::string& path, long long max_bytes,
                                                 std::string head);
    ~FileReplyStream();
    FileReplyStream(const FileReplyStream&) = delete;
    FileReplyStream& operator=(const FileReplyStream&) = delete;

    // Length of the whole reply.
    size_t size() const { return head_.size() + encoded_ + kTail.size(); }
    // The next part of the reply, beginning at offset (offsets follow the parts returned
    // before): at most one block of the file, with the reply's beginning or end where they
    // touch it. false when offset is past the end or the file no longer delivers its bytes.
    bool Next(size_t offset, std::string& part);

  private:
    FileReplyStream(std::FILE* file, size_t bytes, std::string head);

    // Whole groups of three bytes, so every block but the last encodes without padding.
    static constexpr size_t kBlockBytes = 48 * 1024;
    static inline const std::string kTail = "\"}}";

    std::FILE* file_;
    size_t bytes_;
    size_t encoded_;
    std::string head_;
};
