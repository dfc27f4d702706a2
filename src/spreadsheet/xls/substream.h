#pragma once

#include "spreadsheet/xls/biffformat.h"

#include <cstdint>

namespace xls {

// The depth of nested substreams as their records go by ([MS-XLS] 2.1.4 Streams and
// substreams: a sheet's substream may hold a chart's, from its BOF to its EOF). Each record
// walked tells its depth: 1 for the records of the outermost substream, its BOF and EOF
// included, 2 for those of a substream embedded in it, and so on.
class SubstreamDepth {
public:
    explicit SubstreamDepth(int depth = 0) : m_depth(depth) {}

    // The depth of a record of this type where the walk now stands; a BOF opens a depth, an EOF
    // closes one (an EOF outside any substream stays at 0).
    int next(uint16_t type) {
        if (type == biff::kBof) {
            return ++m_depth;
        }
        if (type == biff::kEof && m_depth > 0) {
            return m_depth--;
        }
        return m_depth;
    }
    // The depth of the records that follow.
    int depth() const { return m_depth; }

private:
    int m_depth;
};

} // namespace xls
