#pragma once

#include <QFont>
#include <QHash>
#include <QSize>
#include <QString>
#include <QVector>

class QStyle;
class QTableWidget;
class QTableWidgetItem;

// Fits a table's columns and rows to their contents with the same widths and
// heights as the view's own resizeColumnsToContents() and resizeRowsToContents()
// (columns first, then rows), for a fraction of their cost: a cell's size hint
// is computed once per distinct text and looked up afterwards, and a row-number
// label's height once per number of digits. It relies on what this program's
// cells carry: a text, an alignment and a background, none of which but the
// text changes a cell's size. Should a cell's text wrap at its column's width,
// the rows are left to the view's own resize.
class ContentFit
{
public:
    void fit(QTableWidget *table);
    void fitColumns(QTableWidget *table);
    void fitRows(QTableWidget *table);

    // Rows whose cells the column fit looks at, in the view's own choice: the
    // rows in sight, then alternately above and below, up to the vertical
    // header's resize precision; hidden rows do not count.
    static QVector<int> sampledRows(const QTableWidget *table);

private:
    // The size hint of a cell with this text (null: no item), unwrapped.
    QSize cellHint(const QTableWidget *table, int row, int col, const QTableWidgetItem *item);
    int rowLabelHint(const QTableWidget *table, int row);
    void checkContext(const QTableWidget *table);

    QHash<QString, QSize> hints;
    QSize emptyHint;
    QHash<int, int> labelHints; // by digit count
    QFont font;
    const QStyle *style = nullptr;
};
