#include "app/port_names.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "tests/support/test_folder.h"

namespace fs = std::filesystem;

TEST(PortNames, AdapterShownByItsStableAlias) {
    const TestFolder folder;
    const fs::path dir = folder.path();
    fs::create_symlink("/dev/null", dir / "usb-Acme_RS485_A1-if00-port0");
    fs::create_symlink("/dev/zero", dir / "usb-Acme_RS485_B2-if00-port0");
    fs::create_symlink(dir / "missing", dir / "usb-dangling");

    EXPECT_EQ(StablePortName("/dev/null", dir.string()),
              (dir / "usb-Acme_RS485_A1-if00-port0").string());
    EXPECT_EQ(StablePortName("/dev/full", dir.string()), "/dev/full");
    EXPECT_EQ(StablePortName("/dev/null", (dir / "nothing").string()), "/dev/null");
    EXPECT_EQ(StablePortName("/dev/ttyVEXA-none", dir.string()), "/dev/ttyVEXA-none");
}
