#pragma once
// The Programming page: the memory table of the selected servo, refreshed every 100 ms on a
// worker thread and shown on the user-interface thread; single writes with their limits and
// the lock entry; parameter files ("Save", "Load"), "Recovery", "Backup" and "Online".
// Reaches the screen only through ServoPGView.
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "definitions/servo_types.h"
#include "pages/page_interfaces.h"
#include "pages/programming/image_writers.h"
#include "pages/programming/memory_table.h"
#include "pages/programming/parameter_files.h"
#include "pages/programming/pg_texts.h"
#include "pages/programming/servo_pg_view.h"
#include "platform/bus_lock.h"
#include "platform/periodic_worker.h"
#include "platform/ui_dispatcher.h"

class MainWindowServices;
class Modbus;
class ServoSetup;
class Tervion;

class CServoPG : public ProgrammingPage {
  public:
    static constexpr int kRefreshPeriodMs = 100;

    CServoPG(ServoSetup& setup, BusLock& lock, Modbus& modbus, Tervion& tervion,
             MainWindowServices& main, bool chinese, UiDispatcher& ui);
    ~CServoPG() override;
    CServoPG(const CServoPG&) = delete;
    CServoPG& operator=(const CServoPG&) = delete;

    // Binds the screen and initialises the controls. The view must outlive the page or be
    // detached with AttachView(nullptr) after StopRefreshTimer.
    void InitDialog(ServoPGView* view);
    void AttachView(ServoPGView* view);

    // ProgrammingPage.
    void SelectServo(int id, const ServoInfo& record, ServoKind kind) override;
    void StartRefresh() override;
    void StopRefresh() override;
    void StartRefreshTimer() override;
    void StopRefreshTimer() override;
    void SetTorqueByte(int value) override;

    // One refresh (the worker calls it every 100 ms); public for tests and tools that drive
    // it directly. Its results reach the screen through the dispatcher.
    void RefreshTick();

    // User events. Each returns true when the operation reported success.
    void OnRowClicked(int row);  // -1: the click hit no row
    void OnArrowReleased();
    void OnCtrlD();
    bool OnValueButton();
    bool OnSave();
    bool OnLoad();
    bool OnRecovery();
    bool OnBackup();
    bool OnOnline();

    // Address of the first row named name, or -1.
    int FindEntryAddress(const std::string& name) const;

    int servo_id() const;
    ServoKind kind() const;
    const uint8_t* identity() const { return identity_; }
    bool hidden() const { return hidden_; }
    bool Refreshing() const { return worker_.Running(); }
    int TotalLength() const;
    pg::AreaLayout Layout() const;
    const PgTexts& Texts() const { return texts_; }

  private:
    using Table = std::vector<MemoryEntry>;
    struct Target {
        int id = -1;
        ServoKind kind = kKindServo;
        uint8_t identity[5] = {};
        uint64_t generation = 0;
    };
    struct TickResult;
    // The table and the last images as one consistent copy.
    struct Data {
        std::shared_ptr<const std::vector<MemoryEntry>> table;
        pg::AreaLayout layout;
        pg::Images images;
        uint32_t areas_read = 0;  // bit per area: read at least once since the table loaded
    };
    Data CopyData() const;
    std::shared_ptr<const std::vector<MemoryEntry>> CurrentTable() const;

    Target Snapshot() const;
    bool Current(uint64_t generation) const { return generation == generation_.load(); }
    // The one call into the setup store, so that where it reads from is decided here.
    int LoadTable(MemoryEntry* rows, const uint8_t* identity, ServoKind kind);
    // Reloads the table on the tick thread; false when the page has no table now.
    void ReloadTable(const Target& t);
    void ApplyTick(const TickResult& r);
    void ShowRows(uint64_t generation, std::shared_ptr<const Table> table);
    void SelectRow(int row, bool by_click);
    int WriteValue(int row, int value);
    int WriteModbusValue(const Target& t, int address, const std::string& area, int v);
    int WriteServoValue(const Target& t, const MemoryEntry& entry, int address,
                        const std::string& area, int v);
    void ServoIdChanged(int old_id, int new_id);

    // Parameter files and online loading.
    std::string FileFilter(ServoKind kind) const;
    bool LoadImage(pg::FileFormat format, uint8_t* image, int n, const std::string& caption);
    bool LoadXdat(const Target& t, uint8_t* image, int n, const std::string& caption);
    bool LoadMdat(const Target& t, const uint8_t* image, int n, const std::string& caption);
    // "Recovery" (false) or "Backup" (true) asked of the servo itself.
    bool StoreCommand(bool backup);
    bool Box(const std::string& caption, bool ok, const std::string& success,
             const std::string& failure);
    pg::WriteTarget WriterTarget(const Target& t) const;

    ServoSetup& setup_;
    BusLock& bus_lock_;
    Modbus& modbus_;
    Tervion& tervion_;
    MainWindowServices& main_;
    UiPoster ui_;
    const PgTexts texts_;
    pg::ImageWriters writers_;
    ServoPGView* view_;

    // The selection: written on the user-interface thread, read by the tick.
    mutable std::mutex selection_lock_;
    Target target_;
    bool reload_ = false;
    std::atomic<uint64_t> generation_{0};
    uint8_t identity_[5] = {};  // user-interface thread's copy

    // The table and what the last answered tick read, shared by both threads.
    mutable std::mutex data_lock_;
    std::shared_ptr<const Table> table_ = std::make_shared<Table>();
    pg::AreaLayout layout_;
    pg::Images images_;
    uint32_t areas_read_ = 0;  // bit per area: an image is only trusted once read

    // User-interface thread only.
    bool hidden_ = false;
    std::vector<std::string> shown_values_;
    std::shared_ptr<const Table> shown_table_;  // the table the list was built from
    uint64_t rows_generation_ = 0;              // selection whose table the list shows

    PeriodicWorker worker_;
};
