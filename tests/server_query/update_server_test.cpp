#include "tools/server/update_server.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "definitions/server_query.h"
#include "tests/support/test_folder.h"

namespace {

class UpdateServerTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(server_.Start("127.0.0.1", 0)); }

    std::string Get(const std::string& path) {
        return ServerGet("http://127.0.0.1:" + std::to_string(server_.port()) + path);
    }

    TestFolder root_;
    UpdateServer server_{root_.path()};
};

}  // namespace

TEST_F(UpdateServerTest, EachKindOfNameMapsToItsFolder) {
    root_.Put("setup/setup_modbus_en.log", "abc", 1500000000000);
    root_.Put("program/Vexa.exe", "MZ", 1600000000999);
    root_.Put("params/s5.3/old.dat", "o", 1000);
    root_.Put("params/s5.3/servo53.xdat", "new", 2000);
    root_.Put("params/s5.3/.hidden", "h", 3000);
    root_.Put("firmware/5.3/fw_v3.mbin", "fw", 4000);

    EXPECT_EQ(Get("/zqgetzuixinwenjian/setup_modbus_en.log"),
              R"({"code":0,"data":{"createdDate":"1500000000000","banben":"","filename":)"
              R"("setup_modbus_en.log","xinghao":"","wenjian":"YWJj"}})");
    EXPECT_EQ(Get("/zqgetzuixinbanben/Vexa.exe"),
              R"({"code":0,"data":{"createdDate":"1600000000999","banben":"","filename":)"
              R"("Vexa.exe","xinghao":""}})");
    EXPECT_EQ(Get("/zqgetzuixinwenjian/s5.3"),
              R"({"code":0,"data":{"createdDate":"2000","banben":"","filename":)"
              R"("servo53.xdat","xinghao":"5.3","wenjian":"bmV3"}})");
    EXPECT_EQ(Get("/zqgetzuixinwenjian/5.3"),
              R"({"code":0,"data":{"createdDate":"4000","banben":"","filename":)"
              R"("fw_v3.mbin","xinghao":"5.3","wenjian":"Znc="}})");
    // Setup files are not found under other names, nor models under setup/.
    root_.Put("setup/5.4", "x");
    EXPECT_EQ(Get("/zqgetzuixinwenjian/5.4"), R"({"code":0,"data":null})");
    EXPECT_EQ(Get("/zqgetzuixinwenjian/s5.4"), R"({"code":0,"data":null})");
    EXPECT_EQ(Get("/zqgetzuixinbanben/setup_en.log"), R"({"code":0,"data":null})");
    EXPECT_EQ(Get("/zqgetzuixinwenjian/other"), R"({"code":0,"data":null})");
    EXPECT_EQ(Get("/other/setup_modbus_en.log"), "");  // unknown path: 404
}

TEST_F(UpdateServerTest, ManifestOverridesTheDescription) {
    root_.Put("firmware/5.3/fw.hex", ":00000001FF\r\n");
    root_.Put("manifest.txt",
              "# comment\n[5.2]\nbanben=wrong\n[5.3]\r\nbanben=3.11\r\nxinghao=5.3 std\r\n"
              "createdDate=1577836800000\r\nfilename=renamed.hex\r\nunknown=1\r\n");
    EXPECT_EQ(Get("/zqgetzuixinbanben/5.3"),
              R"({"code":0,"data":{"createdDate":"1577836800000","banben":"3.11","filename":)"
              R"("renamed.hex","xinghao":"5.3 std"}})");
}

TEST_F(UpdateServerTest, UnsafeNamesAreNeverResolved) {
    root_.Put("setup/secret", "s");
    root_.Put("manifest.txt", "[x]\n");
    for (const char* path :
         {"/zqgetzuixinwenjian/..%2Fmanifest.txt", "/zqgetzuixinwenjian/..%2F..%2Fetc%2Fpasswd",
          "/zqgetzuixinwenjian/a%2Fb", "/zqgetzuixinwenjian/",
          "/zqgetzuixinwenjian/..%5Csetup%5Csecret", "/zqgetzuixinwenjian/s..3",
          "/zqgetzuixinwenjian/%01secret"}) {
        EXPECT_EQ(Get(path), R"({"code":0,"data":null})") << path;
    }
    EXPECT_FALSE(FileCatalog::IsPlainName(".."));
    EXPECT_FALSE(FileCatalog::IsPlainName("."));
    EXPECT_FALSE(FileCatalog::IsPlainName("setup/x"));
    EXPECT_FALSE(FileCatalog::IsPlainName("setup\\x"));
    EXPECT_FALSE(FileCatalog::IsPlainName(".profile"));
    EXPECT_FALSE(FileCatalog::IsPlainName(std::string("a\0b", 3)));
    EXPECT_TRUE(FileCatalog::IsPlainName("setup_en.log"));
    EXPECT_TRUE(FileCatalog::IsPlainName("s5.3"));
}

TEST_F(UpdateServerTest, DownloadedFileDecodesToTheStoredBytes) {
    std::string bytes;
    for (int i = 0; i < 256; ++i) bytes += static_cast<char>(i);
    bytes += "\r\n[\xC4\xDA\xB4\xE6]\r\n";
    root_.Put("setup/setup.log", bytes);

    const std::string reply = Get("/zqgetzuixinwenjian/setup.log");
    ReplyMap outer, inner;
    ParseReply(outer, reply);
    ParseReply(inner, outer["data"]);
    EXPECT_EQ(inner["filename"], "setup.log");
    const std::string& text = inner["wenjian"];
    std::vector<uint8_t> out(51200, 0xFF);
    const int n = DecodeBase64(text.data(), static_cast<int>(text.size()), out.data(), 51200);
    ASSERT_EQ(n, static_cast<int>(bytes.size()));
    EXPECT_EQ(std::string(out.begin(), out.begin() + n), bytes);
}

// File replies are encoded a block of 49152 bytes at a time while they are sent: sizes
// around the block ends, and an empty file.
TEST_F(UpdateServerTest, FilesAroundTheEncodingBlockEndsArriveWhole) {
    for (const size_t size : {0, 1, 49151, 49152, 49153, 98304 + 2, 150001}) {
        std::string bytes(size, '\0');
        for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i * 7 + i / 251);
        root_.Put("program/Vexa.exe", bytes);
        const std::string reply = Get("/zqgetzuixinwenjian/Vexa.exe");
        ASSERT_EQ(reply.rfind(R"({"code":0,"data":{"createdDate":")", 0), 0u) << size;
        ASSERT_EQ(reply.substr(reply.size() - 3), "\"}}") << size;
        ReplyMap outer, inner;
        ParseReply(outer, reply);
        ParseReply(inner, outer["data"]);
        const std::string& text = inner["wenjian"];
        EXPECT_EQ(text.size(), (size + 2) / 3 * 4) << size;
        std::vector<uint8_t> out(size + 1);
        const int n = DecodeBase64(text.data(), static_cast<int>(text.size()), out.data(),
                                   static_cast<int>(out.size()));
        ASSERT_EQ(n, static_cast<int>(size));
        EXPECT_TRUE(std::string(out.begin(), out.begin() + n) == bytes) << size;
    }
}

TEST_F(UpdateServerTest, CutHookBreaksTheTransferOffHalfWay) {
    root_.Put("setup/setup_en.log", std::string(3000, 'x'));
    root_.Put("manifest.txt", "[setup_en.log]\ncut=40\n");
    EXPECT_EQ(Get("/zqgetzuixinwenjian/setup_en.log"), "");
    root_.Put("manifest.txt", "[setup_en.log]\ncut=1000000\n");  // longer than the reply
    EXPECT_NE(Get("/zqgetzuixinwenjian/setup_en.log"), "");
}

TEST_F(UpdateServerTest, ConcurrentClientsAllGetTheirReplyAndAreLogged) {
    root_.Put("setup/a.log", "aaa");
    root_.Put("setup/b.log", "bbbb");
    std::vector<std::thread> threads;
    std::vector<std::string> replies(8);
    for (int i = 0; i < 8; ++i) {
        threads.emplace_back([this, i, &replies] {
            replies[i] = Get(i % 2 ? "/zqgetzuixinwenjian/a.log" : "/zqgetzuixinwenjian/b.log");
        });
    }
    for (auto& t : threads) t.join();
    for (int i = 0; i < 8; ++i) {
        EXPECT_NE(replies[i].find(i % 2 ? R"("wenjian":"YWFh")" : R"("wenjian":"YmJiYg==")"),
                  std::string::npos)
            << replies[i];
    }
    EXPECT_EQ(server_.RequestCount(), 8u);
}

TEST(UpdateServerLifecycle, StartTwiceStopTwiceAndBusyPort) {
    TestFolder root;
    UpdateServer a(root.path());
    ASSERT_TRUE(a.Start("127.0.0.1", 0));
    EXPECT_FALSE(a.Start("127.0.0.1", 0));
    UpdateServer b(root.path());
    EXPECT_FALSE(b.Start("127.0.0.1", a.port()));
    a.Stop();
    a.Stop();
    EXPECT_TRUE(b.Start("127.0.0.1", 0));
}
