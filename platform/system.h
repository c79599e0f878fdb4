#pragma once
// Small questions asked of the operating system: the temporary folder, the user's
// language, and the conversion of Chinese texts (code page 936 / GBK bytes) for display.
#include <string>

// $TMPDIR when set and not empty, else /tmp, always ending in '/'. Empty when that folder
// does not exist or the path would be longer than 260 characters.
std::string TempFolder();

// True when the user's locale is Simplified Chinese (China): the first non-empty one of
// LC_ALL, LC_MESSAGES and LANG names zh_CN.
bool UserIsChinese();

// GBK bytes to UTF-8. Bytes that do not form a GBK character become U+FFFD; never throws.
std::string GbkToUtf8(const std::string& gbk);
