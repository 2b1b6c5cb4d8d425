#pragma once

// Access to the main window's private members for tests and benchmarks.

#include "app/mainwindow.h"
#include "monitor/contentfit.h"
#include "monitor/flashresetqueue.h"
#include "monitor/paintpacer.h"

struct MainWindowProbe {
    static serialManager &serial(MainWindow &w) { return w.serial; }
    static QMap<quint32, int> &rowOfId(MainWindow &w) { return w.rowOfId; }
    static QList<quint32> &orderedIds(MainWindow &w) { return w.orderedIds; }
    static QStringList &filterIds(MainWindow &w) { return w.filterIds; }
    static QFont &tableFont(MainWindow &w) { return w.tableFont; }
    static bool highlightActive(const MainWindow &w) { return w.highlightActive; }
    static QMap<quint32, QStringList> &fmsMessages(MainWindow &w) { return w.fmsMessages; }
    static QTimer &refreshTimer(MainWindow &w) { return w.refreshTimer; }
    static QTimer &hideTimer(MainWindow &w) { return w.hideTimer; }
    static QTimer &fmsTimer(MainWindow &w) { return w.fmsTimer; }
    static QTimer &flashTimer(MainWindow &w) { return w.flashResets.timer(); }
    static PaintPacer &tablePacer(MainWindow &w) { return w.tablePacer; }
    static ContentFit &tableFit(MainWindow &w) { return w.tableFit; }
    static int pendingFlashResets(const MainWindow &w) { return w.flashResets.pending(); }
};
