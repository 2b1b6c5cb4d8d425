#pragma once

// The real main window with its message table area enabled, as after opening
// a port, shown (900 pixels high), for tests and benchmarks that fill the
// live store themselves and decide when the table refresh runs.

#include "app/mainwindow.h"
#include "tests/support/mainwindowprobe.h"

#include <QAbstractButton>
#include <QTableWidget>
#include <QTime>

// "HH:mm:ss.zzz", as the reader stamps a record.
inline QString stamp(const QTime &time)
{
    return time.toString(QStringLiteral("HH:mm:ss.zzz"));
}

// The identifier as the reader writes it: 3 digits up to 7FF, else 8.
inline QString idText(quint32 id)
{
    return QString::number(id, 16).toUpper().rightJustified(id > 0x7FF ? 8 : 3, QLatin1Char('0'));
}

// `bytes` payload bytes "XX " made from a seed; seeds one apart differ in every byte.
inline QString payloadText(quint32 seed, int bytes = 8)
{
    QString text;
    for (int b = 0; b < bytes; ++b)
        text += QString::number((seed + quint32(b) * 37u) & 0xFF, 16).toUpper().rightJustified(2, QLatin1Char('0'))
                + QLatin1Char(' ');
    return text;
}

struct TableWindow {
    MainWindow w;
    QTableWidget *table = w.findChild<QTableWidget *>(QStringLiteral("tv_messages"));

    explicit TableWindow(int width = 1400)
    {
        w.resize(width, 900);
        w.show();
        w.findChild<QWidget *>(QStringLiteral("tableFrame"))->setEnabled(true);
    }
    void click(const char *button) { w.findChild<QAbstractButton *>(QLatin1String(button))->click(); }
    // A record in the live store, as the reader leaves it there.
    void put(quint32 id, const QString &payload, const QString &time = stamp(QTime::currentTime()))
    {
        MainWindowProbe::serial(w).storeMessage(id, {time, idText(id), payload});
    }
    // One refresh as the timer runs it; the caller alone decides when the next one runs.
    void refresh()
    {
        QMetaObject::invokeMethod(&w, "updateTable");
        MainWindowProbe::refreshTimer(w).stop();
    }
};
