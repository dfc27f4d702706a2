#include "app/dialogunits.h"

#include <QFontMetrics>

namespace {

// Windows' MulDiv: the product divided with rounding to nearest.
int mulDiv(int value, int numerator, int denominator) {
    const long long product = static_cast<long long>(value) * numerator;
    const long long half = denominator / 2;
    return static_cast<int>(product >= 0 ? (product + half) / denominator
                                         : (product - half) / denominator);
}

} // namespace

DialogUnits::DialogUnits(const QFont& font) {
    const QFontMetrics metrics(font);
    const int letters = metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    m_averageCharWidth = (letters / 26 + 1) / 2;
    m_fontHeight = metrics.height();
}

int DialogUnits::x(int dialogUnits) const { return mulDiv(dialogUnits, m_averageCharWidth, 4); }
int DialogUnits::y(int dialogUnits) const { return mulDiv(dialogUnits, m_fontHeight, 8); }

QRect DialogUnits::rect(int left, int top, int width, int height) const {
    return {x(left), y(top), x(width), y(height)};
}

QFont DialogUnits::dialogFont() {
    QFont font(QStringLiteral("Sans Serif"), 9);
    font.setStyleHint(QFont::SansSerif);
    return font;
}
