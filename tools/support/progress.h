#pragma once

// Progress of long work on standard error, only on a terminal and only for
// work that takes more than a moment: "converting: 1048576 lines, 42 %,
// 1.35 M lines/s", rewritten in place and cleared at the end.

#include <QElapsedTimer>
#include <QString>

namespace tool {

class Progress
{
public:
    // `totalBytes` is the size of the input (0 when not known: no share).
    Progress(const QString &verb, qint64 totalBytes);
    ~Progress();
    Progress(const Progress &) = delete;
    Progress &operator=(const Progress &) = delete;

    // After each line of the input: the line is shown at most twice a second,
    // from two seconds on, and looked at once every 65,536 lines only.
    void update(qint64 linesRead, qint64 bytesRead)
    {
        if (terminal && (linesRead & 0xFFFF) == 0)
            show(linesRead, bytesRead);
    }

private:
    void show(qint64 linesRead, qint64 bytesRead);

    QString verb;
    qint64 total;
    bool terminal;
    bool shown = false;
    qint64 lastMs = 0;
    QElapsedTimer clock;
};

} // namespace tool
