// The one reading of update-server replies every caller shares, and a file's decoding.
#include "definitions/server_file.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "tests/support/raw_http_server.h"

TEST(ServerFile, RepliesAreFoundOrSayWhyNot) {
    EXPECT_EQ(ReadServerReply("").result, ServerResult::kNoReply);
    for (const char* nothing :
         {"{\"code\":0}", "{\"code\":0,\"data\":null}", "{\"code\":0,\"data\":}"})
        EXPECT_EQ(ReadServerReply(nothing).result, ServerResult::kNothingStored) << nothing;
    ServerReply found = ReadServerReply(
        "{\"code\":0,\"data\":{\"filename\":\"a.bin\",\"createdDate\":\"1577836800000\"}}");
    EXPECT_EQ(found.result, ServerResult::kFound);
    EXPECT_EQ(found.members["filename"], "a.bin");
    EXPECT_EQ(found.members["createdDate"], "1577836800000");

    setenv("TZ", "CST-8", 1);
    tzset();
    EXPECT_EQ(FormatUploadTime("1577836800000"), "2020-1-1 8:0:0\r\n");
    unsetenv("TZ");
    tzset();
}

TEST(ServerFile, AFileIsDecodedWholeOrRefused) {
    const std::string body = "{\"code\":0,\"data\":{\"filename\":\"f\",\"wenjian\":\"QUJD\"}}";
    RawHttpServer server([&](int fd, const std::string&, const std::atomic<bool>&) {
        RawHttpServer::Send(fd,
                            "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) +
                                "\r\nConnection: close\r\n\r\n" + body);
    });
    setenv("VEXA_UPDATE_SERVER", ("127.0.0.1:" + std::to_string(server.port())).c_str(), 1);
    const ServerReply fits = DownloadServerFile("f", 3);
    EXPECT_EQ(fits.result, ServerResult::kFound);
    EXPECT_EQ(fits.bytes, (std::vector<uint8_t>{0x41, 0x42, 0x43}));
    const ServerReply larger = DownloadServerFile("f", 2);
    EXPECT_EQ(larger.result, ServerResult::kTooLarge);
    EXPECT_TRUE(larger.bytes.empty());
    unsetenv("VEXA_UPDATE_SERVER");
}
