#pragma once

#include <cstddef>
#include <vector>

struct RecordSeries;

// A day holds tens of thousands of readings per line, a chart a thousand pixel columns. What is
// drawn of a series for a view from `from` to `to` (seconds, RecordTime scale) that is `columns`
// pixels wide: of each segment only the readings inside the view, and of those per pixel column
// the lowest and the highest in file order, so that no peak disappears at any zoom, plus the
// nearest reading beyond each edge, so that a line runs on out of the view.
//
// Each inner vector is one line, as indices into series.points. Segments that lie less than a
// column apart join into one line (a gap narrower than a pixel is not seen, and every segment
// drawn costs); a clock set back always starts a new line.
std::vector<std::vector<std::size_t>> decimateSeries(const RecordSeries& series, double from,
                                                     double to, int columns);
