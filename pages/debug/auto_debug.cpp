#include "pages/debug/auto_debug.h"

uint16_t AutoDebug::SweepTick() {
    current = current == start ? end : start;
    return static_cast<uint16_t>(current);
}

void AutoDebug::ResetStep(int start_goal, int end_goal, int step_size) {
    start = start_goal;
    end = end_goal;
    current = start_goal;
    step = step_size;
    downward = false;
}

uint16_t AutoDebug::StepTick() {
    // Wrapping arithmetic: edits of four characters cannot overflow, but a long-running
    // cycle with a large step must not be undefined behaviour.
    if (!downward) {
        current = static_cast<int>(static_cast<unsigned>(current) + static_cast<unsigned>(step));
        if (current >= end) downward = true;
    } else {
        current = static_cast<int>(static_cast<unsigned>(current) - static_cast<unsigned>(step));
        if (current <= start) downward = false;
    }
    return static_cast<uint16_t>(current);
}
