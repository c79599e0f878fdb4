#include "updater/reply_closure.h"

void ReplyClosure::Feed(const char* data, size_t n) {
    for (size_t i = 0; i < n && !closed_; ++i) {
        const char c = data[i];
        if (in_string_) {
            if (escaped_) {
                escaped_ = false;
            } else if (c == '\\') {
                escaped_ = true;
            } else if (c == '"') {
                in_string_ = false;
            }
        } else if (c == '"') {
            in_string_ = true;
        } else if (c == '{') {
            ++depth_;
        } else if (c == '}' && depth_ > 0) {
            closed_ = --depth_ == 0;
        }
    }
}
