#pragma once
// What the app tests share: the objects start-up creates, wired to one port and reading the
// sample setup files, and a loop that runs the window's posted work until a search ends.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "app/servo_main.h"
#include "definitions/servo_setup.h"
#include "modbus/modbus.h"
#include "platform/bus_lock.h"
#include "platform/settings_store.h"
#include "platform/string_table.h"
#include "platform/ui_dispatcher.h"
#include "protocol/tervion.h"
#include "tests/support/test_folder.h"
#include "tests/support/wait_until.h"
#include "transport/cqv_comm.h"

// The shared bus objects on one port (a real CQVComm unless a test fakes it), with the
// settings in a scratch folder of their own.
template <class Port>
struct BusObjects {
    explicit BusObjects(bool chinese = false)
        : strings(chinese), settings(folder.path()), setup(strings, settings) {
        setup.SetFolders(VEXA_RESOURCE_DIR "/setup");
        tervion.Comm = &comm;
        modbus.Port = &comm;
    }
    MainBus Bus() { return {&setup, &tervion, &modbus, &lock}; }

    TestFolder folder;
    StringTable strings;
    SettingsStore settings;
    ServoSetup setup;
    Port comm;
    Tervion tervion;
    Modbus modbus;
    BusLock lock;
};
using SharedObjects = BusObjects<CQVComm>;

// Drains the posted work until the search has ended; fails the test after `limit`.
inline void RunSearchToEnd(CServoMain& main, QueuedDispatcher& ui, std::chrono::seconds limit) {
    const bool ended = WaitUntil([&] { return !main.searching(); }, limit,
                                 [&] {
                                     ui.Drain();
                                     std::this_thread::sleep_for(std::chrono::milliseconds(1));
                                 });
    ui.Drain();
    ASSERT_TRUE(ended) << "search did not end";
}
