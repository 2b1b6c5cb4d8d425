#include "monitor/contentfit.h"

#include <QHeaderView>
#include <QTableWidget>
#include <QVarLengthArray>

namespace {

// Distinct texts kept before the hints are computed afresh.
constexpr int HINT_LIMIT = 8192;

} // namespace

void ContentFit::checkContext(const QTableWidget *table)
{
    if (table->font() == font && table->style() == style && hints.size() < HINT_LIMIT)
        return;
    hints.clear();
    labelHints.clear();
    emptyHint = QSize();
    font = table->font();
    style = table->style();
}

QSize ContentFit::cellHint(const QTableWidget *table, int row, int col, const QTableWidgetItem *item)
{
    // The view's hint for one cell, with the options it uses for the column
    // fit: no cell rectangle, hence no wrapping.
    if (!item) {
        if (!emptyHint.isValid())
            emptyHint = table->sizeHintForIndex(table->model()->index(row, col));
        return emptyHint;
    }
    const QString text = item->text();
    auto it = hints.constFind(text);
    if (it != hints.constEnd())
        return *it;
    const QSize hint = table->sizeHintForIndex(table->model()->index(row, col));
    hints.insert(text, hint);
    return hint;
}

int ContentFit::rowLabelHint(const QTableWidget *table, int row)
{
    // The header shows the row number unless the row has a header item; the
    // height of a number's label does not depend on its digits, only on the
    // font, so one per digit count is computed.
    if (table->verticalHeaderItem(row))
        return table->verticalHeader()->sectionSizeHint(row);
    int digits = 1;
    for (int n = row + 1; n >= 10; n /= 10)
        ++digits;
    auto it = labelHints.constFind(digits);
    if (it != labelHints.constEnd())
        return *it;
    const int hint = table->verticalHeader()->sectionSizeHint(row);
    labelHints.insert(digits, hint);
    return hint;
}

QVector<int> ContentFit::sampledRows(const QTableWidget *table)
{
    const QHeaderView *header = table->verticalHeader();
    const int maximum = header->resizeContentsPrecision();
    const int rows = table->rowCount();
    QVector<int> sample;
    int top = qMax(0, header->visualIndexAt(0));
    int bottom = header->visualIndexAt(table->viewport()->height());
    if (!table->isVisible() || bottom == -1)
        bottom = rows - 1;

    int processed = 0;
    int row = top;
    for (; row <= bottom; ++row) {
        const int logical = header->logicalIndex(row);
        if (header->isSectionHidden(logical))
            continue;
        sample.append(logical);
        if (++processed == maximum)
            break;
    }
    const int last = rows - 1;
    int above = top;
    int below = row - 1;
    if (maximum == 0)
        processed = 0;
    while (processed != maximum && (above > 0 || below < last)) {
        int logical = -1;
        if ((processed % 2 && above > 0) || below == last) {
            while (above > 0) {
                const int candidate = header->logicalIndex(--above);
                if (!header->isSectionHidden(candidate)) {
                    logical = candidate;
                    break;
                }
            }
        } else {
            while (below < last) {
                const int candidate = header->logicalIndex(++below);
                if (!header->isSectionHidden(candidate)) {
                    logical = candidate;
                    break;
                }
            }
        }
        if (logical < 0)
            continue;
        sample.append(logical);
        ++processed;
    }
    return sample;
}

void ContentFit::fit(QTableWidget *table)
{
    fitColumns(table);
    fitRows(table);
}

void ContentFit::fitColumns(QTableWidget *table)
{
    table->ensurePolished();
    checkContext(table);
    QHeaderView *header = table->horizontalHeader();
    const int grid = table->showGrid() ? 1 : 0;
    const QVector<int> rows = sampledRows(table);
    const int cols = table->columnCount();
    for (int col = 0; col < cols; ++col) {
        if (header->isSectionHidden(col))
            continue;
        int content = 0;
        for (int row : rows)
            content = qMax(content, cellHint(table, row, col, table->item(row, col)).width());
        const int width = qBound(header->minimumSectionSize(), qMax(content + grid, header->sectionSizeHint(col)),
                                 header->maximumSectionSize());
        header->resizeSection(col, width);
    }
}

void ContentFit::fitRows(QTableWidget *table)
{
    table->ensurePolished();
    checkContext(table);
    QHeaderView *header = table->verticalHeader();
    const QHeaderView *columns = table->horizontalHeader();
    const int grid = table->showGrid() ? 1 : 0;
    const int rows = table->rowCount();
    const int cols = table->columnCount();
    const bool wraps = table->wordWrap();
    // The width each column's texts wrap at (the cell less the grid line).
    QVarLengthArray<int, 16> wrapAt(cols);
    for (int col = 0; col < cols; ++col)
        wrapAt[col] = columns->isSectionHidden(col) ? -1 : table->columnWidth(col) - grid;

    QVector<int> heights(rows, -1);
    for (int row = 0; row < rows; ++row) {
        // Hidden rows keep the height they will show with again.
        if (header->isSectionHidden(row))
            continue;
        int content = 0;
        for (int col = 0; col < cols; ++col) {
            if (wrapAt[col] < 0)
                continue;
            const QSize hint = cellHint(table, row, col, table->item(row, col));
            if (wraps && hint.width() > wrapAt[col]) {
                // This text breaks into lines at its column's width.
                table->resizeRowsToContents();
                return;
            }
            content = qMax(content, hint.height());
        }
        heights[row] = qBound(header->minimumSectionSize(), qMax(content + grid, rowLabelHint(table, row)),
                              header->maximumSectionSize());
    }
    for (int row = 0; row < rows; ++row) {
        if (heights[row] >= 0)
            header->resizeSection(row, heights[row]);
    }
}
