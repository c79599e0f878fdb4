#pragma once
// Base64 (A-Z, a-z, 0-9, '+', '/', '=' padding) decoded as one continuous stream: the text
// may be fed in pieces of any size, and carriage returns and line feeds are skipped
// wherever they fall, so a group split across two pieces or around a line break still
// yields its bytes. A character outside the alphabet counts as the value 0.
#include <string>

class Base64StreamDecoder {
  public:
    // Appends the bytes of every group completed by text[0, n) to out.
    void Feed(const char* text, size_t n, std::string& out);
    // Ends the stream: a final group of two or three characters is read as if padded
    // (one or two bytes); a lone final character carries too few bits and yields nothing.
    void Finish(std::string& out);

  private:
    void Group(std::string& out);

    char group_[4] = {};
    int have_ = 0;
};
