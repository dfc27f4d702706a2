#pragma once

#include <atomic>

// Shared between the window and the thread that reads a workbook: how far the reading got, and
// whether the window has lost interest in it.
struct ReadProgress {
    // -1 while the file itself is parsed (one step without a measure), then 0 to 100 while
    // its rows are taken over.
    std::atomic<int> percent{-1};
    std::atomic<bool> cancelled{false};
};
