#pragma once
// The bus monitor as the benchmarks run it: the port's transfers recorded into its log, and
// a thread in the panel's place taking and decoding the new rows ten times a second, with
// no screen. Does nothing unless started; stops with Stop or when it goes.
#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "app/bus_monitor.h"
#include "app/bus_monitor_view.h"
#include "transport/cqv_comm.h"
#include "transport/transfer_log.h"

class HeadlessMonitor {
  public:
    ~HeadlessMonitor() { Stop(); }

    void Start(CQVComm& port) {
        port_ = &port;
        log_.Attach(port);
        open_ = true;
        thread_ = std::thread([this] {
            while (open_) {
                panel_.Refresh();
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
            }
        });
    }
    // Also detaches the log from the port, which may outlive the monitor.
    void Stop() {
        open_ = false;
        if (thread_.joinable()) thread_.join();
        if (port_) port_->TransferObserver = nullptr;
        port_ = nullptr;
    }

  private:
    class NullView : public BusMonitorView {
      public:
        void RowsChanged(size_t, size_t, bool) override {}
        std::string AskSaveFile(const std::string&) override { return {}; }
        void ShowError(const std::string&, const std::string&) override {}
    };

    CQVComm* port_ = nullptr;
    TransferLog log_;
    NullView view_;
    BusMonitor panel_{log_, view_, false};
    std::atomic<bool> open_{false};
    std::thread thread_;
};
