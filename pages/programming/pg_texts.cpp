#include "pages/programming/pg_texts.h"

#include "platform/string_table.h"

PgTexts::PgTexts(bool zh) : chinese(zh) {
    const StringTable t(zh);
    timeout = t.Get(158);
    normal = t.Get(164);
    voltage = t.Get(167);
    current = t.Get(168);
    heat = t.Get(169);
    load = t.Get(170);
    sensor = t.Get(171);
    for (int c = 0; c < 5; ++c) columns[c] = t.Get(174 + c);
    save_button = t.Get(172);
    set_button = t.Get(173);
    lock_name = t.Get(181);
    baud_name = t.Get(182);
    ack_name = t.Get(183);
    id_name = t.Get(198);
    too_large = t.Get(193);
    too_small = t.Get(194);
    read_only_word = t.Get(190);
    default_word = t.Get(211);

    auto pick = [zh](const char* en, const char* cn) { return std::string(zh ? cn : en); };
    param_error_caption = pick("Parameter error", "参数错误");
    saved = pick("Parameters saved successfully", "参数保存成功");
    save_caption = pick("Parameter saving", "参数保存");
    id_in_use = pick("The current ID servo already exists in the bus", "总线已经存在当前ID舵机");
    id_in_use_caption = pick("Parameter save", "参数保存");
    save_failed = pick("Parameter save failed", "参数保存失败");
    load_caption = pick("Parameter loading", "参数载入");
    loaded = pick("Parameters loaded successfully", "参数载入成功");
    load_failed = pick("Parameter loading failed", "参数载入失败");
    wrong_model = pick("The parameter does not fit this servo. Please replace the parameter file",
                       "参数不适配当前舵机请更换参数文件");
    recovery_caption = pick("Parameter recovery", "参数恢复");
    recovered = pick("Parameters recovered successfully", "参数恢复成功");
    recovery_failed = pick("Parameter recovery failed", "参数恢复失败");
    backup_caption = pick("Parameter backup", "参数备份");
    backed_up = pick("Parameter backup successful", "参数备份成功");
    backup_failed = pick("Parameter backup failed", "参数备份失败");
    file_not_written = pick("The parameter file %s could not be written; nothing was saved.",
                            "参数文件%s无法写入，没有保存任何内容。");
    nothing_read = pick("No values have been read from the servo yet; nothing was saved.",
                        "尚未从舵机读取到数值，没有保存任何内容。");
    not_all_read =
        pick("Not every area of this file has been read from the servo yet; nothing was saved.",
             "尚未从舵机读取到此文件的全部存储区域，没有保存任何内容。");
    online_caption = pick("Online loading", "在线载入");
    no_server_reply = pick("Server no returned!", "服务器无返回!");
    no_parameter_file = pick("Parameter loading failed!", "没有检测到参数文件!");
}
