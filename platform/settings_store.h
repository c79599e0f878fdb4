#pragma once
// Stand-in for the registry key "Software\Vexa\": named string values kept in one small
// file. Every write replaces the file atomically under an advisory lock, so Vexa and
// VexaUpdate never see a half-written file or lose each other's values.
#include <map>
#include <optional>
#include <string>

class SettingsStore {
  public:
    // The file lives in `folder` (created on first write).
    explicit SettingsStore(std::string folder);

    // $VEXA_CONFIG_DIR, else $XDG_CONFIG_HOME/vexa, else ~/.config/vexa.
    static std::string DefaultFolder();

    // The value, or nothing when the key (file) or the value is missing or unreadable.
    std::optional<std::string> Read(const std::string& name) const;
    // false when the folder or file cannot be written.
    bool Write(const std::string& name, const std::string& value);

    const std::string& path() const { return path_; }

  private:
    std::string folder_;
    std::string path_;
};
