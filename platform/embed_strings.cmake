# Turns the two string-table files ("ID<TAB>text" per line, UTF-8; '#' starts a comment
# line; \n in a text stands for a line break) into a C++ source with two sorted arrays.
function(read_table file var)
  file(STRINGS ${file} lines ENCODING UTF-8)
  set(out "")
  foreach(line IN LISTS lines)
    if(line MATCHES "^([0-9]+)\t(.*)$")
      set(id ${CMAKE_MATCH_1})
      set(text "${CMAKE_MATCH_2}")
      string(REPLACE "\\" "\\\\" text "${text}")
      string(REPLACE "\"" "\\\"" text "${text}")
      string(REPLACE "\\\\n" "\\n" text "${text}")
      string(APPEND out "    {${id}, u8\"${text}\"},\n")
    endif()
  endforeach()
  set(${var} "${out}" PARENT_SCOPE)
endfunction()
read_table(${EN} en)
read_table(${ZH} zh)
file(WRITE ${OUT}.tmp "// Generated from resources/strings_*.txt; do not edit.
#include <cstddef>
namespace string_table_data {
struct Entry { int id; const char8_t* text; };
extern const Entry kEnglish[];
extern const Entry kChinese[];
extern const std::size_t kEnglishCount;
extern const std::size_t kChineseCount;
const Entry kEnglish[] = {
${en}    {-1, u8\"\"}};
const Entry kChinese[] = {
${zh}    {-1, u8\"\"}};
const std::size_t kEnglishCount = sizeof(kEnglish) / sizeof(kEnglish[0]) - 1;
const std::size_t kChineseCount = sizeof(kChinese) / sizeof(kChinese[0]) - 1;
}
")
file(COPY_FILE ${OUT}.tmp ${OUT} ONLY_IF_DIFFERENT)
