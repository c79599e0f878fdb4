#pragma once
// The Debug page's automatic motion: a sweep alternating between the start and end goals and
// a step cycle walking from start to end and back. Pure state; the page runs the timers and
// sends the goals.
#include <cstdint>

class AutoDebug {
  public:
    // Next sweep goal: end when the last goal was start, else start.
    uint16_t SweepTick();

    // Resets the step cycle to walk upward from start.
    void ResetStep(int start_goal, int end_goal, int step_size);
    // Next step goal. The goal is not clamped: it may pass end (or start) by up to one step
    // before the direction turns.
    uint16_t StepTick();

    int start = 0;
    int end = 1023;
    int current = 0;
    int step = 0;
    bool downward = false;
    bool sweeping = false;
    bool stepping = false;
};
