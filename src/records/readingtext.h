#pragma once

#include <QStringView>
#include <optional>

// A concentration cell read as a number, with the decimals its text showed, so that a table can
// show "12.30" again rather than "12.3".
struct ReadingNumber {
    // For numbers written with an exponent, which are best shown in their shortest form.
    static constexpr int kShortest = -1;
    double value = 0;
    int decimals = 0;
};

// The program writes readings right-aligned with leading blanks (" 12.3"); blanks around the
// number are ignored. Anything that is not one finite decimal number ("", "----", "OVER",
// "1,5") gives nothing: such readings are left out of a chart, never drawn as zero.
std::optional<ReadingNumber> parseReading(QStringView text);
