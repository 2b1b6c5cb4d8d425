#pragma once

#include <QFont>
#include <QHash>
#include <QHeaderView>
#include <QSize>
#include <QString>

class QStyle;
class QWidget;

// A table header measuring each label once. Whenever rows come or go the view
// lays its headers out again and asks both for the size they want; the
// column header then measures its ten labels and the row header those of its
// first and last hundred rows, shaping each text anew: in scroll mode, on
// every refresh. This header keeps the measured sizes: for row numbers in a
// font whose digits are all equally wide (tabular figures), one per number of
// digits, else one per label text. Labels with a font, icon or size of their
// own, or a sort indicator, are measured as usual. It declares no meta-object
// of its own, so to the rest of the program it is the QHeaderView the table
// would have made, and it is set up the same way.
class LabelHeader : public QHeaderView
{
public:
    LabelHeader(Qt::Orientation orientation, QWidget *parent = nullptr);

    // Off: every label is measured afresh (to compare with in tests).
    void setMeasuringOnce(bool once);

protected:
    QSize sectionSizeFromContents(int logicalIndex) const override;

private:
    bool measuringOnce = true;
    mutable QHash<QString, QSize> byText;
    mutable QHash<int, QSize> byDigits;
    mutable QFont measuredFont;
    mutable const QStyle *measuredStyle = nullptr;
    mutable bool measuredEnabled = true;
    mutable bool evenDigits = false;
};
