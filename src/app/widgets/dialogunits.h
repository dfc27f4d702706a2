#pragma once

#include <QFont>
#include <QRect>

// Dialog templates give positions in dialog units, which scale with the dialog font: a
// horizontal unit is a quarter of the font's average character width, a vertical one an
// eighth of its height.
class DialogUnits {
public:
    explicit DialogUnits(const QFont& font);

    int x(int du) const;
    int y(int du) const;
    QRect rect(int left, int top, int width, int height) const;

    int averageCharWidth() const { return m_averageCharWidth; }
    int fontHeight() const { return m_fontHeight; }

private:
    int m_averageCharWidth;
    int m_fontHeight;
};

// The system sans-serif at the given point size: what stands in for "MS Shell Dlg".
QFont dialogFont(int pointSize);
