// Cost of the message table refresh on the real window (offscreen).
//
// Fixed mode: N identifiers whose 8 bytes all change before every refresh,
// highlighting on; prints ms per refresh (median, max), µs per drained message,
// the cost of the flash resets and repaints between refreshes, and how many
// timer objects are alive. The same with "ORDER BY ID" after identifiers were
// inserted above existing rows. Scroll mode: resident memory per 100,000 log
// rows and the cost of a refresh that trims the log.
//
//   bench_table [rounds [fixed|ordered|scroll[:count]]]

#include "bench/benchsupport.h"
#include "tests/support/tablewindow.h"

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QFrame>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QThread>
#include <QTime>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

void fillStore(MainWindow &w, const std::vector<quint32> &ids, quint32 round)
{
    const QString now = QTime::currentTime().toString(QStringLiteral("HH:mm:ss.zzz"));
    for (quint32 id : ids) {
        MainWindowProbe::serial(w).storeMessage(
            id, {now, QStringLiteral("%1").arg(id, 8, 16, QLatin1Char('0')).toUpper(), payloadText(id + round)});
    }
}

// One refresh through the meta-object, as the timer would call it; the timer it
// restarts is stopped again so that the benchmark alone drives the refreshes.
double refreshMs(MainWindow &w)
{
    QElapsedTimer t;
    t.start();
    QMetaObject::invokeMethod(&w, "updateTable");
    const double ms = t.nsecsElapsed() / 1e6;
    MainWindowProbe::refreshTimer(w).stop();
    return ms;
}

long residentBytes()
{
    return bench::residentKiB() * 1024;
}

int timerObjects(MainWindow &w)
{
    // The window's members are not its children; count both kinds.
    return w.findChildren<QTimer *>().size() + qApp->findChildren<QTimer *>().size() + 4;
}

void fixedMode(int count, int rounds, bool ordered)
{
    TableWindow window;
    MainWindow &w = window.w;
    QApplication::processEvents();
    auto *highlight = w.findChild<QPushButton *>(QStringLiteral("pb_highlightChanges"));
    highlight->setChecked(true);
    if (ordered)
        w.findChild<QPushButton *>(QStringLiteral("pb_order"))->setChecked(true);

    // Ordered: identifiers arrive from the highest down, 100 per refresh, so
    // every insertion lands above existing rows.
    std::vector<quint32> ids;
    for (int i = 0; i < count; ++i)
        ids.push_back(0x18FE0000u + quint32(i) * 3u);
    double fillMs = 0;
    if (ordered) {
        std::vector<quint32> descending(ids.rbegin(), ids.rend());
        QElapsedTimer t;
        t.start();
        for (std::size_t i = 0; i < descending.size(); i += 100) {
            std::vector<quint32> batch(descending.begin() + i,
                                       descending.begin() + std::min(descending.size(), i + 100));
            fillStore(w, batch, 0);
            refreshMs(w);
        }
        fillMs = t.nsecsElapsed() / 1e6;
    } else {
        fillStore(w, ids, 0);
        fillMs = refreshMs(w);
    }
    QApplication::processEvents();

    std::vector<double> refresh, between;
    for (int r = 1; r <= rounds; ++r) {
        fillStore(w, ids, quint32(r));
        refresh.push_back(refreshMs(w));
        QElapsedTimer t;
        t.start();
        QApplication::processEvents(); // repaint, due flash resets
        between.push_back(t.nsecsElapsed() / 1e6);
    }
    const bench::Summary s = bench::summarize(refresh);
    const bench::Summary b = bench::summarize(between);
    std::printf("fixed%s %5d ids: refresh median %7.3f ms, max %7.3f ms, %6.2f us/message | "
                "first fill %8.2f ms | events between refreshes median %6.3f ms | "
                "pending resets %d, timer objects %d\n",
                ordered ? " ordered" : "        ", count, s.median, s.max, s.median * 1000.0 / count,
                fillMs, b.median, MainWindowProbe::pendingFlashResets(w), timerObjects(w));
}

void scrollMode(int rowsPerRefresh)
{
    TableWindow window;
    MainWindow &w = window.w;
    QApplication::processEvents();
    w.findChild<QPushButton *>(QStringLiteral("pb_scroll"))->click();

    std::vector<quint32> ids;
    for (int i = 0; i < rowsPerRefresh; ++i)
        ids.push_back(0x100u + quint32(i));

    const long before = residentBytes();
    std::vector<double> refresh;
    quint32 round = 0;
    auto *table = w.findChild<QTableWidget *>(QStringLiteral("tv_messages"));
    while (table->rowCount() < 100000) {
        fillStore(w, ids, ++round);
        refresh.push_back(refreshMs(w));
    }
    QApplication::processEvents();
    const long after = residentBytes();
    const bench::Summary s = bench::summarize(refresh);
    std::printf("scroll %d rows/refresh: append median %.3f ms, max %.3f ms (%.2f us/row); "
                "resident memory %.1f MB per 100,000 rows (%ld bytes/row)\n",
                rowsPerRefresh, s.median, s.max, s.median * 1000.0 / rowsPerRefresh,
                (after - before) / 1e6 * 100000.0 / table->rowCount(),
                (after - before) / table->rowCount());

    // Run past the bound: the refresh that trims is the expensive one.
    std::vector<double> steady;
    double trimMax = 0;
    int trims = 0;
    for (int i = 0; i < 3 * (10000 / rowsPerRefresh + 1); ++i) {
        const int rowsBefore = table->rowCount();
        fillStore(w, ids, ++round);
        const double ms = refreshMs(w);
        if (table->rowCount() < rowsBefore) {
            trimMax = std::max(trimMax, ms);
            ++trims;
        } else {
            steady.push_back(ms);
        }
    }
    QApplication::processEvents();
    std::printf("scroll past the bound: rows now %d, resident %.1f MB; non-trimming refresh median %.3f ms; "
                "%d trimming refreshes, slowest %.2f ms\n",
                table->rowCount(), residentBytes() / 1e6, bench::summarize(steady).median, trims, trimMax);

    // Ageing over the whole log: a pass that changes nothing, one that hides
    // every row, and one that shows them all again.
    auto *threshold = w.findChild<QSpinBox *>(QStringLiteral("sp_timeHide"));
    threshold->setValue(1);
    auto timed = [&](const char *slot) {
        QElapsedTimer t;
        t.start();
        QMetaObject::invokeMethod(&w, slot);
        return t.nsecsElapsed() / 1e6;
    };
    const double young = timed("hideRows");
    QThread::sleep(3);
    const double hideAll = timed("hideRows");
    threshold->setValue(60);
    const double showAll = timed("hideRows");
    std::printf("hideRows over %d rows: nothing changes %.1f ms, hides every row %.1f ms, shows every row %.1f ms\n",
                table->rowCount(), young, hideAll, showAll);
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(5, std::atoi(argv[1])) : 60;

    // Optional scenario "fixed", "ordered" or "scroll", with ":count" for one size.
    const QStringList pick = (argc > 2 ? QString::fromLocal8Bit(argv[2]) : QString()).split(QLatin1Char(':'));
    const QString only = pick.value(0);
    const int size = pick.value(1).toInt();
    if (only.isEmpty() || only == QLatin1String("fixed")) {
        for (int count : {50, 500, 2000}) {
            if (!size || size == count)
                fixedMode(count, rounds, false);
        }
    }
    if (only.isEmpty() || only == QLatin1String("ordered")) {
        for (int count : {500, 2000}) {
            if (!size || size == count)
                fixedMode(count, rounds, true);
        }
    }
    if (only.isEmpty() || only == QLatin1String("scroll"))
        scrollMode(400);
    return 0;
}
