// The message table's tools: the buttons of its tool row (clear, order, pause,
// scroll, hide unchanged, highlight changes off), the ageing and search that
// hide rows, and the font size.

#include "app/mainwindow.h"
#include "ui_mainwindow.h"

#include "monitor/flashresetqueue.h"
#include "monitor/tablelogic.h"
#include "monitor/updatespaused.h"

#include <QAbstractItemModel>
#include <QSignalBlocker>
#include <QTableWidget>
#include <QTableWidgetItem>
#include <QTime>

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
                    cell->setBackground(FlashResetQueue::resetBrush());
            }
        }
    }
    if (rows > 0 && cols > tablelogic::FIRST_BYTE_COLUMN)
        emit model->dataChanged(model->index(0, tablelogic::FIRST_BYTE_COLUMN), model->index(rows - 1, cols - 1));
}

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
