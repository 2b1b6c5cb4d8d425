// The live message table: the refresh that drains the store into the table, the
// change flash and its reset, and the tools of the table's tool row.

#include "app/mainwindow.h"
#include "ui_mainwindow.h"

#include "monitor/tablelogic.h"

#include <QBrush>
#include <QColor>
#include <QTableWidget>
#include <QTableWidgetItem>
#include <QSignalBlocker>
#include <QVarLengthArray>

#include <chrono>
#include <climits>

namespace {

constexpr int FLASH_MS = 500;

const QBrush &flashBrush()
{
    static const QBrush brush(QColor(255, 255, 0));
    return brush;
}

const QBrush &resetBrush()
{
    static const QBrush brush(QColor(255, 255, 255));
    return brush;
}

qint64 monotonicMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// Holds back the table's repaints and, above all, the header's per-section
// geometry work while many cells or rows change; one repaint follows.
class UpdatesPaused
{
public:
    explicit UpdatesPaused(QWidget *widget)
        : widget(widget)
        , wasEnabled(widget->updatesEnabled())
    {
        if (wasEnabled)
            widget->setUpdatesEnabled(false);
    }
    ~UpdatesPaused()
    {
        if (wasEnabled)
            widget->setUpdatesEnabled(true);
    }
    UpdatesPaused(const UpdatesPaused &) = delete;
    UpdatesPaused &operator=(const UpdatesPaused &) = delete;

private:
    QWidget *widget;
    bool wasEnabled;
};

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
                cell->setBackground(flashBrush());
            table->setItem(row, col, cell);
            if (highlight)
                emit dataChanged(row, col);
            continue;
        }
        if (tablelogic::cellTextEquals(cell->text(), fields[col]))
            continue;
        if (highlight) {
            cell->setBackground(flashBrush());
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
    // Every reset is due the same 500 ms after its flash, so due times only
    // grow: the queue stays sorted by appending, and the one timer is armed for
    // its front.
    flashResets.push_back({monotonicMs() + FLASH_MS, row, col});
    if (!flashTimer.isActive())
        flashTimer.start(FLASH_MS);
}

void MainWindow::resetDueFlashes()
{
    const qint64 now = monotonicMs();
    QTableWidget *table = ui->tv_messages;
    const std::size_t end = flashResets.size();
    std::size_t due = flashHead;
    while (due < end && flashResets[due].dueMs <= now)
        ++due;

    if (due > flashHead) {
        tablePacer.holdContent();
        QAbstractItemModel *model = table->model();
        int top = INT_MAX, bottom = -1, left = INT_MAX, right = -1;
        {
            const QSignalBlocker quiet(model);
            for (std::size_t i = flashHead; i < due; ++i) {
                const FlashReset &reset = flashResets[i];
                if (QTableWidgetItem *cell = table->item(reset.row, reset.col)) {
                    cell->setBackground(resetBrush());
                    top = qMin(top, reset.row);
                    bottom = qMax(bottom, reset.row);
                    left = qMin(left, reset.col);
                    right = qMax(right, reset.col);
                }
            }
        }
        if (bottom >= 0)
            emit model->dataChanged(model->index(top, left), model->index(bottom, right));
    }
    flashHead = due;

    if (flashHead == flashResets.size()) {
        flashResets.clear();
        flashHead = 0;
        return;
    }
    if (flashHead > flashResets.size() / 2) {
        flashResets.erase(flashResets.begin(), flashResets.begin() + qint64(flashHead));
        flashHead = 0;
    }
    flashTimer.start(int(qMax<qint64>(0, flashResets[flashHead].dueMs - now)));
}

void MainWindow::cleanBackgroundColor()
{
    if (ui->pb_highlightChanges->isChecked())
        return;
    QTableWidget *table = ui->tv_messages;
    QAbstractItemModel *model = table->model();
    UpdatesPaused paused(table);
    const int rows = table->rowCount();
    const int cols = table->columnCount();
    {
        const QSignalBlocker quiet(model);
        for (int row = 0; row < rows; ++row) {
            for (int col = tablelogic::FIRST_BYTE_COLUMN; col < cols; ++col) {
                if (QTableWidgetItem *cell = table->item(row, col))
                    cell->setBackground(resetBrush());
            }
        }
    }
    if (rows > 0 && cols > tablelogic::FIRST_BYTE_COLUMN)
        emit model->dataChanged(model->index(0, tablelogic::FIRST_BYTE_COLUMN), model->index(rows - 1, cols - 1));
}

// ---------------------------------------------------------------------------
// Tools

void MainWindow::startAfresh()
{
    serial.clearMessages();
    ui->tv_messages->setRowCount(0);
    rowOfId.clear();
}

void MainWindow::orderRows()
{
    // The order is applied by the refresh as rows come back.
    startAfresh();
}

void MainWindow::pauseClicked(bool checked)
{
    ui->pb_pauseTable->setText(checked ? QStringLiteral("RESTART") : QStringLiteral("PAUSE"));
}

void MainWindow::scrollClicked(bool checked)
{
    if (checked) {
        ui->pb_highlightChanges->setEnabled(false);
        ui->pb_scroll->setText(QStringLiteral("FIXED"));
        ui->pb_order->setEnabled(false);
        ui->pb_order->setChecked(false);
    } else {
        ui->pb_highlightChanges->setEnabled(true);
        ui->pb_scroll->setText(QStringLiteral("SCROLL"));
        ui->pb_order->setEnabled(true);
    }
    startAfresh();
}

void MainWindow::hideUnchangedClicked(bool checked)
{
    startAfresh();
    ui->sp_timeHide->setVisible(checked);
    if (checked)
        hideTimer.start(200);
    else
        hideTimer.stop();
}

void MainWindow::setRowsHidden(const QVector<int> &rows, const QVector<bool> &hide)
{
    // Showing or hiding rows one by one costs a pass over the header each while
    // the table repaints; held back, the whole batch costs one pass.
    if (rows.isEmpty())
        return;
    QTableWidget *table = ui->tv_messages;
    UpdatesPaused paused(table);
    for (int i = 0; i < rows.size(); ++i)
        table->setRowHidden(rows.at(i), hide.at(i));
}

void MainWindow::hideRows()
{
    const QTime now = QTime::currentTime();
    const QTableWidget *table = ui->tv_messages;
    const int limit = ui->sp_timeHide->value();
    QVector<int> flips;
    QVector<bool> hide;
    const int rows = table->rowCount();
    for (int row = 0; row < rows; ++row) {
        const QTableWidgetItem *cell = table->item(row, 0);
        const QString text = cell ? cell->text() : QString();
        const bool old = tablelogic::rowAgeSeconds(text, now) > limit;
        if (old != table->isRowHidden(row)) {
            flips.append(row);
            hide.append(old);
        }
    }
    setRowsHidden(flips, hide);
}

void MainWindow::highlightLine()
{
    const QString text = ui->le_highlight->text();
    const QString upper = text.toUpper();
    const QTableWidget *table = ui->tv_messages;
    QVector<int> flips;
    QVector<bool> hide;
    const int rows = table->rowCount();
    for (int row = 0; row < rows; ++row) {
        bool hidden = false;
        if (!text.isEmpty()) {
            const QTableWidgetItem *cell = table->item(row, 1);
            const QString idText = cell ? cell->text().trimmed() : QString();
            hidden = !idText.contains(upper);
        }
        if (hidden != table->isRowHidden(row)) {
            flips.append(row);
            hide.append(hidden);
        }
    }
    setRowsHidden(flips, hide);
    highlightActive = !text.isEmpty();
}

void MainWindow::keepTableViewportOpaque()
{
    // The viewport paints all of its area: the style sheet's background, then
    // the cells. The style sheet's polish leaves it marked see-through, though,
    // so each of its repaints first repainted the window, the frames and the
    // table behind it (four fills of the whole area, with a style-sheet lookup
    // each). Filling it with its own background brush, which is opaque, lets
    // the toolkit skip them; the style sheet's background is still drawn over
    // that brush, so the picture stays the same.
    ui->tv_messages->viewport()->setAutoFillBackground(true);
}

void MainWindow::changeTableFontSize(int step)
{
    const int size = tableFont.pointSize() + (step > 0 ? 1 : -1);
    const QString sheet = tablelogic::fontStyleSheet(size, step);
    // A font refuses sizes below 1 point and keeps its size; skipping the call
    // has the same effect without the toolkit's warning.
    if (size >= 1)
        tableFont.setPointSize(size);
    ui->tv_messages->setStyleSheet(sheet);
    keepTableViewportOpaque(); // the new sheet polished the viewport afresh
    tableFit.fit(ui->tv_messages); // columns, then rows, to their contents
}
