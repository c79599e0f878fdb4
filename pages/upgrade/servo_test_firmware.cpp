// The Upgrade page's firmware image: "Open", the device keys and online detection.
#include <cstdio>
#include <ctime>

#include "definitions/server_query.h"
#include "pages/upgrade/servo_test.h"
#include "pages/upgrade/servo_test_view.h"

namespace {
constexpr const char* kFilterTail =
    "bus device (*.bin)|*.bin|pwm device (*.fbin)|*.fbin|modbus device (*.mbin)|*.mbin|"
    "open device (*.xbin)|*.xbin||";

std::string Dotted(int major, int minor) {
    return std::to_string(major) + "." + std::to_string(minor);
}
}  // namespace

void CServoTest::OnKey(char key) {
    const char* label = nullptr;
    int kind = 0;
    switch (key) {
        case 'B':
        case 'b':
            label = "bus device";
            kind = kDeviceBus;
            break;
        case 'M':
        case 'm':
            label = "modbus device";
            kind = kDeviceModbus;
            break;
        case 'R':
        case 'r':
            label = "pwm device";
            kind = kDevicePwm;
            break;
        default:
            return;
    }
    if (upgrading_.load()) return;  // the exchange reads the kind
    device_kind_ = kind;
    filter_ = std::string(label) + " (*.hex)|*.hex|" + kFilterTail;
}

void CServoTest::OnOpen() {
    if (!view_ || upgrading_.load()) return;
    std::string path;
    if (!view_->AskOpenFile(filter_, "bin", path)) return;
    LoadFile(path);
}

void CServoTest::LoadFile(const std::string& path) {
    image_.length = 0;
    const FirmwareFile kind = FirmwareFileKind(path);
    if (kind == FirmwareFile::kHex) {
        if (LoadHexFile(image_, path) != LoadResult::kLoaded) {
            view_->Enable(kUpgradeButton, false);
            return;
        }
        raw_flag_ = 0;
        open_flag_ = 0;
    } else if (kind != FirmwareFile::kOther) {
        if (LoadRawFile(image_, path) != LoadResult::kLoaded) {
            view_->Enable(kUpgradeButton, false);
            return;
        }
        raw_flag_ = 1;
        device_kind_ = kDeviceBus;
        open_flag_ = kind == FirmwareFile::kOpen ? 1 : 0;
        if (kind == FirmwareFile::kPwm) device_kind_ = kDevicePwm;
        if (kind == FirmwareFile::kModbus) device_kind_ = kDeviceModbus;
    }
    ImageLoaded();
}

void CServoTest::ImageLoaded() {
    block_count_ = image_.BlockCount();
    progress_pos_ = 0;
    view_->SetProgressRange(0, static_cast<int>(block_count_));
    view_->SetProgressStep(1);
    view_->SetProgressPos(0);
    view_->Enable(kUpgradeButton, true);
}

void CServoTest::RefuseOnline(const std::string& log, const std::string& box) {
    view_->Enable(kUpgradeButton, false);
    view_->SetText(kFirmwareLogEdit, log);
    view_->ShowMessage(Text("Online detection", "在线检测"), box, true);
}

void CServoTest::OnOnline() {
    if (!view_ || upgrading_.load()) return;
    ServoInfo record{};
    std::string listed_name;
    {
        std::lock_guard g(test_mutex_);
        if (selection_.count == 0) {
            view_->SetText(kFirmwareLogEdit, Text("Please select the servo!", "请选择相应舵机!"));
            return;
        }
        record = selection_.records[static_cast<size_t>(selection_.index)];
        listed_name = selection_.model_name;
    }
    const std::string model = Dotted(record[3], record[4]);
    const std::string version = Dotted(record[0], record[1]);
    const std::string model_line_format = Text("Model:", "舵机型号:");
    const std::string version_head = Text("Version:", "固件版本:");

    const std::string reply = ServerGet(FileQueryUrl(model));
    if (reply.empty()) {
        const std::string text = Text("Server no returned!", "服务器无返回!");
        RefuseOnline(text, text);
        return;
    }
    ReplyMap outer;
    ParseReply(outer, reply);
    const std::string data = outer["data"];
    if (data == "null") {
        const std::string none = Text("No firmware detected!", "没有检测到升级固件!");
        RefuseOnline(
            model_line_format + model + " [" + listed_name + "]\r\n" + version_head + none + "\r\n",
            none);
        return;
    }
    ReplyMap inner;
    ParseReply(inner, data);
    const std::string& encoded = inner["wenjian"];
    const std::string& name = inner["filename"];

    // Decoded into a scratch image first: a firmware that does not fit leaves the loaded one.
    FirmwareImage fresh;
    const int n = DecodeBase64(encoded.data(), static_cast<int>(encoded.size()), fresh.data.data(),
                               static_cast<int>(FirmwareImage::kCapacity));
    if (n < 0) {
        const std::string text =
            Text("The firmware is larger than 131072 bytes!", "固件大于131072字节!");
        RefuseOnline(text, text);
        return;
    }
    fresh.length = static_cast<uint32_t>(n);
    image_ = std::move(fresh);

    raw_flag_ = 1;
    device_kind_ = kDeviceBus;
    if (name.find("xbin") != std::string::npos) {
        open_flag_ = 1;
    } else {
        if (name.find("fbin") != std::string::npos) device_kind_ = kDevicePwm;
        if (name.find("mbin") != std::string::npos) device_kind_ = kDeviceModbus;
        open_flag_ = 0;
    }
    ImageLoaded();

    long long ms = 0;
    std::sscanf(inner["createdDate"].c_str(), "%lld", &ms);
    const std::time_t seconds = static_cast<std::time_t>(ms / 1000);
    std::tm local{};
    localtime_r(&seconds, &local);
    char upload[96];
    std::snprintf(upload, sizeof upload, "%d-%d-%d %d:%d:%d\r\n", local.tm_year + 1900,
                  local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
    const std::string log = model_line_format + inner["xinghao"] + " [" + listed_name + "]\r\n" +
                            version_head + version + "-->" + inner["banben"] + "\r\n" +
                            Text("File:", "固件文件:") + name + "\r\n" +
                            Text("Upload:", "上传时间:") + upload;
    view_->SetText(kFirmwareLogEdit, log);
    view_->ShowMessage(Text("Online detection", "在线检测"),
                       Text("Online detection successful!", "在线检测成功!"), false);
}
