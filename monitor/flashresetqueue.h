#pragma once

// The change flash of the message table: a byte cell whose text changed is
// painted yellow and turned white again 500 ms later. Every reset is due the
// same 500 ms after its flash, so due times only grow: the queue stays sorted
// by appending, and one single-shot timer, armed for its front, serves every
// pending reset in the order they fell due.

#include <QTimer>

#include <cstddef>
#include <vector>

class PaintPacer;
class QBrush;
class QTableWidget;

class FlashResetQueue
{
public:
    static constexpr int FLASH_MS = 500;
    // Yellow for a flashed cell, white for one reset.
    static const QBrush &flashBrush();
    static const QBrush &resetBrush();

    FlashResetQueue();

    // The table whose cells are reset, and the pacer its repaints go through.
    void setTable(QTableWidget *table, PaintPacer *pacer);

    // The cell at row, col has just flashed: it is reset FLASH_MS from now.
    void add(int row, int col);

    // Resets not yet done.
    int pending() const { return int(resets.size() - head); }
    // The one timer (tests look at it).
    QTimer &timer() { return resetTimer; }

private:
    struct Reset {
        qint64 dueMs; // monotonic clock
        int row;
        int col;
    };

    // Whitens the cells whose reset is due and arms the timer for the next.
    void resetDue();

    // Due resets in order; entries before head are done (the vector is
    // compacted once the done part outweighs the pending part).
    std::vector<Reset> resets;
    std::size_t head = 0;
    QTimer resetTimer;
    QTableWidget *table = nullptr;
    PaintPacer *pacer = nullptr;
};
