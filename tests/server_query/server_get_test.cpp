#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "definitions/server_query.h"
#include "tests/support/raw_http_server.h"

namespace {

std::string Url(const RawHttpServer& server, const std::string& path = "/zqgetzuixinbanben/x") {
    return "http://127.0.0.1:" + std::to_string(server.port()) + path;
}

// Replies with a fixed head and body.
RawHttpServer::Handler Reply(std::string head, std::string body) {
    return [head, body](int fd, const std::string&, const std::atomic<bool>&) {
        RawHttpServer::Send(fd, head + body);
    };
}

std::string OkHead(size_t length) {
    return "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(length) +
           "\r\nConnection: close\r\n\r\n";
}

}  // namespace

TEST(ServerGet, LineFeedsAreDroppedAndCarriageReturnsKept) {
    const std::string body = "{\"code\":0,\r\n\"data\":\n{\"a\":\"1\"}}\n";
    RawHttpServer server(Reply(OkHead(body.size()), body));
    EXPECT_EQ(ServerGet(Url(server)), "{\"code\":0,\r\"data\":{\"a\":\"1\"}}");
}

TEST(ServerGet, SendsAgentGetAndGoesDirectEvenWithAProxyConfigured) {
    const std::string body = "{\"code\":0,\"data\":null}";
    RawHttpServer server(Reply(OkHead(body.size()), body));
    // A proxy on a port where nothing listens: a client that used it would fail.
    setenv("http_proxy", "http://127.0.0.1:1", 1);
    setenv("HTTP_PROXY", "http://127.0.0.1:1", 1);
    const std::string reply = ServerGet(Url(server, "/zqgetzuixinwenjian/s5.3"));
    unsetenv("http_proxy");
    unsetenv("HTTP_PROXY");
    EXPECT_EQ(reply, body);
    const std::string request = server.LastRequest();
    EXPECT_EQ(request.rfind("GET /zqgetzuixinwenjian/s5.3 HTTP/1.1\r\n", 0), 0u) << request;
    EXPECT_NE(request.find("\r\nUser-Agent: GET\r\n"), std::string::npos) << request;
}

TEST(ServerGet, FailuresGiveTheEmptyText) {
    {  // HTTP error status, even with a body.
        RawHttpServer server(
            Reply("HTTP/1.1 404 Not Found\r\nContent-Length: 9\r\nConnection: close\r\n\r\n",
                  "not found"));
        EXPECT_EQ(ServerGet(Url(server)), "");
    }
    {  // Body shorter than announced.
        RawHttpServer server(Reply(OkHead(100), "{\"code\":0,"));
        EXPECT_EQ(ServerGet(Url(server)), "");
    }
    {  // Not HTTP at all.
        RawHttpServer server(Reply("", "garbage\r\n\r\n"));
        EXPECT_EQ(ServerGet(Url(server)), "");
    }
    {  // Nothing listening: a bound socket that does not accept refuses connections.
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
        socklen_t len = sizeof addr;
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
        EXPECT_EQ(ServerGet("http://127.0.0.1:" + std::to_string(ntohs(addr.sin_port)) + "/x"), "");
        ::close(fd);
    }
    EXPECT_EQ(ServerGet("not a url"), "");
    EXPECT_EQ(ServerGet("file:///etc/hostname"), "");
}

TEST(ServerGet, BodiesOverTheCapAreRefused) {
    // Exactly at the cap: accepted (16 MiB of 'A').
    const std::string at_cap(16 * 1024 * 1024, 'A');
    {
        RawHttpServer server(Reply(OkHead(at_cap.size()), at_cap));
        EXPECT_EQ(ServerGet(Url(server)).size(), at_cap.size());
    }
    // One byte more, announced by its length: refused before the body is read.
    {
        RawHttpServer server(Reply(OkHead(at_cap.size() + 1), at_cap + "A"));
        EXPECT_EQ(ServerGet(Url(server)), "");
    }
    // No length announced, the body just keeps coming until the client hangs up.
    {
        RawHttpServer server([](int fd, const std::string&, const std::atomic<bool>& stopping) {
            if (!RawHttpServer::Send(fd, "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n")) return;
            const std::string chunk(64 * 1024, 'B');
            for (int i = 0; i < 1024 && !stopping; ++i) {  // up to 64 MiB
                if (!RawHttpServer::Send(fd, chunk)) return;
            }
        });
        EXPECT_EQ(ServerGet(Url(server)), "");
    }
}

TEST(ServerGet, ABodyThatStallsForThreeSecondsIsAFailure) {
    // 10 bytes, then silence for 4.5 s, then the rest: a client without the stall time-out
    // would receive the whole body.
    RawHttpServer server([](int fd, const std::string&, const std::atomic<bool>& stopping) {
        RawHttpServer::Send(fd, OkHead(20) + "0123456789");
        if (!RawHttpServer::Pause(4500, stopping)) return;
        RawHttpServer::Send(fd, "abcdefghij");
    });
    EXPECT_EQ(ServerGet(Url(server)), "");
}

TEST(ServerGet, AServerThatNeverAnswersIsAFailure) {
    // The connection is accepted and the request read, then nothing comes for 4.5 s.
    RawHttpServer server([](int fd, const std::string&, const std::atomic<bool>& stopping) {
        if (!RawHttpServer::Pause(4500, stopping)) return;
        RawHttpServer::Send(fd, OkHead(2) + "{}");
    });
    EXPECT_EQ(ServerGet(Url(server)), "");
}

TEST(ServerGet, ASlowButSteadyBodyIsReceivedWhole) {
    // 3.6 s in all, but never more than 450 ms without data: the time-out is per silence,
    // not for the whole transfer.
    RawHttpServer server([](int fd, const std::string&, const std::atomic<bool>& stopping) {
        if (!RawHttpServer::Send(fd, OkHead(8))) return;
        for (char c : std::string("12345678")) {
            if (!RawHttpServer::Pause(450, stopping)) return;
            if (!RawHttpServer::Send(fd, std::string(1, c))) return;
        }
    });
    EXPECT_EQ(ServerGet(Url(server)), "12345678");
}

TEST(ServerStream, TimesOutPerPhaseAndNeverForTheWholeTransfer) {
    // A program build can take minutes to arrive on a slow line: only silences end it.
    const HttpOptions options = ServerStreamOptions();
    EXPECT_EQ(options.connect_timeout_ms, 3000);
    EXPECT_EQ(options.stall_timeout_ms, 3000);
    EXPECT_EQ(options.total_timeout_ms, 0);
    EXPECT_EQ(options.max_body_bytes, 512u * 1024 * 1024);
}
