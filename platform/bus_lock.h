#pragma once
// Serialises bus transactions (a request and its answer). Re-entrant, so a service that
// holds it may call another that takes it again.
#include <mutex>

using BusLock = std::recursive_mutex;
