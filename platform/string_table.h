#pragma once
// The string tables of both interface languages, keyed by string id, compiled into the
// program from resources/strings_en.txt and resources/strings_zh.txt (UTF-8).
#include <string>

class StringTable {
  public:
    explicit StringTable(bool chinese) : chinese_(chinese) {}
    // The text for id in this table's language (UTF-8); empty when the id is unknown.
    std::string Get(int id) const;
    bool chinese() const { return chinese_; }

  private:
    bool chinese_;
};

// How code chooses between an English and a Chinese text of its own (both UTF-8).
inline const char* PickText(bool chinese, const char* english, const char* chinese_text) {
    return chinese ? chinese_text : english;
}
