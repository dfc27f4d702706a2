#pragma once

#include <functional>

// Runs the event loop until condition holds or timeoutMs have passed; returns the condition.
bool waitUntil(const std::function<bool()>& condition, int timeoutMs = 5000);

// Runs a plain event loop for ms milliseconds. While nothing happens it sleeps in poll(), so
// the CPU time it uses shows whether something keeps the loop busy.
void runEventLoopFor(int ms);
