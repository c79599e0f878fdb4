// PortAccessDenied against real files: a device node the user may not open is told apart
// from one that is missing or open to everyone.
#include "platform/port_access.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "tests/support/test_folder.h"

namespace {

namespace fs = std::filesystem;

struct Folder {
    std::string Make(const std::string& name, mode_t mode) const {
        const fs::path p = path / name;
        std::ofstream(p).put('x');
        chmod(p.c_str(), mode);
        return p.string();
    }
    TestFolder scratch;
    fs::path path = scratch.path();
};

// The answers as an ordinary user sees them. Root may open anything, so under root the
// check runs in a child that has given up root for the unprivileged "nobody" id.
int Check(const std::string& path) {
    if (geteuid() != 0) return PortAccessDenied(path) ? 1 : 0;
    const pid_t child = fork();
    if (child == 0) {
        if (setgid(65534) != 0 || setuid(65534) != 0) _exit(3);
        _exit(PortAccessDenied(path) ? 1 : 0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 4;
}

}  // namespace

TEST(PortAccess, OnlyAnExistingPortThatRefusesTheUserIsDenied) {
    Folder folder;
    chmod(folder.path.c_str(), 0755);
    EXPECT_EQ(Check(folder.Make("ttyLOCKED", 0600)), 1);
    EXPECT_EQ(Check(folder.Make("ttyOPEN", 0666)), 0);
    EXPECT_EQ(Check((folder.path / "ttyMISSING").string()), 0);
    EXPECT_FALSE(PortAccessDenied(""));
}
