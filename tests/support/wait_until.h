#pragma once
// Waiting for a condition with a deadline: `serve` runs between checks (by default a short
// sleep; tests with posted work drain it there, Qt tests run the event loop there).
#include <chrono>
#include <thread>

template <class Done, class Serve>
bool WaitUntil(Done done, std::chrono::milliseconds limit, Serve serve) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        serve();
    }
    return true;
}

template <class Done>
bool WaitUntil(Done done, std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    return WaitUntil(done, limit,
                     [] { std::this_thread::sleep_for(std::chrono::milliseconds(2)); });
}
