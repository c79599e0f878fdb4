#pragma once
// Follows the structure of a server reply as it streams in, to tell a reply that ended from
// one that was cut. A server that announces no length ends the body by closing the
// connection, and the transport then calls a cut reply complete; the reply is whole only
// when every string it opened has its closing quote and its outermost object its closing
// brace. Backslash escapes inside strings are honoured, as in JSON.
#include <cstddef>

class ReplyClosure {
  public:
    void Feed(const char* data, size_t n);
    // The outermost object has been closed, with no string left open inside it.
    bool Closed() const { return closed_; }

  private:
    long depth_ = 0;
    bool in_string_ = false;
    bool escaped_ = false;
    bool closed_ = false;
};
