#include "definitions/servo_setup.h"

#include <string_view>

#include "platform/string_table.h"

const std::string ServoSetup::kUnknownModel = "\xCE\xB4\xD6\xAA\xD0\xCD\xBA\xC5";

namespace {

// Read-only words of the two string tables (ids 190), as the setup files spell them.
constexpr std::string_view kReadOnlyEnglish = "r";
constexpr std::string_view kReadOnlyChinese = "\xD6\xBB\xB6\xC1";

}  // namespace

ServoSetup::ServoSetup(const StringTable& strings, SettingsStore& settings)
    : settings_(settings),
      read_only_word_(strings.chinese() ? kReadOnlyChinese : kReadOnlyEnglish),
      main_name_(strings.Get(180)),
      modbus_name_(strings.Get(179)),
      pwm_name_(strings.Get(210)) {}

void ServoSetup::UseLocalFiles() { SetFolders(std::string()); }

void ServoSetup::SetFolders(const std::string& folder) {
    std::string with_separator = folder;
    if (!with_separator.empty() && with_separator.back() != '/' && with_separator.back() != '\\') {
        with_separator += '/';
    }
    std::lock_guard<std::mutex> guard(names_lock_);
    main_folder_ = modbus_folder_ = pwm_folder_ = with_separator;
}

std::string ServoSetup::FolderOf(const std::string& name) const {
    std::lock_guard<std::mutex> guard(names_lock_);
    if (name == main_name_) return main_folder_;
    if (name == modbus_name_) return modbus_folder_;
    if (name == pwm_name_) return pwm_folder_;
    return std::string();
}

std::string ServoSetup::PathOf(const std::string& name) const { return FolderOf(name) + name; }

const std::string& ServoSetup::FileForKind(ServoKind kind) const {
    if (kind == kKindPwm) return pwm_name_;
    if (kind == kKindModbus) return modbus_name_;
    return main_name_;
}
