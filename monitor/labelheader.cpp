#include "monitor/labelheader.h"

#include <QFontMetrics>
#include <QTableWidget>

LabelHeader::LabelHeader(Qt::Orientation orientation, QWidget *parent)
    : QHeaderView(orientation, parent)
{
    // As the table view sets up its own headers.
    setSectionsClickable(true);
    setHighlightSections(true);
}

void LabelHeader::setMeasuringOnce(bool once)
{
    measuringOnce = once;
    byText.clear();
    byDigits.clear();
}

QSize LabelHeader::sectionSizeFromContents(int logicalIndex) const
{
    const QAbstractItemModel *source = model();
    if (!measuringOnce || !source || isSortIndicatorShown())
        return QHeaderView::sectionSizeFromContents(logicalIndex);

    const QFont &current = font();
    if (current != measuredFont || style() != measuredStyle || isEnabled() != measuredEnabled
        || byText.size() > 4096) {
        byText.clear();
        byDigits.clear();
        measuredFont = current;
        measuredStyle = style();
        measuredEnabled = isEnabled();
        // The labels are drawn in bold. Digits of equal width (tabular
        // figures, as in nearly every font, fixed-pitch or not) are set
        // without kerning, so a number measures as any other of as many digits.
        QFont bold = current;
        bold.setBold(true);
        const QFontMetrics metrics(bold);
        evenDigits = true;
        for (char digit = '1'; digit <= '9' && evenDigits; ++digit)
            evenDigits = metrics.horizontalAdvance(QLatin1Char(digit)) == metrics.horizontalAdvance(QLatin1Char('0'));
    }

    // A table widget's row without a header item of its own shows its number
    // and nothing else; any other label is looked at role by role.
    int number = -1;
    auto *table = qobject_cast<const QTableWidget *>(parentWidget());
    if (orientation() == Qt::Vertical && table && table->model() == source
        && !table->verticalHeaderItem(logicalIndex)) {
        number = logicalIndex + 1;
    } else {
        for (int role : {Qt::SizeHintRole, Qt::FontRole, Qt::DecorationRole}) {
            if (source->headerData(logicalIndex, orientation(), role).isValid())
                return QHeaderView::sectionSizeFromContents(logicalIndex);
        }
    }

    if (evenDigits && number >= 0) {
        int digits = 1;
        for (int n = number; n >= 10; n /= 10)
            ++digits;
        auto it = byDigits.constFind(digits);
        if (it != byDigits.constEnd())
            return *it;
        const QSize size = QHeaderView::sectionSizeFromContents(logicalIndex);
        byDigits.insert(digits, size);
        return size;
    }
    const QString text = number >= 0 ? QString::number(number)
                                     : source->headerData(logicalIndex, orientation(), Qt::DisplayRole).toString();
    auto it = byText.constFind(text);
    if (it != byText.constEnd())
        return *it;
    const QSize size = QHeaderView::sectionSizeFromContents(logicalIndex);
    byText.insert(text, size);
    return size;
}
