#pragma once
// The main window's logic: serial settings, the servo list and the records behind it, the
// four pages and their activation on tab changes, the servo search on a worker thread, and
// the services the pages call. It reaches the screen only through ServoMainView; results
// of the search worker reach the user-interface thread through the UiDispatcher.
#include <array>
#include <atomic>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "app/discovery.h"
#include "definitions/servo_types.h"
#include "pages/page_interfaces.h"
#include "pages/programming/main_window_services.h"
#include "platform/bus_lock.h"
#include "platform/ui_dispatcher.h"

class CQVComm;
class Modbus;
class ServoMainView;
class ServoSearch;
class ServoSetup;
class StringTable;
class Tervion;
struct SearchHit;

struct MainPages {
    DebugPage* debug = nullptr;
    ProgrammingPage* programming = nullptr;
    UpgradePage* upgrade = nullptr;
    PwmPage* pwm = nullptr;
};

struct MainBus {
    ServoSetup* setup = nullptr;
    Tervion* tervion = nullptr;  // its Comm is the shared port
    Modbus* modbus = nullptr;
    BusLock* lock = nullptr;
};

class CServoMain : public MainWindowServices {
  public:
    static constexpr const char* kCaption = "ZQ Tervion Debug V1.9.8.1";
    static constexpr int kTabDebug = 0, kTabProgramming = 1, kTabUpgrade = 2, kTabPwm = 3;

    CServoMain(ServoMainView& view, UiDispatcher& ui, const StringTable& strings);
    // Stops a running search and joins its worker.
    ~CServoMain() override;
    CServoMain(const CServoMain&) = delete;
    CServoMain& operator=(const CServoMain&) = delete;

    // Start-up wiring: pages, shared bus objects and the Chinese flag.
    void Wire(const MainPages& pages, const MainBus& bus, bool chinese);
    // A port offered first in the port list (the simulator's pseudo-terminal in the demo).
    void SetPreferredPort(const std::string& name) { preferred_port_ = name; }
    // Tells whether a port that failed to open was refused for lack of permission; the
    // status line then names the reason. Tests replace the operating system's answer.
    void SetPortAccessCheck(std::function<bool(const std::string&)> check) {
        port_access_denied_ = std::move(check);
    }

    // Rates, ids and reply margin of the search with "All rates" checked (default: every
    // rate and id, the discovery's own margin); the parity is always the window's.
    void SetDiscoveryOptions(const DiscoveryOptions& options) { discovery_options_ = options; }

    // Dialog creation: caption, tabs, combos, list columns, port list.
    void OnInitDialog();

    // Events of dialog 130 (user-interface thread).
    void OnOpenClicked();
    void OnSearchClicked();
    void OnPortDropDown();
    void OnListClicked(int row);  // row -1: the click hit no row
    void OnTabChanged(int new_tab);
    void OnArrowKeyReleased();
    void OnCtrlN();
    // The window is closing: stop the search and wait for its worker.
    void Shutdown();

    // Services for the pages.
    void SetStatusText(const std::string& text) override;
    bool ReadServoIdentity(int id, uint8_t identity[5], ServoKind kind) override;
    int CompareServoModel(int id, const uint8_t identity[5], ServoKind kind) override;
    bool IdInUse(int id) override;
    int FollowBaudChange(int index, int parity, ServoKind kind) override;
    void ServoIdChanged(int old_id, int new_id) override;

    // State (user-interface thread).
    int found_count() const { return found_count_; }
    int selected_index() const { return selected_; }
    int current_tab() const { return current_tab_; }
    bool port_open() const { return port_open_.load(); }
    bool searching() const { return search_active_; }
    bool chinese() const { return chinese_; }
    // The devices of the list, row by row (the garbled rows behind them are not devices).
    std::span<const FoundServo> found() const {
        return {found_.data(), static_cast<size_t>(found_count_)};
    }

  private:
    void FillPortCombo();
    bool RefusedDuringUpgrade();
    void StopPeriodicWork();
    void RunSearch();  // worker thread
    void OnSearchHit(const SearchHit& hit, int id);
    void OnSearchProgress(int step, int id);
    void OnSearchEnded();
    void RunDiscovery(DiscoveryOptions options);  // worker thread
    void OnDiscoveryProgress(const DiscoveryProgress& progress);
    void OnDiscoveryFind(const DiscoveryFind& find);
    // Appends a row of id, text and rate (the rate column exists in an all-rate search).
    void AppendRateRow(int id, const std::string& text, int baud);
    std::string GarbledText(int id) const;
    // Puts the baud combo at position, the parity combo at parity, and the port at both.
    int SwitchPort(int position, int parity);
    void SwitchToRowRate(int row);
    void JoinWorker();
    CQVComm& comm() const;
    std::string Str(int id) const;
    // Runs fn on the user-interface thread unless the window is gone by then.
    void PostToUi(std::function<void()> fn);

    ServoMainView& view_;
    UiPoster ui_;
    const StringTable& strings_;
    MainPages pages_;
    MainBus bus_;
    bool chinese_ = false;
    std::string preferred_port_;
    std::function<bool(const std::string&)> port_access_denied_;

    // Fixed storage: the pages keep a span of it across searches.
    std::array<FoundServo, kMaxServos> found_{};
    // Ids whose replies collided, with their rates: rows after the devices, never selected.
    std::vector<std::pair<int, int>> garbled_;
    bool rate_column_ = false;
    DiscoveryOptions discovery_options_;
    int pending_baud_ = 0;         // a row's rate picked during an all-rate search, set at its end
    bool pending_torque_ = false;  // a selection on the Programming tab during a search
    int found_count_ = 0;
    int count_before_search_ = 0;
    int selected_ = -1;
    int current_tab_ = 0;

    // Read by the worker once per id, cleared by the user-interface thread.
    std::atomic<bool> port_open_{false};
    std::atomic<bool> searching_{false};
    // User-interface view of the search: from the click until its end has been handled.
    bool search_active_ = false;
    bool closing_ = false;
    std::thread worker_;
    std::unique_ptr<ServoSearch> search_;
};
