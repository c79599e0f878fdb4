#include "pages/debug/debug_texts.h"

#include "platform/string_table.h"

DebugTexts::DebugTexts(bool zh) : chinese(zh) {
    const StringTable table(zh);
    timeout = table.Get(158);
    normal = table.Get(164);
    voltage = table.Get(167);
    current = table.Get(168);
    heat = table.Get(169);
    load = table.Get(170);
    sensor = table.Get(171);
    sweep = table.Get(188);
    step = table.Get(197);
    stop = table.Get(156);
    record = table.Get(203);
    stop_record = table.Get(204);
    data_analysis = table.Get(13101);
    record_failed = table.Get(13102);
    record_lost = table.Get(13103);
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
