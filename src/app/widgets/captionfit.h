#pragma once

class QWidget;

// The windows keep the rectangles of their templates, which were drawn for a narrower dialog
// font than the sans-serif fonts of a Linux desktop. So that no caption is clipped, the text
// of root's controls is set one notch smaller (a quarter point at a time, at most down to
// kSmallestCaptionPoints) until every button, label, group box title and column header shows
// its whole caption with the style's margins around it. The rectangles do not change.
constexpr double kSmallestCaptionPoints = 6.0;

void fitCaptions(QWidget& root);

// Whether every caption inside root fits its widget or column at root's current font.
bool captionsFit(const QWidget& root);
