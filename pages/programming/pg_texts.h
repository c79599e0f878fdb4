#pragma once
// The texts the Programming page shows: string-table texts in the interface language and
// the message-box texts built into the page, chosen by the Chinese flag.
#include <string>

struct PgTexts {
    explicit PgTexts(bool chinese);

    bool chinese;
    // String table.
    std::string timeout, normal, voltage, current, heat, load, sensor;
    std::string columns[5];
    std::string save_button, set_button;
    std::string lock_name, baud_name, ack_name, id_name;
    std::string too_large, too_small;  // "%s ... %d"
    std::string read_only_word, default_word;

    // Single write.
    std::string param_error_caption;
    std::string saved, save_caption;
    std::string id_in_use, id_in_use_caption;
    std::string save_failed;
    // Parameter files.
    std::string load_caption, loaded, load_failed, wrong_model;
    std::string recovery_caption, recovered, recovery_failed;
    std::string backup_caption, backed_up, backup_failed;
    std::string file_not_written;  // "%s": the file name
    std::string nothing_read;
    std::string not_all_read;
    // Online loading.
    std::string online_caption, no_server_reply, no_parameter_file;
};
