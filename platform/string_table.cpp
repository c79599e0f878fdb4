#include "platform/string_table.h"

#include <cstddef>

namespace string_table_data {
struct Entry {
    int id;
    const char8_t* text;
};
extern const Entry kEnglish[];
extern const Entry kChinese[];
extern const std::size_t kEnglishCount;
extern const std::size_t kChineseCount;
}  // namespace string_table_data

std::string StringTable::Get(int id) const {
    using namespace string_table_data;
    const Entry* table = chinese_ ? kChinese : kEnglish;
    const std::size_t count = chinese_ ? kChineseCount : kEnglishCount;
    for (std::size_t i = 0; i < count; ++i) {
        if (table[i].id == id) return reinterpret_cast<const char*>(table[i].text);
    }
    return {};
}
