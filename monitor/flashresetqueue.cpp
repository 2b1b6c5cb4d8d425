#include "monitor/flashresetqueue.h"

#include "monitor/paintpacer.h"

#include <QAbstractItemModel>
#include <QBrush>
#include <QColor>
#include <QSignalBlocker>
#include <QTableWidget>
#include <QTableWidgetItem>

#include <chrono>
#include <climits>

namespace {

qint64 monotonicMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

} // namespace

const QBrush &FlashResetQueue::flashBrush()
{
    static const QBrush brush(QColor(255, 255, 0));
    return brush;
}

const QBrush &FlashResetQueue::resetBrush()
{
    static const QBrush brush(QColor(255, 255, 255));
    return brush;
}

FlashResetQueue::FlashResetQueue()
{
    resetTimer.setSingleShot(true);
    QObject::connect(&resetTimer, &QTimer::timeout, [this] { resetDue(); });
}

void FlashResetQueue::setTable(QTableWidget *resetTable, PaintPacer *repaintPacer)
{
    table = resetTable;
    pacer = repaintPacer;
}

void FlashResetQueue::add(int row, int col)
{
    resets.push_back({monotonicMs() + FLASH_MS, row, col});
    if (!resetTimer.isActive())
        resetTimer.start(FLASH_MS);
}

void FlashResetQueue::resetDue()
{
    const qint64 now = monotonicMs();
    const std::size_t end = resets.size();
    std::size_t due = head;
    while (due < end && resets[due].dueMs <= now)
        ++due;

    if (due > head && table) {
        if (pacer)
            pacer->holdContent();
        QAbstractItemModel *model = table->model();
        int top = INT_MAX, bottom = -1, left = INT_MAX, right = -1;
        {
            const QSignalBlocker quiet(model);
            for (std::size_t i = head; i < due; ++i) {
                const Reset &reset = resets[i];
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
    head = due;

    if (head == resets.size()) {
        resets.clear();
        head = 0;
        return;
    }
    if (head > resets.size() / 2) {
        resets.erase(resets.begin(), resets.begin() + qint64(head));
        head = 0;
    }
    resetTimer.start(int(qMax<qint64>(0, resets[head].dueMs - now)));
}
