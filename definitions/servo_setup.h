#pragma once
// Owns the three setup files: their names and folders, the refresh from the update server,
// and the four lookups keyed by a servo's identification bytes. Nothing is cached: every
// lookup reads its file anew.
#include <array>
#include <cstdint>
#include <mutex>
#include <string>

#include "definitions/servo_types.h"

class SettingsStore;
class StringTable;

class ServoSetup {
  public:
    // Names from string ids 180 (main), 179 (Modbus), 210 (PWM) of the interface language.
    ServoSetup(const StringTable& strings, SettingsStore& settings);

    bool RefreshFromServer();
    int IsFileCurrent(const std::string& name, const std::string& folder);
    int StoreFileDate(const std::string& name, const std::string& date);
    void UseLocalFiles();

    // Each lookup reads the setup file it names: MainName(), ModbusName(), PwmName(), or
    // FileForKind(kind) for a found servo. Nothing is shared between lookups, so they may
    // run on several threads at once.

    // Fills entries[0..count-1] and always leaves a "NULL" row at entries[count]
    // (count <= capacity - 1). Returns count. A section with more entries than fit before
    // the "NULL" row is refused whole (0); one that ends without a "NULL" line keeps the
    // entries read so far.
    int LoadMemoryTable(const std::string& file, MemoryEntry* entries, int capacity,
                        const uint8_t* ident);
    // 1 when the file has a memory section for ident; the matched key is then copied to
    // *matched.
    int HasMemoryTable(const std::string& file, const uint8_t* ident,
                       std::array<uint8_t, 4>* matched = nullptr);
    // The model name as raw file bytes (code page 936 in the Chinese files), or
    // kUnknownModel. May set ident[2].
    std::string LookupModelName(const std::string& file, uint8_t* ident);
    int LookupDebugRow(const std::string& file, const uint8_t* ident, DebugRow& row);

    // The setup file of a servo kind: the PWM file for kKindPwm, the Modbus file for
    // kKindModbus, the main file for any other kind.
    const std::string& FileForKind(ServoKind kind) const;

    const std::string& MainName() const { return main_name_; }
    const std::string& ModbusName() const { return modbus_name_; }
    const std::string& PwmName() const { return pwm_name_; }
    // Folder for tests and the demo: all three files are read from here.
    void SetFolders(const std::string& folder);

    // "未知型号" in code page 936.
    static const std::string kUnknownModel;
    // Largest setup file a download may deliver; a larger one is refused.
    static constexpr int kMaxFileBytes = 51200;

  private:
    // Folder of the named file (empty for a name that is none of the three), and the
    // folder followed by the name; both take names_lock_.
    std::string FolderOf(const std::string& name) const;
    std::string PathOf(const std::string& name) const;
    // Downloads one setup file into folder; false when nothing usable arrived.
    bool Download(const std::string& name, const std::string& folder);

    SettingsStore& settings_;
    // Read-only word of the interface language, in file bytes: the access given to an
    // entry line that lacks its access field.
    std::string read_only_word_;
    // Guards the folders, which the user-interface thread changes while lookups run on
    // timer threads.
    mutable std::mutex names_lock_;
    std::string main_folder_, modbus_folder_, pwm_folder_;
    std::string main_name_, modbus_name_, pwm_name_;
};
