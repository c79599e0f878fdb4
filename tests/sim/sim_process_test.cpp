// vexa-sim as a program: started as a child, its port path read from its first output
// line, talked to, commanded through standard input, and stopped.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "protocol/tervion.h"
#include "tests/support/sim_child.h"
#include "tests/support/test_folder.h"
#include "tests/support/wait_until.h"
#include "transport/cqv_comm.h"

namespace {

// Exit status of the child, or -1 when it has not ended within 10 s (then it is killed).
int WaitExit(pid_t pid) {
    int status = 0;
    if (WaitUntil([&] { return waitpid(pid, &status, WNOHANG) == pid; }, std::chrono::seconds(10)))
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    return -1;
}

}  // namespace

TEST(SimProcess, PrintsItsPortTakesCommandsAndEndsAtEndOfInput) {
    const TestFolder folder;
    const std::string dir = folder.path();
    ASSERT_FALSE(dir.empty());
    const std::string link = dir + "/bus";
    SimChild c =
        SpawnSim({"--servo", "1:end=1", "--modbus", "10", "--link", link, "--exit-on-eof"});
    ASSERT_GT(c.pid, 0);
    const std::string path = ReadSimLine(c.out);
    ASSERT_EQ(path.rfind("/dev/pts/", 0), 0u) << path;
    EXPECT_EQ(std::filesystem::read_symlink(link).string(), path);

    CQVComm comm;
    ASSERT_EQ(comm.OpenPort(link), 1);
    comm.ConfigurePort(115200, 0, 50);
    Tervion tervion;
    tervion.Comm = &comm;
    uint8_t record[9];
    ASSERT_EQ(tervion.Read(1, 0, record, 9), 9);
    EXPECT_EQ(record[2], 1);
    EXPECT_EQ(tervion.Error, 0);

    const std::string command = "error 1 4\n";
    ASSERT_EQ(write(c.in, command.data(), command.size()), static_cast<ssize_t>(command.size()));
    EXPECT_EQ(ReadSimLine(c.out), "ok");
    ASSERT_EQ(tervion.Read(1, 0, record, 9), 9);
    EXPECT_EQ(tervion.Error, 4);
    const std::string unknown = "explode\n";
    ASSERT_GT(write(c.in, unknown.data(), unknown.size()), 0);
    EXPECT_EQ(ReadSimLine(c.out).rfind("error:", 0), 0u);

    comm.ClosePort();
    close(c.in);
    EXPECT_EQ(WaitExit(c.pid), 0);
    struct stat st {};
    EXPECT_NE(lstat(link.c_str(), &st), 0) << "link left behind";
    std::fclose(c.out);
    std::filesystem::remove_all(dir);
}

TEST(SimProcess, StopsOnSigtermAndRefusesBadUsage) {
    SimChild c = SpawnSim({"--demo"});
    ASSERT_GT(c.pid, 0);
    EXPECT_EQ(ReadSimLine(c.out).rfind("/dev/pts/", 0), 0u);
    kill(c.pid, SIGTERM);
    EXPECT_EQ(WaitExit(c.pid), 0);
    close(c.in);
    std::fclose(c.out);

    SimChild bad = SpawnSim({"--servo", "300"});
    ASSERT_GT(bad.pid, 0);
    EXPECT_EQ(WaitExit(bad.pid), 2);
    close(bad.in);
    std::fclose(bad.out);
}
