#pragma once

#include <QFont>
#include <QRect>

// Converts the dialog units of a window template into pixels the way Windows does for a
// dialog font: horizontally by a quarter of the font's average character width (taken from
// the 52 Latin letters), vertically by an eighth of its height.
class DialogUnits {
public:
    explicit DialogUnits(const QFont& font);

    int x(int dialogUnits) const;
    int y(int dialogUnits) const;
    QRect rect(int left, int top, int width, int height) const;

    int averageCharWidth() const { return m_averageCharWidth; }
    int fontHeight() const { return m_fontHeight; }

    // The dialog font of the main window: the system's sans-serif face at 9 points.
    static QFont dialogFont();

private:
    int m_averageCharWidth;
    int m_fontHeight;
};
