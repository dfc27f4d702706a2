#include "app/widgets/dialogunits.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QStringList>

namespace {

// Rounded a * b / c, as the dialog manager maps its rectangles.
int mulDiv(int a, int b, int c) {
    return static_cast<int>((static_cast<qint64>(a) * b + c / 2) / c);
}

} // namespace

DialogUnits::DialogUnits(const QFont& font) {
    const QFontMetrics metrics(font);
    // The average width is taken over the 52 Latin letters and rounded, not from the font's
    // own average, which differs between fonts in ways the templates never assumed.
    const int letters = metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    m_averageCharWidth = (letters / 26 + 1) / 2;
    m_fontHeight = metrics.height();
}

int DialogUnits::x(int du) const {
    return mulDiv(du, m_averageCharWidth, 4);
}
int DialogUnits::y(int du) const {
    return mulDiv(du, m_fontHeight, 8);
}

QRect DialogUnits::rect(int left, int top, int width, int height) const {
    return QRect(x(left), y(top), x(width), y(height));
}

QFont dialogFont(int pointSize) {
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setFamilies(QStringList{QStringLiteral("sans-serif")});
    font.setStyleHint(QFont::SansSerif);
    font.setPointSize(pointSize);
    return font;
}
