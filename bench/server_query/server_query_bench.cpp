// Figures for the update-server path: parsing and decoding large replies, round trips
// against an in-process vexa-server on 127.0.0.1, and a whole self-update.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "definitions/server_query.h"
#include "platform/settings_store.h"
#include "tools/server/base64_encoder.h"
#include "tools/server/update_server.h"
#include "updater/update_download.h"

namespace {

using Clock = std::chrono::steady_clock;

template <typename F>
double MedianMs(int runs, F&& f) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const auto start = Clock::now();
        f();
        times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

// Keeps nothing of what a self-update shows.
class QuietUpdateView : public UpdateView {
  public:
    void SetLog(const std::string&) override {}
    void SetProgress(const std::string&) override {}
    void EnableDownload(bool) override {}
    void ShowMessage(const std::string&, UpdateIcon) override {}
};

}  // namespace

int main() {
    // A 9 MiB file, as a firmware or program download would be.
    std::vector<uint8_t> file(9 * 1024 * 1024);
    for (size_t i = 0; i < file.size(); ++i) file[i] = static_cast<uint8_t>(i * 131 + 7);
    const std::string wenjian = EncodeBase64(file.data(), file.size());
    const std::string reply =
        R"({"code":0,"data":{"createdDate":"1600000000000","banben":"1","filename":"f.bin",)"
        R"("xinghao":"5.3","wenjian":")" +
        wenjian + "\"}}";

    std::string data;
    const double parse_ms = MedianMs(5, [&] {
        ReplyMap outer, inner;
        ParseReply(outer, reply);
        ParseReply(inner, outer["data"]);
        data = inner["wenjian"];
    });
    std::vector<uint8_t> out(file.size());
    int decoded = 0;
    const double decode_ms = MedianMs(5, [&] {
        decoded = DecodeBase64(data.data(), static_cast<int>(data.size()), out.data(),
                               static_cast<int>(out.size()));
    });
    const double mib = static_cast<double>(reply.size()) / (1024 * 1024);
    std::printf("ParseReply, outer and data, %.1f MiB reply: %.1f ms (%.0f MiB/s)\n", mib, parse_ms,
                mib / parse_ms * 1000);
    std::printf("DecodeBase64, %.1f MiB text -> %d bytes: %.1f ms (%.0f MiB/s)\n",
                static_cast<double>(data.size()) / (1024 * 1024), decoded, decode_ms,
                static_cast<double>(data.size()) / (1024 * 1024) / decode_ms * 1000);

    // Round trips against the server.
    const auto root = std::filesystem::temp_directory_path() / "vexa-bench-server";
    std::filesystem::create_directories(root / "setup");
    std::filesystem::create_directories(root / "program");
    std::ofstream(root / "setup" / "setup_en.log", std::ios::binary) << std::string(51200, 'x');
    std::ofstream(root / "program" / "Vexa.exe", std::ios::binary)
        .write(reinterpret_cast<const char*>(file.data()),
               static_cast<std::streamsize>(file.size()));
    UpdateServer server(root.string());
    if (!server.Start("127.0.0.1", 0)) {
        std::fprintf(stderr, "cannot start the server\n");
        return 1;
    }
    const std::string base = "http://127.0.0.1:" + std::to_string(server.port());
    const double version_ms =
        MedianMs(21, [&] { ServerGet(base + "/zqgetzuixinbanben/Vexa.exe"); });
    const double setup_ms =
        MedianMs(21, [&] { ServerGet(base + "/zqgetzuixinwenjian/setup_en.log"); });
    size_t big_size = 0;
    const double big_ms =
        MedianMs(5, [&] { big_size = ServerGet(base + "/zqgetzuixinwenjian/Vexa.exe").size(); });
    std::printf("ServerGet version query: %.2f ms median\n", version_ms);
    std::printf("ServerGet 50 KiB setup file: %.2f ms median\n", setup_ms);
    std::printf("ServerGet 9 MiB program (%zu reply bytes): %.1f ms median\n", big_size, big_ms);

    // VexaUpdate's whole run for a program the size of the default preset's Vexa (14 MiB):
    // version query, streamed file reply, decode, install, date stored.
    std::vector<uint8_t> build(14 * 1024 * 1024);
    for (size_t i = 0; i < build.size(); ++i) build[i] = static_cast<uint8_t>(i * 29 + i / 4096);
    std::ofstream(root / "program" / "Vexa.exe", std::ios::binary)
        .write(reinterpret_cast<const char*>(build.data()),
               static_cast<std::streamsize>(build.size()));
    std::ofstream(root / "manifest.txt") << "[Vexa.exe]\nfilename=Vexa\n";
    const auto work = root / "work";
    std::filesystem::create_directories(work);
    setenv("VEXA_UPDATE_SERVER", ("127.0.0.1:" + std::to_string(server.port())).c_str(), 1);
    QuietUpdateView view;
    SettingsStore settings((root / "config").string());
    UpdateDownload::Result result = UpdateDownload::Result::kNoReply;
    const double update_ms = MedianMs(5, [&] {
        UpdateDownload run(view, settings, work.string(), false);
        result = run.Run();
    });
    std::printf("Self-update of a 14 MiB program: %.1f ms median (%.0f MiB/s)%s\n", update_ms,
                14.0 / update_ms * 1000,
                result == UpdateDownload::Result::kSuccess ? "" : " FAILED");
    server.Stop();
    std::filesystem::remove_all(root);
    return 0;
}
