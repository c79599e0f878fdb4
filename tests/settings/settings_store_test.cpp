#include "platform/settings_store.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "env_value.h"
#include "tests/support/test_folder.h"

namespace fs = std::filesystem;

namespace {

class SettingsStoreTest : public ::testing::Test {
  protected:
    std::string FileText(const std::string& leaf = "settings.txt") const {
        std::ifstream in(folder_ + "/" + leaf, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
    void PutFile(const std::string& leaf, const std::string& text) const {
        std::ofstream(folder_ + "/" + leaf, std::ios::binary) << text;
    }

    TestFolder scratch_;
    const std::string folder_ = scratch_.path();
};

}  // namespace

TEST_F(SettingsStoreTest, ValuesRoundTripWhateverTheyHold) {
    SettingsStore store(folder_);
    const std::string awkward("a=b\r\nc%41\0d\xC4\xDA", 13);
    ASSERT_TRUE(store.Write("createdDate", "1600000000000"));
    ASSERT_TRUE(store.Write("setup_en.log", awkward));
    ASSERT_TRUE(store.Write("name=with\nbreak", ""));
    ASSERT_TRUE(store.Write("createdDate", "1700000000000"));  // replaces

    SettingsStore again(folder_ + "/");  // a second object reads the same file
    EXPECT_EQ(again.Read("createdDate"), "1700000000000");
    EXPECT_EQ(again.Read("setup_en.log"), awkward);
    EXPECT_EQ(again.Read("name=with\nbreak"), "");
    EXPECT_EQ(again.Read("setup.log"), std::nullopt);
    EXPECT_EQ(again.path(), folder_ + "/settings.txt");

    // The file is plain text, one escaped "name=value" per line.
    EXPECT_EQ(FileText(),
              "createdDate=1700000000000\n"
              "name%3Dwith%0Abreak=\n"
              "setup_en.log=a%3Db%0D%0Ac%2541%00d%C4%DA\n");
}

TEST_F(SettingsStoreTest, MissingFileFolderOrValueReadsAsNothing) {
    EXPECT_EQ(SettingsStore(folder_).Read("createdDate"), std::nullopt);
    EXPECT_EQ(SettingsStore(folder_ + "/no/such").Read("createdDate"), std::nullopt);

    // Writing creates the missing folders.
    SettingsStore nested(folder_ + "/a/b/c");
    ASSERT_TRUE(nested.Write("createdDate", "1"));
    EXPECT_EQ(nested.Read("createdDate"), "1");
}

TEST_F(SettingsStoreTest, DamagedLinesAreSkippedAndUnwritableFoldersFail) {
    PutFile("settings.txt", "garbage line\nok=value\nbad=%G1\nshort=%4\n=anonymous\nlast=x");
    SettingsStore store(folder_);
    EXPECT_EQ(store.Read("ok"), "value");
    EXPECT_EQ(store.Read("bad"), std::nullopt);
    EXPECT_EQ(store.Read("short"), std::nullopt);
    EXPECT_EQ(store.Read(""), "anonymous");
    EXPECT_EQ(store.Read("last"), "x");

    PutFile("plain-file", "x");
    SettingsStore under_file(folder_ + "/plain-file/sub");
    EXPECT_FALSE(under_file.Write("createdDate", "1"));

    // A settings "file" that cannot be read is never overwritten.
    fs::create_directories(folder_ + "/dir/settings.txt");
    SettingsStore unreadable(folder_ + "/dir");
    EXPECT_FALSE(unreadable.Write("createdDate", "1"));
    EXPECT_EQ(unreadable.Read("createdDate"), std::nullopt);
    EXPECT_TRUE(fs::is_directory(folder_ + "/dir/settings.txt"));
}

TEST_F(SettingsStoreTest, LeftoverTempFileFromACrashChangesNothing) {
    SettingsStore store(folder_);
    ASSERT_TRUE(store.Write("createdDate", "1600000000000"));
    // A writer died after writing half of its temp file.
    PutFile("settings.txt.tmp", "createdDate=99\nsetup.lo");
    EXPECT_EQ(store.Read("createdDate"), "1600000000000");
    EXPECT_EQ(store.Read("setup.lo"), std::nullopt);

    ASSERT_TRUE(store.Write("setup.log", "5"));
    EXPECT_EQ(store.Read("createdDate"), "1600000000000");
    EXPECT_EQ(store.Read("setup.log"), "5");
    EXPECT_FALSE(fs::exists(folder_ + "/settings.txt.tmp"));
    EXPECT_EQ(FileText(), "createdDate=1600000000000\nsetup.log=5\n");
}

TEST_F(SettingsStoreTest, ConcurrentThreadsLoseNoValue) {
    constexpr int kThreads = 4, kValues = 25;
    std::vector<std::thread> threads;
    std::vector<int> failures(kThreads, 0);
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([this, t, &failures] {
            SettingsStore store(folder_);
            for (int i = 0; i < kValues; ++i) {
                const std::string name = "t" + std::to_string(t) + "_" + std::to_string(i);
                if (!store.Write(name, name + "-value")) ++failures[t];
                // Readers during the writes always see a whole file.
                if (store.Read(name) != name + "-value") ++failures[t];
            }
        });
    }
    for (auto& th : threads) th.join();
    SettingsStore store(folder_);
    for (int t = 0; t < kThreads; ++t) {
        EXPECT_EQ(failures[t], 0);
        for (int i = 0; i < kValues; ++i) {
            const std::string name = "t" + std::to_string(t) + "_" + std::to_string(i);
            EXPECT_EQ(store.Read(name), name + "-value");
        }
    }
}

TEST_F(SettingsStoreTest, ConcurrentProcessesLoseNoValue) {
    constexpr int kProcesses = 4, kValues = 25;
    std::vector<pid_t> children;
    for (int p = 0; p < kProcesses; ++p) {
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            SettingsStore store(folder_);
            int bad = 0;
            for (int i = 0; i < kValues; ++i) {
                const std::string name = "p" + std::to_string(p) + "_" + std::to_string(i);
                if (!store.Write(name, std::to_string(i))) ++bad;
            }
            _exit(bad == 0 ? 0 : 1);
        }
        children.push_back(pid);
    }
    for (pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    SettingsStore store(folder_);
    for (int p = 0; p < kProcesses; ++p) {
        for (int i = 0; i < kValues; ++i) {
            EXPECT_EQ(store.Read("p" + std::to_string(p) + "_" + std::to_string(i)),
                      std::to_string(i));
        }
    }
}

TEST(SettingsStoreFolder, ConfigDirThenXdgThenHome) {
    EnvValue config("VEXA_CONFIG_DIR", "/srv/vexa-config");
    EnvValue xdg("XDG_CONFIG_HOME", "/x/config");
    EnvValue home("HOME", "/home/tech");
    EXPECT_EQ(SettingsStore::DefaultFolder(), "/srv/vexa-config");
    setenv("VEXA_CONFIG_DIR", "", 1);
    EXPECT_EQ(SettingsStore::DefaultFolder(), "/x/config/vexa");
    unsetenv("VEXA_CONFIG_DIR");
    unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(SettingsStore::DefaultFolder(), "/home/tech/.config/vexa");
}
