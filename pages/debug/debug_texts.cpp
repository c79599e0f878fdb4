#include "pages/debug/debug_texts.h"

#include "platform/string_table.h"

namespace {

struct Builtin {
    int id;
    const char* english;
    const char* chinese;
};

// Used when the compiled-in string table lacks an id.
constexpr Builtin kBuiltin[] = {
    {156, "Stop", "停止"},         {158, "Timeout", "通信超时"},  {164, "Normal", "通信正常"},
    {167, "Voltage", "过压/欠压"}, {168, "Current", "过流"},      {169, "Heat", "过热"},
    {170, "Load", "过载"},         {171, "Sensor", "传感器出错"}, {188, "Sweep", "扫描"},
    {197, "Setp", "步进"},         {203, "Export", "导出"},       {204, "Stop", "停止"},
};

std::string Load(const StringTable& table, int id) {
    std::string text = table.Get(id);
    if (!text.empty()) return text;
    for (const Builtin& b : kBuiltin) {
        if (b.id == id) return table.chinese() ? b.chinese : b.english;
    }
    return {};
}

}  // namespace

DebugTexts::DebugTexts(bool zh) : chinese(zh) {
    const StringTable table(zh);
    timeout = Load(table, 158);
    normal = Load(table, 164);
    voltage = Load(table, 167);
    current = Load(table, 168);
    heat = Load(table, 169);
    load = Load(table, 170);
    sensor = Load(table, 171);
    sweep = Load(table, 188);
    step = Load(table, 197);
    stop = Load(table, 156);
    record = Load(table, 203);
    stop_record = Load(table, 204);
}

std::string DebugTexts::StateText(uint8_t error) const {
    const struct {
        uint8_t bit;
        const std::string* word;
    } order[] = {{0x01, &voltage}, {0x04, &heat}, {0x08, &current}, {0x20, &load}, {0x02, &sensor}};
    std::string text;
    for (const auto& o : order) {
        if (!(error & o.bit)) continue;
        if (!text.empty()) text += ' ';
        text += *o.word;
    }
    return text.empty() ? normal : text;
}
