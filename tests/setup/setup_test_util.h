#pragma once
// Small files for the setup-file tests; their folders are TestFolders.
#include <string>

#include "tests/support/test_folder.h"

namespace setup_test {

// Section markers as the files spell them (code page 936), for building test files.
inline const std::string kMem = "[\xC4\xDA\xB4\xE6]";
inline const std::string kMemEnd = "[\xC4\xDA\xB4\xE6\xBD\xE1\xCA\xF8]";
inline const std::string kModel = "[\xD0\xCD\xBA\xC5]";
inline const std::string kModelEnd = "[\xD0\xCD\xBA\xC5\xBD\xE1\xCA\xF8]";
inline const std::string kDebug = "[\xB5\xF7\xCA\xD4]";
inline const std::string kDebugEnd = "[\xB5\xF7\xCA\xD4\xBD\xE1\xCA\xF8]";
inline const std::string kUnknown = "\xCE\xB4\xD6\xAA\xD0\xCD\xBA\xC5";

}  // namespace setup_test
