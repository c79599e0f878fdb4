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

    param_error_caption = PickText(zh, "Parameter error", "参数错误");
    saved = PickText(zh, "Parameters saved successfully", "参数保存成功");
    save_caption = PickText(zh, "Parameter saving", "参数保存");
    id_in_use =
        PickText(zh, "The current ID servo already exists in the bus", "总线已经存在当前ID舵机");
    id_in_use_caption = PickText(zh, "Parameter save", "参数保存");
    save_failed = PickText(zh, "Parameter save failed", "参数保存失败");
    load_caption = PickText(zh, "Parameter loading", "参数载入");
    loaded = PickText(zh, "Parameters loaded successfully", "参数载入成功");
    load_failed = PickText(zh, "Parameter loading failed", "参数载入失败");
    wrong_model =
        PickText(zh, "The parameter does not fit this servo. Please replace the parameter file",
                 "参数不适配当前舵机请更换参数文件");
    recovery_caption = PickText(zh, "Parameter recovery", "参数恢复");
    recovered = PickText(zh, "Parameters recovered successfully", "参数恢复成功");
    recovery_failed = PickText(zh, "Parameter recovery failed", "参数恢复失败");
    backup_caption = PickText(zh, "Parameter backup", "参数备份");
    backed_up = PickText(zh, "Parameter backup successful", "参数备份成功");
    backup_failed = PickText(zh, "Parameter backup failed", "参数备份失败");
    file_not_written =
        PickText(zh, "The parameter file %s could not be written; nothing was saved.",
                 "参数文件%s无法写入，没有保存任何内容。");
    nothing_read = PickText(zh, "No values have been read from the servo yet; nothing was saved.",
                            "尚未从舵机读取到数值，没有保存任何内容。");
    not_all_read = PickText(
        zh, "Not every area of this file has been read from the servo yet; nothing was saved.",
        "尚未从舵机读取到此文件的全部存储区域，没有保存任何内容。");
    online_caption = PickText(zh, "Online loading", "在线载入");
    no_server_reply = PickText(zh, "Server no returned!", "服务器无返回!");
    no_parameter_file = PickText(zh, "Parameter loading failed!", "没有检测到参数文件!");
}
