// The live message table's refresh: draining the store into the table in
// fixed or scroll mode, and the change flash of the bytes it writes.

#include "app/mainwindow.h"
#include "ui_mainwindow.h"

#include "monitor/flashresetqueue.h"
#include "monitor/logcell.h"
#include "monitor/tablelogic.h"

#include <QAbstractItemModel>
#include <QSignalBlocker>
#include <QTableWidget>
#include <QTableWidgetItem>

namespace {

QTableWidgetItem *newCell(tablelogic::SharedCellTexts &texts, QStringView field)
{
    return new QTableWidgetItem(texts.cellFor(field));
}

} // namespace

// ---------------------------------------------------------------------------
// Refresh

void MainWindow::updateTable()
{
    if (ui->pb_pauseTable->isChecked())
        return;
    refreshTimer.stop();

    // What the refresh writes is painted with the next display frame (the
    // writing holds the repaints back).
    const MessageMap drained = serial.takeMessages();
    if (ui->pb_scroll->isChecked()) {
        appendLogRows(drained);
        ui->tv_messages->scrollToBottom();
    } else if (!drained.isEmpty()) {
        writeFixedRows(drained);
    }

    refreshTimer.start(1);
}

void MainWindow::appendLogRows(const MessageMap &drained)
{
    if (drained.isEmpty())
        return;
    QTableWidget *table = ui->tv_messages;
    // New rows: the rows' header and the scroll bar change too.
    tablePacer.holdWhole();

    QAbstractItemModel *model = table->model();
    const int firstRow = table->rowCount();
    table->setRowCount(firstRow + drained.size());
    {
        const QSignalBlocker quiet(model);
        int row = firstRow;
        for (auto it = drained.cbegin(); it != drained.cend(); ++it, ++row) {
            QStringView fields[tablelogic::COLUMN_COUNT];
            const int n = qMin(tablelogic::fieldViews(it.value(), fields, tablelogic::COLUMN_COUNT),
                               tablelogic::COLUMN_COUNT);
            for (int col = 0; col < n; ++col)
                table->setItem(row, col, new LogCell(cellTexts.cellFor(fields[col])));
        }
    }
    emit model->dataChanged(model->index(firstRow, 0),
                            model->index(table->rowCount() - 1, tablelogic::COLUMN_COUNT - 1));

    // Bound the log: drop the oldest rows in one batch once a chunk has piled
    // up beyond the limit.
    const int rows = table->rowCount();
    if (rows > SCROLL_LOG_LIMIT + SCROLL_TRIM_CHUNK)
        table->model()->removeRows(0, rows - SCROLL_LOG_LIMIT);
}

void MainWindow::writeFixedRows(const MessageMap &drained)
{
    QTableWidget *table = ui->tv_messages;
    QAbstractItemModel *model = table->model();
    const bool ordered = ui->pb_order->isChecked();
    const bool highlight = ui->pb_highlightChanges->isChecked();
    const bool keepUnchanged = ui->pb_cleanUnchanged->isChecked();
    const bool hideZero = ui->pb_showZero->isChecked();
    const QString search = ui->le_highlight->text().toUpper();

    // The cells change; new rows or rows shown or hidden change more (the
    // rows' header, the scroll bar), see below.
    tablePacer.holdContent();

    // Rows for the new identifiers first. Messages are handled in ascending
    // identifier order, so a row inserted for a later (larger) identifier
    // always lands below every row handled before it: inserting them all up
    // front gives every message the same row as inserting them one by one.
    QVector<quint32> newIds;
    for (auto it = drained.cbegin(); it != drained.cend(); ++it) {
        if (!rowOfId.contains(it.key()))
            newIds.append(it.key());
    }
    if (!newIds.isEmpty()) {
        tablePacer.holdWhole();
        QVector<int> rows;
        if (ordered) {
            rows = tablelogic::placeOrderedAll(rowOfId, orderedIds, newIds);
        } else {
            int row = table->rowCount();
            for (quint32 id : qAsConst(newIds)) {
                rowOfId.insert(id, row);
                rows.append(row++);
            }
        }
        // Rows that follow one another go in together (inserting a row right
        // below the one just inserted is inserting two at once).
        for (int i = 0; i < rows.size();) {
            int count = 1;
            while (i + count < rows.size() && rows.at(i + count) == rows.at(i) + count)
                ++count;
            model->insertRows(rows.at(i), count);
            i += count;
        }
        // Rows below the first inserted one moved only if it did not go last.
        if (rows.first() + rows.size() < table->rowCount())
            reseatMovedItems(rows.first());
    }

    int touchedTop = table->rowCount();
    int touchedBottom = -1;
    {
        // The view repaints once when updates resume and hears of all changed
        // cells in one notification below, not once per cell.
        const QSignalBlocker quiet(model);
        const quint32 *nextNew = newIds.cbegin();
        for (auto it = drained.cbegin(); it != drained.cend(); ++it) {
            const quint32 id = it.key();
            const MessageRecord &record = it.value();

            // FMS candidates go to the FMS panel first.
            handOverFms(id, record);

            QStringView fields[tablelogic::COLUMN_COUNT];
            const int n = qMin(tablelogic::fieldViews(record, fields, tablelogic::COLUMN_COUNT),
                               tablelogic::COLUMN_COUNT);
            const int row = rowOfId.value(id);
            const bool newRow = nextNew != newIds.cend() && *nextNew == id;
            if (newRow)
                ++nextNew;
            touchedTop = qMin(touchedTop, row);
            touchedBottom = qMax(touchedBottom, row);

            if (newRow) {
                for (int col = 0; col < n; ++col)
                    table->setItem(row, col, newCell(cellTexts, fields[col]));
            } else {
                writeExistingRow(row, fields, n, highlight, keepUnchanged);
            }

            if (QTableWidgetItem *idCell = table->item(row, 1))
                idCell->setTextAlignment(Qt::AlignHCenter | Qt::AlignVCenter);

            // Visibility: the first rule that applies decides; a row that
            // keeps its state is left alone.
            int hide = -1;
            if (hideZero && tablelogic::payloadIsZero(record.value(2)))
                hide = 1;
            else if (highlightActive && !record.value(1).contains(search))
                hide = 1;
            else if (!keepUnchanged)
                hide = 0;
            if (hide >= 0 && table->isRowHidden(row) != bool(hide)) {
                tablePacer.holdWhole();
                table->setRowHidden(row, bool(hide));
            }
        }
    }
    if (touchedBottom >= 0) {
        emit model->dataChanged(model->index(touchedTop, 0),
                                model->index(touchedBottom, tablelogic::COLUMN_COUNT - 1));
    }

    if (!newIds.isEmpty())
        tableFit.fit(table); // columns, then rows, to their contents
}

void MainWindow::writeExistingRow(int row, const QStringView *fields, int n, bool highlight,
                                  bool keepUnchanged)
{
    QTableWidget *table = ui->tv_messages;
    QTableWidgetItem *cells[tablelogic::COLUMN_COUNT];
    for (int col = 0; col < n; ++col)
        cells[col] = table->item(row, col);

    if (keepUnchanged) {
        // A byte cell the row lacks (the identifier's earlier messages were
        // shorter) counts as changed.
        bool anyByteDiffers = false;
        for (int col = tablelogic::FIRST_BYTE_COLUMN; col < n && !anyByteDiffers; ++col)
            anyByteDiffers = !cells[col] || !tablelogic::cellTextEquals(cells[col]->text(), fields[col]);
        if (!anyByteDiffers)
            return;
    }

    for (int col = 0; col < tablelogic::FIRST_BYTE_COLUMN; ++col) {
        if (!cells[col])
            table->setItem(row, col, newCell(cellTexts, fields[col]));
        else if (!tablelogic::cellTextEquals(cells[col]->text(), fields[col]))
            cells[col]->setText(cellTexts.cellFor(fields[col]));
    }
    for (int col = tablelogic::FIRST_BYTE_COLUMN; col < n; ++col) {
        QTableWidgetItem *cell = cells[col];
        if (!cell) {
            // A byte beyond the row's earlier messages gets its cell now and
            // flashes like any other byte that changed.
            cell = newCell(cellTexts, fields[col]);
            if (highlight)
                cell->setBackground(FlashResetQueue::flashBrush());
            table->setItem(row, col, cell);
            if (highlight)
                emit dataChanged(row, col);
            continue;
        }
        if (tablelogic::cellTextEquals(cell->text(), fields[col]))
            continue;
        if (highlight) {
            cell->setBackground(FlashResetQueue::flashBrush());
            emit dataChanged(row, col);
        }
        cell->setText(cellTexts.cellFor(fields[col]));
    }
}

void MainWindow::reseatMovedItems(int firstMovedRow)
{
    // A table item remembers its place to find itself quickly when it changes;
    // rows inserted above it make that stale and every later change of the item
    // a search through the whole table. Taking the items of the moved rows out
    // and putting them back refreshes their places once.
    QTableWidget *table = ui->tv_messages;
    const QSignalBlocker quiet(table->model());
    const int rows = table->rowCount();
    const int cols = table->columnCount();
    for (int row = firstMovedRow; row < rows; ++row) {
        for (int col = 0; col < cols; ++col) {
            if (table->item(row, col))
                table->setItem(row, col, table->takeItem(row, col));
        }
    }
}

// ---------------------------------------------------------------------------
// Change flash

void MainWindow::colorCell(int row, int col)
{
    // The refresh has just painted the cell yellow; it turns white 500 ms later.
    flashResets.add(row, col);
}
