#pragma once

#include <functional>

// Runs the event loop until the condition holds or the time is up; returns the condition.
// For results that arrive from worker threads as posted events.
bool WaitUntil(const std::function<bool()>& condition, int timeoutMs = 10000);
