#include "updater/update_texts.h"

#include "platform/string_table.h"

UpdateTexts::UpdateTexts(bool zh) : chinese(zh) {
    caption = "VexaUpdate";
    download = PickText(zh, "Download", "下载");
    instruction = PickText(zh, "Click download to start upgrade!", "点击下载开始程序升级!");
    no_reply = PickText(zh, "server no returned!", "服务器无返回!");
    not_detected = PickText(zh, "Vexa software was not detected!", "没有检测到Vexa程序!");
    bad_name = PickText(zh, "The server named no plain program file (%s); nothing was changed!",
                        "服务器给出的程序文件名无效(%s),未做任何更改!");
    file_label = PickText(zh, "File:", "文件名字:");
    version_label = PickText(zh, "Version:", "软件版本:");
    upload_label = PickText(zh, "Upload:", "上传时间:");
    progress = PickText(zh, "Data:%.2fkb", "下载数据:%.2fkb");
    tmp_failed = PickText(zh, "Unable to create Vexa.tmp file!", "无法创建Vexa.tmp文件!");
    connection_lost = PickText(zh, "Network connection lost!", "网络连接断开!");
    no_payload = PickText(zh, "The server sent no program data; nothing was changed!",
                          "服务器没有发送程序数据,未做任何更改!");
    close_target =
        PickText(zh, "close the %s program and try to upgrade again!", "请关闭%s程序再尝试升级!");
    register_failed = PickText(zh, "Version registered failed!", "版本号注册失败!");
    register_failed_log = PickText(zh, "\r\nVersion registered failed!", "\r\n版本号注册失败!");
    register_ok_log = PickText(zh, "\r\nVersion registered successfully!", "\r\n版本号注册成功!");
    success = PickText(zh, "Upgrade successful!", "在线升级成功!");
}

std::string UpdateTexts::Fill(const std::string& pattern, const std::string& value) {
    const size_t at = pattern.find("%s");
    if (at == std::string::npos) return pattern;
    return pattern.substr(0, at) + value + pattern.substr(at + 2);
}
