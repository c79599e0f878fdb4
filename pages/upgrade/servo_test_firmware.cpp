// The Upgrade page's firmware image: "Open", the device keys and online detection.
#include <algorithm>
#include <cctype>

#include "definitions/server_file.h"
#include "pages/upgrade/servo_test.h"
#include "pages/upgrade/servo_test_view.h"
#include "platform/string_table.h"

namespace {
constexpr const char* kFilterTail =
    "bus device (*.bin)|*.bin|pwm device (*.fbin)|*.fbin|modbus device (*.mbin)|*.mbin|"
    "open device (*.xbin)|*.xbin||";

// Largest online firmware taken: the Intel HEX text of a full image fits well inside.
constexpr size_t kMaxOnlineDownload = 3u * 1024 * 1024;

std::string Dotted(int major, int minor) {
    return std::to_string(major) + "." + std::to_string(minor);
}
}  // namespace

void CServoTest::OnKey(char key) {
    const char* label = nullptr;
    ServoKind kind = kKindServo;
    switch (key) {
        case 'B':
        case 'b':
            label = "bus device";
            kind = kKindServo;
            break;
        case 'M':
        case 'm':
            label = "modbus device";
            kind = kKindModbus;
            break;
        case 'R':
        case 'r':
            label = "pwm device";
            kind = kKindPwm;
            break;
        default:
            return;
    }
    if (exchange_.running()) return;  // the file filter stays while an image is sent
    key_kind_ = kind;
    device_kind_ = kind;
    filter_ = std::string(label) + " (*.hex)|*.hex|" + kFilterTail;
}

void CServoTest::OnOpen() {
    if (!view_ || exchange_.running()) return;
    std::string path;
    if (!view_->AskOpenFile(filter_, "bin", path)) return;
    LoadFile(path);
}

void CServoTest::LoadFile(const std::string& path) {
    image_.length = 0;
    const FirmwareFile kind = FirmwareFileKind(path);
    if (kind == FirmwareFile::kOther) {
        RefuseImage(PickText(chinese_,
                             "Unknown firmware file type: only .hex, .bin, .fbin, .mbin and .xbin "
                             "files can be sent!",
                             "未知的固件文件类型:只能发送.hex、.bin、.fbin、.mbin和.xbin文件!"));
        return;
    }
    const LoadResult result =
        kind == FirmwareFile::kHex ? LoadHexFile(image_, path) : LoadRawFile(image_, path);
    if (result == LoadResult::kTooLong && kind == FirmwareFile::kHex) {
        RefuseImage(
            PickText(chinese_, "The firmware is larger than 131072 bytes!", "固件大于131072字节!"));
        return;
    }
    if (result != LoadResult::kLoaded) {
        view_->Enable(kUpgradeButton, false);
        return;
    }
    if (image_.length == 0) {
        RefuseImage(PickText(chinese_, "The firmware file is empty!", "固件文件为空!"));
        return;
    }
    open_flag_ = 0;
    if (kind == FirmwareFile::kHex) {
        // An Intel HEX file does not say which device it is for: the last B, M or R key does.
        raw_flag_ = 0;
        device_kind_ = key_kind_;
    } else {
        raw_flag_ = 1;
        device_kind_ = kind == FirmwareFile::kPwm      ? kKindPwm
                       : kind == FirmwareFile::kModbus ? kKindModbus
                                                       : kKindServo;
        open_flag_ = kind == FirmwareFile::kOpen ? 1 : 0;
    }
    ImageLoaded();
}

// An image that must not be sent: "Upgrade" stays disabled and the log says why.
void CServoTest::RefuseImage(const std::string& reason) {
    image_.length = 0;
    view_->Enable(kUpgradeButton, false);
    view_->SetText(kFirmwareLogEdit, reason);
}

void CServoTest::ImageLoaded() {
    view_->SetProgressRange(0, static_cast<int>(image_.BlockCount()));
    view_->SetProgressStep(1);
    view_->SetProgressPos(0);
    view_->Enable(kUpgradeButton, true);
}

void CServoTest::RefuseOnline(const std::string& log, const std::string& box) {
    view_->Enable(kUpgradeButton, false);
    view_->SetText(kFirmwareLogEdit, log);
    view_->ShowMessage(PickText(chinese_, "Online detection", "在线检测"), box, true);
}

void CServoTest::OnOnline() {
    if (!view_ || exchange_.running()) return;
    ServoInfo record{};
    std::string listed_name;
    ServoKind kind = kKindServo;
    {
        std::lock_guard g(selection_mutex_);
        if (selection_.count == 0) {
            view_->SetText(kFirmwareLogEdit,
                           PickText(chinese_, "Please select the servo!", "请选择相应舵机!"));
            return;
        }
        record = selection_.records[static_cast<size_t>(selection_.index)];
        listed_name = selection_.model_name;
        kind = selection_.kind;
    }
    const std::string model = Dotted(record.model_major(), record.model_minor());
    const std::string version = Dotted(record.firmware_major(), record.firmware_minor());
    const std::string model_line_format = PickText(chinese_, "Model:", "舵机型号:");
    const std::string version_head = PickText(chinese_, "Version:", "固件版本:");

    // Intel HEX text takes about 2.8 characters per image byte: a download is taken up to
    // what the text of a full image could need, and checked by its kind below.
    ServerReply reply = DownloadServerFile(model, kMaxOnlineDownload);
    if (reply.result == ServerResult::kNoReply) {
        const std::string text = PickText(chinese_, "Server no returned!", "服务器无返回!");
        RefuseOnline(text, text);
        return;
    }
    const std::string none = PickText(chinese_, "No firmware detected!", "没有检测到升级固件!");
    const std::string none_log =
        model_line_format + model + " [" + listed_name + "]\r\n" + version_head + none + "\r\n";
    if (reply.result == ServerResult::kNothingStored) {
        RefuseOnline(none_log, none);
        return;
    }
    ReplyMap& members = reply.members;
    const std::string& name = members["filename"];
    std::string lower_name = name;
    for (char& c : lower_name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const bool hex = FirmwareFileKind(lower_name) == FirmwareFile::kHex;

    // Read into a scratch image first: a firmware that is refused leaves the loaded one.
    FirmwareImage fresh;
    const std::string too_large =
        PickText(chinese_, "The firmware is larger than 131072 bytes!", "固件大于131072字节!");
    const std::vector<uint8_t>& bytes = reply.bytes;
    if (reply.result == ServerResult::kTooLarge ||
        (!hex && bytes.size() > FirmwareImage::kCapacity)) {
        RefuseOnline(too_large, too_large);
        return;
    }
    if (hex) {
        const LoadResult result = LoadHexText(fresh, std::string(bytes.begin(), bytes.end()));
        if (result != LoadResult::kLoaded) {
            const std::string why =
                result == LoadResult::kTooLong
                    ? too_large
                    : PickText(chinese_, "The firmware file is not valid Intel HEX!",
                               "固件文件不是有效的Intel HEX格式!");
            RefuseOnline(why, why);
            return;
        }
    } else {
        std::copy(bytes.begin(), bytes.end(), fresh.data.begin());
        fresh.length = static_cast<uint32_t>(bytes.size());
    }
    // Nothing to send is nothing found: "Upgrade" would only leave the servo in its loader.
    if (fresh.length == 0) {
        RefuseOnline(none_log, none);
        return;
    }
    image_ = std::move(fresh);

    open_flag_ = 0;
    if (hex) {
        // A HEX file names no device: it goes to the selected servo the way its kind needs.
        raw_flag_ = 0;
        device_kind_ = kind;
    } else {
        raw_flag_ = 1;
        device_kind_ = kKindServo;
        if (lower_name.find("xbin") != std::string::npos) {
            open_flag_ = 1;
        } else {
            if (lower_name.find("fbin") != std::string::npos) device_kind_ = kKindPwm;
            if (lower_name.find("mbin") != std::string::npos) device_kind_ = kKindModbus;
        }
    }
    ImageLoaded();

    const std::string log = model_line_format + members["xinghao"] + " [" + listed_name + "]\r\n" +
                            version_head + version + "-->" + members["banben"] + "\r\n" +
                            PickText(chinese_, "File:", "固件文件:") + name + "\r\n" +
                            PickText(chinese_, "Upload:", "上传时间:") +
                            FormatUploadTime(members["createdDate"]);
    view_->SetText(kFirmwareLogEdit, log);
    view_->ShowMessage(PickText(chinese_, "Online detection", "在线检测"),
                       PickText(chinese_, "Online detection successful!", "在线检测成功!"), false);
}
