#include "app/widgets/captionfit.h"

#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QStyleOption>
#include <QTableView>

namespace {

constexpr double kStepPoints = 0.25;

bool fits(QSize needed, QSize available) {
    return needed.width() <= available.width() && needed.height() <= available.height();
}

bool buttonFits(const QPushButton& button) {
    // What the style adds around a caption when it sizes a button: its margin and frame.
    const QStyle* style = button.style();
    const int margin = style->pixelMetric(QStyle::PM_ButtonMargin, nullptr, &button) +
                       2 * style->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, &button);
    const QSize text = button.fontMetrics().size(Qt::TextShowMnemonic, button.text());
    return fits(text + QSize(margin, margin), button.size());
}

bool labelFits(const QLabel& label) {
    if (label.wordWrap() || label.text().isEmpty()) {
        return true; // a wrapping line grows to its text
    }
    const QMargins margins = label.contentsMargins();
    const int extra = 2 * (label.margin() + label.frameWidth());
    const QSize text = label.fontMetrics().size(Qt::TextShowMnemonic, label.text());
    return fits(text + QSize(margins.left() + margins.right() + extra,
                             margins.top() + margins.bottom() + extra),
                label.size());
}

bool groupTitleFits(const QGroupBox& box) {
    QStyleOptionGroupBox option;
    option.initFrom(&box);
    option.text = box.title();
    option.subControls = QStyle::SC_GroupBoxLabel | QStyle::SC_GroupBoxFrame;
    option.lineWidth = 1;
    const QRect label =
        box.style()->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel, &box);
    return label.left() + box.fontMetrics().horizontalAdvance(box.title()) <= box.width();
}

bool headerFits(const QTableView& table) {
    const QHeaderView* header = table.horizontalHeader();
    const QAbstractItemModel* model = table.model();
    for (int section = 0; section < header->count(); ++section) {
        QStyleOptionHeader option;
        option.initFrom(header);
        option.section = section;
        option.text = model->headerData(section, Qt::Horizontal).toString();
        option.textAlignment = Qt::AlignCenter;
        option.orientation = Qt::Horizontal;
        option.fontMetrics = header->fontMetrics();
        const QSize needed =
            header->style()->sizeFromContents(QStyle::CT_HeaderSection, &option, QSize(), header);
        if (needed.width() > header->sectionSize(section)) {
            return false;
        }
    }
    return true;
}

template <typename Widget, typename Check> bool all(const QWidget& root, Check check) {
    for (const Widget* widget : root.findChildren<Widget*>()) {
        if (!check(*widget)) {
            return false;
        }
    }
    return true;
}

} // namespace

bool captionsFit(const QWidget& root) {
    return all<QPushButton>(root, buttonFits) && all<QLabel>(root, labelFits) &&
           all<QGroupBox>(root, groupTitleFits) && all<QTableView>(root, headerFits);
}

void fitCaptions(QWidget& root) {
    QFont font = root.font();
    while (!captionsFit(root) && font.pointSizeF() - kStepPoints >= kSmallestCaptionPoints) {
        font.setPointSizeF(font.pointSizeF() - kStepPoints);
        root.setFont(font);
    }
}
