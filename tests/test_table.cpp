// The live message table driven through the real window: cells, the change
// flash and its reset, row placement, scroll mode, visibility rules, ageing,
// pause and font size (their widget-free rules are test_rules').

#include "tests/support/tablewindow.h"

#include <QtTest>
#include <QtWidgets>

namespace {

const QBrush yellow(QColor(255, 255, 0)), white(QColor(255, 255, 255));

// The table window with what this test looks at: cell texts and brushes,
// and rows as text.
struct Table : TableWindow {
    Table() : TableWindow(1300) {}
    template <typename T = QAbstractButton>
    T *child(const char *name)
    {
        if (T *widget = w.findChild<T *>(QLatin1String(name)))
            return widget;
        qFatal("widget %s not found", name);
    }
    struct Message { quint32 id; QString payload; QString time = stamp(QTime::currentTime()); };
    void feed(std::initializer_list<Message> messages)
    {
        for (const Message &message : messages)
            put(message.id, message.payload, message.time);
        refresh();
    }
    QString text(int row, int col) { auto *item = table->item(row, col); return item ? item->text() : "<none>"; }
    QBrush brush(int row, int col) { auto *item = table->item(row, col); return item ? item->background() : QBrush(Qt::red); }
    // Rows [first, first + count) as identifier and bytes, trimmed, "-" for a
    // missing cell (trailing ones dropped), a hidden row marked with "!".
    QString dump(int first = 0, int count = 1 << 30)
    {
        QStringList rows;
        for (int r = first; r < qMin(table->rowCount(), first + count); ++r) {
            QString row = table->isRowHidden(r) ? "!" : "";
            for (int col = 1; col < 10; ++col)
                row += (table->item(r, col) ? table->item(r, col)->text().trimmed() : "-") + ' ';
            while (row.endsWith("- "))
                row.chop(2);
            rows << row.trimmed();
        }
        return rows.join(", ");
    }
};

} // namespace

class TestTable : public QObject
{
    Q_OBJECT

private slots:
    void fixedModeAndFlash();
    void rowPlacement();
    void scrollMode();
    void visibilityAndAgeing();
    void pause();
    void fontSize_data();
    void fontSize();
};

void TestTable::fixedModeAndFlash()
{
    Table t;
    t.click("pb_highlightChanges");
    t.feed({{0x18FEF100, "01 02 03 ", "10:00:00.000"}});
    QCOMPARE(t.text(0, 2) + t.dump(), QStringLiteral("  01  18FEF100 01 02 03"));
    QCOMPARE(t.table->item(0, 1)->textAlignment(), int(Qt::AlignCenter));

    // A receiver of dataChanged sees the brush already set and the old text.
    QStringList seen;
    QObject::connect(&t.w, &MainWindow::dataChanged, [&](int r, int c) {
        seen << QStringLiteral("%1,%2:%3").arg(r).arg(c).arg(t.text(r, c)) + (t.brush(r, c) == yellow ? "yellow" : "");
    });
    t.feed({{0x18FEF100, "01 05 03 ", "10:00:01.000"}});
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(seen, QStringList({"0,3:  02  yellow"}));
    QCOMPARE(t.text(0, 0) + t.dump(), QStringLiteral("  10:00:01.000  18FEF100 01 05 03"));
    for (int col : {0, 1, 2, 4})
        QCOMPARE(t.brush(0, col).style(), Qt::NoBrush);
    QCOMPARE(t.brush(0, 3), yellow);
    QTRY_COMPARE_WITH_TIMEOUT(t.brush(0, 3), white, 5000);
    QVERIFY2(clock.elapsed() >= 450, qPrintable(QString::number(clock.elapsed())));

    // A cell that changes again within 500 ms turns white when its first reset is
    // due: the second reset is still pending then. The second change comes
    // half-way, as far from the first change as from its reset.
    t.feed({{0x18FEF100, "01 06 03 "}});
    QTRY_VERIFY_WITH_TIMEOUT(MainWindowProbe::flashTimer(t.w).remainingTime() <= 250, 5000);
    t.feed({{0x18FEF100, "01 07 03 "}});
    QTRY_COMPARE_WITH_TIMEOUT(t.brush(0, 3), white, 5000);
    QCOMPARE(MainWindowProbe::pendingFlashResets(t.w), 1);

    // Fewer bytes keep the further cells, also in a refresh that inserts a row;
    // more bytes create cells (past column 9 nothing is shown); empty payload.
    t.feed({{0x18FEF100, "09 "}, {0x0CF00400, "AA "}});
    QCOMPARE(t.dump(), QStringLiteral("18FEF100 09 07 03, 0CF00400 AA"));
    QCOMPARE(t.brush(0, 2), yellow);
    t.feed({{0x0CF00400, "AA BB CC 01 02 03 04 05 06 07 "}, {0x123, ""}});
    QCOMPARE(t.dump(), QStringLiteral("18FEF100 09 07 03, 0CF00400 AA BB CC 01 02 03 04 05, 123"));
    QCOMPARE(t.text(2, 2) + t.dump(2, 1), QStringLiteral("    123"));
    QCOMPARE(t.brush(1, 3), yellow);

    // Highlighting off whitens every byte cell at once, then nothing flashes.
    t.click("pb_highlightChanges");
    QVERIFY(t.brush(1, 3) == white && t.brush(0, 4) == white && t.brush(0, 0).style() == Qt::NoBrush);
    seen.clear();
    t.feed({{0x18FEF100, "0B 0C 0D "}});
    QVERIFY(seen.isEmpty() && t.brush(0, 2) != yellow && t.dump(0, 1) == "18FEF100 0B 0C 0D");
    // A reset whose cell is gone does nothing.
    t.feed({{0x18FEF100, "0E "}});
    t.click("pb_clearTable");
    QTRY_COMPARE_WITH_TIMEOUT(MainWindowProbe::pendingFlashResets(t.w), 0, 5000);
}

void TestTable::rowPlacement()
{
    Table t;
    for (const char *expected : {"300 01, 100 01, 200 01", "100 01, 200 01, 300 01"}) {
        for (quint32 id : {0x300u, 0x100u, 0x200u})
            t.feed({{id, "01 "}});
        QCOMPARE(t.dump(), QString(expected));
        t.click("pb_order"); // empties the table, the first time checking the button
    }
    // One refresh draining 100 and 200 around a hidden 150; moved rows still update in place.
    t.click("pb_order");
    t.click("pb_showZero");
    t.feed({{0x150, "00 "}});
    t.feed({{0x100, "01 "}, {0x200, "02 "}});
    QCOMPARE(t.dump(), QStringLiteral("100 01, !150 00, 200 02"));
    t.feed({{0x150, "00 01 "}, {0x200, "03 "}});
    QCOMPARE(t.dump(), QStringLiteral("100 01, 150 00 01, 200 03"));
}

void TestTable::scrollMode()
{
    Table t;
    QAbstractButton *scroll = t.child("pb_scroll"), *order = t.child("pb_order"), *highlight = t.child("pb_highlightChanges");
    highlight->click();
    order->click();
    t.feed({{0x100, "01 "}});
    t.put(0x300, "01 "); // waiting in the store when the mode changes
    scroll->click();
    QCOMPARE(scroll->text(), QStringLiteral("FIXED"));
    QVERIFY(!order->isChecked() && !order->isEnabled() && !highlight->isEnabled() && MainWindowProbe::rowOfId(t.w).isEmpty());
    for (int round = 0; round < 2; ++round)
        t.feed({{0x200, "01 02 "}, {0x100, "01 "}});
    QCOMPARE(t.dump(), QStringLiteral("100 01, 200 01 02, 100 01, 200 01 02"));
    QVERIFY(t.table->item(1, 1)->textAlignment() != int(Qt::AlignCenter));
    scroll->click();
    QCOMPARE(scroll->text(), QStringLiteral("SCROLL"));
    QVERIFY(order->isEnabled() && highlight->isEnabled() && t.table->rowCount() == 0);

    // The log keeps the newest 100,000 rows; the oldest go in one batch once 10,000 more piled up.
    scroll->click();
    quint32 id = 0;
    for (int batch = 0; batch < 11; ++batch) {
        for (int i = 0; i < 10000; ++i)
            t.put(id++, "01 ");
        t.refresh();
    }
    QCOMPARE(t.table->rowCount(), 110000);
    t.feed({{id, "02 "}});
    QCOMPARE(t.table->rowCount(), 100000);
    QCOMPARE(t.dump(0, 1) + ", " + t.dump(99999), idText(10001) + " 01, " + idText(110000) + " 02");
    // The view follows the log, also after a refresh that drained nothing.
    QScrollBar *bar = t.table->verticalScrollBar();
    QVERIFY(bar->maximum() > 0 && bar->value() == bar->maximum());
    bar->setValue(0);
    t.refresh();
    QCOMPARE(bar->value(), bar->maximum());
}

void TestTable::visibilityAndAgeing()
{
    Table t;
    t.click("pb_showZero");
    t.feed({{0x101, "00 00 00 00 "}, {0x102, "00 01 "}, {0x103, ""}});
    QCOMPARE(t.dump(), QStringLiteral("!101 00 00 00 00, 102 00 01, !103"));

    // The search, confirmed with Return, hides what does not match; every
    // refresh applies it to the rows it writes; the zero rule comes first.
    t.click("pb_clearTable");
    t.feed({{0x18FEF100, "01 "}, {0x0CFEF000, "01 "}, {0x0CF00400, "01 "}});
    auto *search = t.child<QLineEdit>("le_highlight");
    QTest::keyClicks(search, "fef");
    QTest::keyClick(search, Qt::Key_Return);
    QCOMPARE(t.dump(), QStringLiteral("!0CF00400 01, 0CFEF000 01, 18FEF100 01"));
    t.feed({{0x0CF00400, "02 "}, {0x00000F1F, "02 "}, {0x18FEF100, "00 "}});
    QCOMPARE(t.dump(), QStringLiteral("!0CF00400 02, 0CFEF000 01, !18FEF100 00, !00000F1F 02"));
    // Clearing the search shows every row, whatever hid it.
    search->clear();
    QTest::keyClick(search, Qt::Key_Return);
    QVERIFY(!t.dump().contains('!'));

    // Hide unchanged: a row whose bytes did not change is left alone, its time included.
    auto *threshold = t.child<QSpinBox>("sp_timeHide");
    QTimer &hideTimer = MainWindowProbe::hideTimer(t.w);
    t.click("pb_cleanUnchanged");
    QVERIFY(t.table->rowCount() == 0 && threshold->isVisible() && hideTimer.isActive() && hideTimer.interval() == 200);
    hideTimer.stop(); // the test runs the ageing passes itself
    t.feed({{0x100, "01 02 ", "08:00:00.000"}});
    t.feed({{0x100, "01 02 ", "08:00:05.000"}});
    QCOMPARE(t.text(0, 0), QStringLiteral("  08:00:00.000  "));
    t.feed({{0x100, "01 03 ", "08:00:06.000"}});
    QCOMPARE(t.text(0, 0) + t.dump(), QStringLiteral("  08:00:06.000  100 01 03"));

    // Threshold 10: an age of 10 s stays, 11 s goes; a future time and garbage stay.
    QCOMPARE(threshold->value(), 10);
    t.click("pb_clearTable");
    if (QTime::currentTime() < QTime(0, 1) || QTime::currentTime() > QTime(23, 58))
        QSKIP("the ageing case needs a minute's distance from midnight");
    QTRY_VERIFY_WITH_TIMEOUT(QTime::currentTime().msec() < 300, 2000);
    const QTime now = QTime::currentTime();
    t.feed({{0x200, "01 ", stamp(now.addSecs(-10))}, {0x300, "01 ", stamp(now.addSecs(-11))},
            {0x400, "01 ", stamp(now.addSecs(60))}, {0x500, "01 ", "garbage"}});
    QVERIFY(QMetaObject::invokeMethod(&t.w, "hideRows"));
    QCOMPARE(t.dump(), QStringLiteral("200 01, !300 01, 400 01, 500 01"));
    // The refresh keeps a hidden row hidden; the next ageing pass shows it once it changed.
    t.feed({{0x300, "02 "}});
    QCOMPARE(t.dump(), QStringLiteral("200 01, !300 02, 400 01, 500 01"));
    QVERIFY(QMetaObject::invokeMethod(&t.w, "hideRows"));
    QVERIFY(!t.dump().contains('!'));
    t.click("pb_cleanUnchanged");
    QVERIFY(!threshold->isVisible() && !hideTimer.isActive());
}

void TestTable::pause()
{
    Table t;
    QAbstractButton *pause = t.child("pb_pauseTable");
    QTimer &timer = MainWindowProbe::refreshTimer(t.w);
    pause->click();
    QCOMPARE(pause->text(), QStringLiteral("RESTART"));
    // Paused: nothing is drained and the timer is not touched; then only the newest record shows.
    t.put(0x100, "01 ");
    timer.stop();
    QVERIFY(QMetaObject::invokeMethod(&t.w, "updateTable") && !timer.isActive() && t.table->rowCount() == 0);
    t.put(0x100, "02 ");
    t.put(0x200, "03 ");
    pause->click();
    QCOMPARE(pause->text(), QStringLiteral("PAUSE"));
    QVERIFY(QMetaObject::invokeMethod(&t.w, "updateTable") && timer.isActive() && timer.interval() == 1);
    timer.stop();
    QCOMPARE(t.dump(), QStringLiteral("100 02, 200 03"));
}

void TestTable::fontSize_data()
{
    QTest::addColumn<int>("start");
    QTest::addColumn<QString>("button");
    QTest::addColumn<int>("clicks");
    QTest::addColumn<int>("sheet"); // size in the style sheet
    QTest::addColumn<int>("kept");  // size the table font keeps, never below 1
    QTest::newRow("+ once from 17") << 17 << "tb_increaseFont" << 1 << 18 << 18;
    QTest::newRow("- twice from 17") << 17 << "tb_decreaseFont" << 2 << 15 << 15;
    QTest::newRow("- at 1") << 1 << "tb_decreaseFont" << 1 << 0 << 1;
    QTest::newRow("+ at 1") << 1 << "tb_increaseFont" << 1 << 2 << 2;
}

void TestTable::fontSize()
{
    QFETCH(int, start);
    QFETCH(QString, button);
    QFETCH(int, clicks);
    QFETCH(int, sheet);
    Table t;
    QCOMPARE(MainWindowProbe::tableFont(t.w).pointSize(), 17);
    MainWindowProbe::tableFont(t.w).setPointSize(start);
    for (int i = 0; i < clicks; ++i)
        t.child(qPrintable(button))->click();
    const QString blanks(button.contains("increase") ? 43 : 38, ' ');
    QCOMPARE(t.table->styleSheet(),
             QStringLiteral("QTableView { font-size: %1pt; font-family:SF Mono; background-color: #FFFFFF;}").arg(sheet)
                 + blanks + QStringLiteral("QTableWidget:disabled{background-color: #F1F2F3;}"));
    QTEST(MainWindowProbe::tableFont(t.w).pointSize(), "kept");
}

QTEST_MAIN(TestTable)
#include "test_table.moc"
