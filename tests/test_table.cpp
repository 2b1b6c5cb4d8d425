// The live message table: the rules that turn records into cells, the refresh
// in fixed and scroll mode, the change flash and its reset, row placement,
// the visibility rules and the tools of the table's tool row, driven through
// the real window.

#include "mainwindow.h"
#include "mainwindowprobe.h"
#include "tablelogic.h"

#include <QElapsedTimer>
#include <QFrame>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTableWidget>
#include <QToolButton>
#include <QtTest>

namespace {

const QBrush yellow(QColor(255, 255, 0));
const QBrush white(QColor(255, 255, 255));

QString stamp(const QTime &time)
{
    return time.toString(QStringLiteral("HH:mm:ss.zzz"));
}

QString idText(quint32 id)
{
    return QStringLiteral("%1").arg(id, id > 0x7FF ? 8 : 3, 16, QLatin1Char('0')).toUpper();
}

// One main window with its table area enabled, as after opening a port.
class Table
{
public:
    Table()
    {
        w.resize(1300, 900);
        w.show();
        child<QFrame>("tableFrame")->setEnabled(true);
    }

    template <typename T>
    T *child(const char *name)
    {
        T *widget = w.findChild<T *>(QLatin1String(name));
        if (!widget)
            qFatal("widget %s not found", name);
        return widget;
    }
    QTableWidget *table() { return child<QTableWidget>("tv_messages"); }
    QPushButton *button(const char *name) { return child<QPushButton>(name); }

    void put(quint32 id, const QString &payload, const QString &time = stamp(QTime::currentTime()))
    {
        MainWindowProbe::serial(w).storeMessage(id, {time, idText(id), payload});
    }

    // One refresh as the timer calls it; the timer it restarts is stopped so
    // that the test alone decides when the next refresh runs.
    void refresh()
    {
        QVERIFY(QMetaObject::invokeMethod(&w, "updateTable"));
        MainWindowProbe::refreshTimer(w).stop();
    }

    QString text(int row, int col)
    {
        const QTableWidgetItem *item = table()->item(row, col);
        return item ? item->text() : QStringLiteral("<none>");
    }
    QBrush brush(int row, int col)
    {
        const QTableWidgetItem *item = table()->item(row, col);
        return item ? item->background() : QBrush(Qt::red, Qt::DiagCrossPattern);
    }
    // Identifiers of the rows, top to bottom.
    QStringList ids()
    {
        QStringList list;
        for (int row = 0; row < table()->rowCount(); ++row)
            list << text(row, 1).trimmed();
        return list;
    }
    QList<bool> hidden()
    {
        QList<bool> list;
        for (int row = 0; row < table()->rowCount(); ++row)
            list << table()->isRowHidden(row);
        return list;
    }

    MainWindow w;
};

} // namespace

class TestTable : public QObject
{
    Q_OBJECT

private slots:
    void recordsBecomeCells();
    void searchAgeOrderAndStyleRules();
    void fixedModeRefreshAndFlash();
    void flashResetsLandByPlace();
    void rowPlacement();
    void scrollMode();
    void scrollLogIsBounded();
    void visibilityRules();
    void hideUnchangedAndAgeing();
    void pauseClearAndFont();
};

void TestTable::recordsBecomeCells()
{
    using tablelogic::messageFields;
    QCOMPARE(messageFields({"12:00:00.000", "18FEF100", "01 02 03 "}),
             QStringList({"12:00:00.000", "18FEF100", "01", "02", "03"}));
    QCOMPARE(messageFields({"12:00:00.000", "123", ""}), QStringList({"12:00:00.000", "123", ""}));
    QCOMPARE(messageFields({"t", "7FF", "00 "}), QStringList({"t", "7FF", "00"}));

    // The copy-free split agrees with the plain one, also past ten fields and
    // with doubled blanks (kept as empty parts).
    const QList<MessageRecord> records{
        {"t", "100", "01 02 03 04 05 06 07 08 "},
        {"t", "100", ""},
        {"t", "100", "  AA  BB "},
        {"t", "100", "01 02 03 04 05 06 07 08 09 0A 0B "},
    };
    for (const MessageRecord &record : records) {
        const QStringList expected = messageFields(record);
        QStringView views[12];
        const int n = tablelogic::fieldViews(record, views, 12);
        QCOMPARE(n, int(expected.size()));
        for (int i = 0; i < qMin(n, 12); ++i)
            QCOMPARE(views[i].toString(), expected.at(i));
        QStringView few[4];
        QCOMPARE(tablelogic::fieldViews(record, few, 4), n);
    }

    QCOMPARE(tablelogic::cellText(u"0A"), QStringLiteral("  0A  "));
    QCOMPARE(tablelogic::cellText(QStringView()), QStringLiteral("    "));
    QVERIFY(tablelogic::cellTextEquals("  0A  ", u"0A"));
    QVERIFY(!tablelogic::cellTextEquals("  0B  ", u"0A"));
    QVERIFY(!tablelogic::cellTextEquals(" 0A   ", u"0A"));
    QVERIFY(!tablelogic::cellTextEquals("0A", u"0A"));
    QVERIFY(tablelogic::cellTextEquals("    ", QStringView()));

    using tablelogic::payloadIsZero;
    QVERIFY(payloadIsZero("00 00 00 00 "));
    QVERIFY(!payloadIsZero("00 01 "));
    QVERIFY(payloadIsZero(""));
    QVERIFY(payloadIsZero("   "));
    QVERIFY(!payloadIsZero("FF FF FF FF FF FF FF FF "));
    QVERIFY(payloadIsZero("00 00 00 00 00 00 00 00 01 ")); // more than 16 digits
    QVERIFY(payloadIsZero("ZZ "));
}

void TestTable::searchAgeOrderAndStyleRules()
{
    QVERIFY(tablelogic::idMatchesSearch("18FEF100", "f1"));
    QVERIFY(tablelogic::idMatchesSearch("0CFEF000", "fef"));
    QVERIFY(!tablelogic::idMatchesSearch("0CF00400", "f1"));
    QVERIFY(tablelogic::idMatchesSearch("0CF00400", ""));

    using tablelogic::rowAgeSeconds;
    QCOMPARE(rowAgeSeconds(u"12:00:00.000", QTime(12, 0, 10, 0)), 10);
    QCOMPARE(rowAgeSeconds(u"12:00:00.999", QTime(12, 0, 11, 1)), 11); // whole seconds first
    QCOMPARE(rowAgeSeconds(u"12:00:00.001", QTime(12, 0, 10, 999)), 10);
    QCOMPARE(rowAgeSeconds(u"  12:00:00.500  ", QTime(12, 0, 3)), 3);
    QCOMPARE(rowAgeSeconds(u"23:59:58.000", QTime(0, 0, 3)), 3 - (86400 - 2));
    QCOMPARE(rowAgeSeconds(u"not a time", QTime(12, 0)), 0);
    QCOMPARE(rowAgeSeconds(u"", QTime(12, 0)), 0);
    QCOMPARE(rowAgeSeconds(u"24:00:00.000", QTime(12, 0)), 0);
    QCOMPARE(rowAgeSeconds(u"12:60:00.000", QTime(12, 0)), 0);
    QCOMPARE(rowAgeSeconds(u"1:02:03.004", QTime(1, 2, 13)),
             QTime::fromString("1:02:03.004", "HH:mm:ss.zzz").isValid() ? 10 : 0);

    QMap<quint32, int> rowOfId{{0x150, 0}};
    QList<quint32> orderedIds;
    QCOMPARE(tablelogic::placeOrdered(rowOfId, orderedIds, 0x100), 0);
    QCOMPARE(orderedIds, QList<quint32>({0x100, 0x150}));
    QCOMPARE(tablelogic::placeOrdered(rowOfId, orderedIds, 0x200), 2);
    QCOMPARE(tablelogic::placeOrdered(rowOfId, orderedIds, 0x180), 2);
    QCOMPARE(orderedIds, QList<quint32>({0x100, 0x150, 0x180, 0x200}));
    QCOMPARE(rowOfId, (QMap<quint32, int>{{0x100, 0}, {0x150, 1}, {0x180, 2}, {0x200, 3}}));
    // Unsigned order: extended identifiers sort after standard ones.
    QCOMPARE(tablelogic::placeOrdered(rowOfId, orderedIds, 0x80000000u), 4);

    QCOMPARE(tablelogic::fontStyleSheet(18, +1),
             QStringLiteral("QTableView { font-size: 18pt; font-family:SF Mono; background-color: #FFFFFF;}")
                 + QString(43, ' ') + QStringLiteral("QTableWidget:disabled{background-color: #F1F2F3;}"));
    QCOMPARE(tablelogic::fontStyleSheet(0, -1),
             QStringLiteral("QTableView { font-size: 0pt; font-family:SF Mono; background-color: #FFFFFF;}")
                 + QString(38, ' ') + QStringLiteral("QTableWidget:disabled{background-color: #F1F2F3;}"));
}

void TestTable::fixedModeRefreshAndFlash()
{
    Table t;
    QTableWidget *table = t.table();
    t.button("pb_highlightChanges")->click();
    QVERIFY(t.button("pb_highlightChanges")->isChecked());

    t.put(0x18FEF100, "01 02 03 ", "10:00:00.000");
    t.refresh();
    QCOMPARE(table->rowCount(), 1);
    QCOMPARE(t.text(0, 0), QStringLiteral("  10:00:00.000  "));
    QCOMPARE(t.text(0, 1), QStringLiteral("  18FEF100  "));
    QCOMPARE(t.text(0, 2), QStringLiteral("  01  "));
    QCOMPARE(t.text(0, 4), QStringLiteral("  03  "));
    for (int col = 5; col < 10; ++col)
        QVERIFY(!table->item(0, col));
    QCOMPARE(table->item(0, 1)->textAlignment(), int(Qt::AlignHCenter | Qt::AlignVCenter));
    QVERIFY(table->item(0, 0)->textAlignment() != int(Qt::AlignHCenter | Qt::AlignVCenter));
    QCOMPARE(table->item(0, 3)->background().style(), Qt::NoBrush);
    // The FMS candidate was handed over.
    QVERIFY(MainWindowProbe::fmsMessages(t.w).contains(0x18FEF100));

    // What a receiver of dataChanged sees: the brush already set, the old text.
    QSignalSpy spy(&t.w, &MainWindow::dataChanged);
    QStringList seen;
    QObject::connect(&t.w, &MainWindow::dataChanged, [&](int row, int col) {
        seen << t.text(row, col) + (t.brush(row, col) == yellow ? "yellow" : "plain");
    });

    t.put(0x18FEF100, "01 05 03 ", "10:00:01.000");
    t.refresh();
    QElapsedTimer sinceFlash;
    sinceFlash.start();
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0), QVariantList({0, 3}));
    QCOMPARE(seen, QStringList({"  02  yellow"}));
    QCOMPARE(t.text(0, 0), QStringLiteral("  10:00:01.000  "));
    QCOMPARE(t.text(0, 3), QStringLiteral("  05  "));
    QCOMPARE(t.brush(0, 3), yellow);
    QCOMPARE(table->item(0, 2)->background().style(), Qt::NoBrush);
    QCOMPARE(table->item(0, 0)->background().style(), Qt::NoBrush);
    QCOMPARE(MainWindowProbe::pendingFlashResets(t.w), 1);
    QTRY_COMPARE_WITH_TIMEOUT(t.brush(0, 3), white, 3000);
    QVERIFY2(sinceFlash.elapsed() >= 450, qPrintable(QString::number(sinceFlash.elapsed())));
    QCOMPARE(MainWindowProbe::pendingFlashResets(t.w), 0);

    // A refresh that inserts a row also flashes the existing rows as usual.
    t.put(0x18FEF100, "01 05 04 ");
    t.put(0x0CF00400, "AA ");
    t.refresh();
    QCOMPARE(spy.count(), 2);
    QCOMPARE(spy.at(1), QVariantList({0, 4}));
    QCOMPARE(table->rowCount(), 2);
    QVERIFY(table->item(1, 2)->background().style() == Qt::NoBrush);

    // Fewer bytes: only those cells change, the rest keep their text.
    t.put(0x18FEF100, "09 ");
    t.refresh();
    QCOMPARE(t.text(0, 2), QStringLiteral("  09  "));
    QCOMPARE(t.text(0, 3), QStringLiteral("  05  "));
    QCOMPARE(t.text(0, 4), QStringLiteral("  04  "));

    // More bytes than the row has cells: the cells are created and flash.
    spy.clear();
    t.put(0x0CF00400, "AA BB CC ");
    t.refresh();
    QCOMPARE(t.text(1, 3), QStringLiteral("  BB  "));
    QCOMPARE(t.text(1, 4), QStringLiteral("  CC  "));
    QCOMPARE(t.brush(1, 3), yellow);
    QCOMPARE(spy.count(), 2);
    QCOMPARE(t.brush(1, 2).style(), Qt::NoBrush);

    // Bytes beyond the tenth column are not shown and cost nothing.
    t.put(0x0CF00400, "AA BB CC 01 02 03 04 05 06 07 ");
    t.refresh();
    QCOMPARE(table->columnCount(), 10);
    QCOMPARE(t.text(1, 9), QStringLiteral("  05  "));

    // An empty payload gives three fields: the B0 cell holds four blanks.
    t.put(0x123, "");
    t.refresh();
    QCOMPARE(table->rowCount(), 3);
    QCOMPARE(t.text(2, 2), QStringLiteral("    "));
    QVERIFY(!table->item(2, 3));

    // Highlighting off: the texts change, nothing is coloured or signalled.
    t.button("pb_highlightChanges")->click();
    spy.clear();
    t.put(0x18FEF100, "0A 0B 0C ");
    t.refresh();
    QCOMPARE(t.text(0, 2), QStringLiteral("  0A  "));
    QCOMPARE(t.text(0, 4), QStringLiteral("  0C  "));
    QCOMPARE(spy.count(), 0);
    QVERIFY(t.brush(0, 2) != yellow);
}

void TestTable::flashResetsLandByPlace()
{
    Table t;
    t.button("pb_highlightChanges")->click();

    // A cell that changes again within 500 ms turns white when its first reset
    // is due; the second reset is still waiting then.
    t.put(0x100, "01 ");
    t.refresh();
    t.put(0x100, "02 ");
    t.refresh();
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(t.brush(0, 2), yellow);
    QTRY_VERIFY_WITH_TIMEOUT(clock.elapsed() >= 400, 2000);
    QCOMPARE(t.brush(0, 2), yellow);
    t.put(0x100, "03 ");
    t.refresh();
    QCOMPARE(MainWindowProbe::pendingFlashResets(t.w), 2);
    QTRY_COMPARE_WITH_TIMEOUT(t.brush(0, 2), white, 3000);
    // The third flash's reset is due no sooner than 900 ms.
    QVERIFY2(clock.elapsed() < 800, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(MainWindowProbe::pendingFlashResets(t.w), 1);
    QVERIFY(MainWindowProbe::flashTimer(t.w).isActive());
    QTRY_COMPARE_WITH_TIMEOUT(MainWindowProbe::pendingFlashResets(t.w), 0, 3000);
    QVERIFY(!MainWindowProbe::flashTimer(t.w).isActive());

    // A reset knows its cell only by place: after a row is inserted above, it
    // whitens the newcomer's cell and the moved cell stays yellow.
    t.button("pb_order")->click();
    t.put(0x200, "01 ");
    t.refresh();
    t.put(0x200, "02 ");
    t.refresh();
    t.put(0x100, "07 ");
    t.refresh();
    QCOMPARE(t.ids(), QStringList({"100", "200"}));
    QCOMPARE(t.brush(1, 2), yellow);
    QCOMPARE(t.brush(0, 2).style(), Qt::NoBrush);
    QTRY_COMPARE_WITH_TIMEOUT(MainWindowProbe::pendingFlashResets(t.w), 0, 3000);
    QCOMPARE(t.brush(0, 2), white);
    QCOMPARE(t.brush(1, 2), yellow);

    // A reset whose place no longer exists does nothing.
    t.put(0x200, "03 ");
    t.refresh();
    t.button("pb_clearTable")->click();
    QCOMPARE(t.table()->rowCount(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(MainWindowProbe::pendingFlashResets(t.w), 0, 3000);

    // Switching highlighting off whitens every byte cell at once; switching it
    // on touches nothing.
    t.put(0x100, "01 02 ");
    t.put(0x200, "01 ");
    t.refresh();
    t.put(0x100, "05 06 ");
    t.put(0x200, "05 ");
    t.refresh();
    QCOMPARE(t.brush(0, 3), yellow);
    t.button("pb_highlightChanges")->click();
    QCOMPARE(t.brush(0, 2), white);
    QCOMPARE(t.brush(0, 3), white);
    QCOMPARE(t.brush(1, 2), white);
    QCOMPARE(t.brush(0, 0).style(), Qt::NoBrush);
    t.table()->item(0, 2)->setBackground(yellow);
    t.button("pb_highlightChanges")->click();
    QCOMPARE(t.brush(0, 2), yellow);
}

void TestTable::rowPlacement()
{
    Table t;
    // Unordered: order of first arrival.
    for (quint32 id : {0x300u, 0x100u, 0x200u}) {
        t.put(id, "01 ");
        t.refresh();
    }
    QCOMPARE(t.ids(), QStringList({"300", "100", "200"}));
    QCOMPARE(MainWindowProbe::rowOfId(t.w), (QMap<quint32, int>{{0x100, 1}, {0x200, 2}, {0x300, 0}}));

    // Ordered: clicking empties the table; rows come back in identifier order.
    t.button("pb_order")->click();
    QVERIFY(t.button("pb_order")->isChecked());
    QCOMPARE(t.table()->rowCount(), 0);
    QVERIFY(MainWindowProbe::rowOfId(t.w).isEmpty());
    for (quint32 id : {0x300u, 0x100u, 0x200u}) {
        t.put(id, "01 ");
        t.refresh();
    }
    QCOMPARE(t.ids(), QStringList({"100", "200", "300"}));

    // One refresh draining 100 and 200 around an existing 150; the hidden
    // state moves down with its row.
    t.button("pb_order")->click(); // unchecked: empties
    t.button("pb_order")->click(); // checked again: empties
    QCOMPARE(t.table()->rowCount(), 0);
    t.button("pb_showZero")->click();
    t.put(0x150, "00 ");
    t.refresh();
    QCOMPARE(t.hidden(), QList<bool>({true}));
    t.put(0x100, "01 ");
    t.put(0x200, "02 ");
    t.refresh();
    QCOMPARE(t.ids(), QStringList({"100", "150", "200"}));
    QCOMPARE(t.hidden(), QList<bool>({false, true, false}));
    QCOMPARE(MainWindowProbe::rowOfId(t.w), (QMap<quint32, int>{{0x100, 0}, {0x150, 1}, {0x200, 2}}));
    QCOMPARE(MainWindowProbe::orderedIds(t.w), QList<quint32>({0x100, 0x150, 0x200}));

    // Rows that moved still update in place (their items found quickly again).
    t.put(0x150, "00 01 ");
    t.put(0x200, "03 ");
    t.refresh();
    QCOMPARE(t.text(1, 3), QStringLiteral("  01  "));
    QCOMPARE(t.text(2, 2), QStringLiteral("  03  "));
    QCOMPARE(t.hidden(), QList<bool>({false, false, false}));
}

void TestTable::scrollMode()
{
    Table t;
    QTableWidget *table = t.table();
    QPushButton *scroll = t.button("pb_scroll");
    QPushButton *order = t.button("pb_order");
    QPushButton *highlight = t.button("pb_highlightChanges");
    highlight->click();
    order->click();
    t.put(0x100, "01 ");
    t.refresh();
    t.put(0x200, "01 "); // waiting in the store when the mode changes

    scroll->click();
    QCOMPARE(scroll->text(), QStringLiteral("FIXED"));
    QVERIFY(!order->isChecked());
    QVERIFY(!order->isEnabled());
    QVERIFY(!highlight->isEnabled());
    QVERIFY(highlight->isChecked());
    QCOMPARE(table->rowCount(), 0);
    QVERIFY(MainWindowProbe::rowOfId(t.w).isEmpty());

    MainWindowProbe::fmsMessages(t.w).clear();
    for (int round = 0; round < 2; ++round) {
        t.put(0x18FEF100, "01 02 ");
        t.put(0x100, "01 ");
        t.refresh();
    }
    QCOMPARE(t.ids(), QStringList({"100", "18FEF100", "100", "18FEF100"}));
    QCOMPARE(t.text(1, 3), QStringLiteral("  02  "));
    QVERIFY(!table->item(1, 4));
    QVERIFY(table->item(1, 1)->textAlignment() != int(Qt::AlignHCenter | Qt::AlignVCenter));
    QVERIFY(MainWindowProbe::fmsMessages(t.w).isEmpty());
    QCOMPARE(t.brush(1, 2).style(), Qt::NoBrush);

    // The view follows the log, also after a refresh that drained nothing.
    for (quint32 id = 0x300; id < 0x380; ++id)
        t.put(id, "01 ");
    t.refresh();
    QCOMPARE(table->rowCount(), 4 + 0x80);
    QScrollBar *bar = table->verticalScrollBar();
    QVERIFY(bar->maximum() > 0);
    QCOMPARE(bar->value(), bar->maximum());
    bar->setValue(0);
    t.refresh();
    QCOMPARE(bar->value(), bar->maximum());

    scroll->click();
    QCOMPARE(scroll->text(), QStringLiteral("SCROLL"));
    QVERIFY(order->isEnabled());
    QVERIFY(!order->isChecked());
    QVERIFY(highlight->isEnabled());
    QCOMPARE(table->rowCount(), 0);
}

void TestTable::scrollLogIsBounded()
{
    // The log keeps the newest 100,000 rows; the oldest go in one batch once
    // 10,000 more have piled up.
    Table t;
    t.button("pb_scroll")->click();
    QTableWidget *table = t.table();
    quint32 id = 0;
    for (int batch = 0; batch < 11; ++batch) {
        for (int i = 0; i < 10000; ++i)
            t.put(id++, "01 ");
        t.refresh();
    }
    QCOMPARE(table->rowCount(), 110000);
    QCOMPARE(t.text(0, 1).trimmed(), idText(0));
    t.put(id++, "02 ");
    t.refresh();
    QCOMPARE(table->rowCount(), 100000);
    QCOMPARE(t.text(0, 1).trimmed(), idText(10001));
    QCOMPARE(t.text(99999, 1).trimmed(), idText(110000));
    QCOMPARE(t.text(99999, 2), QStringLiteral("  02  "));
    QScrollBar *bar = table->verticalScrollBar();
    QCOMPARE(bar->value(), bar->maximum());
}

void TestTable::visibilityRules()
{
    Table t;
    t.button("pb_showZero")->click();
    t.put(0x101, "00 00 00 00 ");
    t.put(0x102, "00 01 ");
    t.put(0x103, "");
    t.refresh();
    QCOMPARE(t.hidden(), QList<bool>({true, false, true}));
    t.put(0x101, "00 02 00 00 ");
    t.refresh();
    QCOMPARE(t.hidden(), QList<bool>({false, false, true}));
    t.button("pb_showZero")->click();

    // The search, confirmed with Return, hides what does not match ...
    t.button("pb_clearTable")->click();
    for (quint32 id : {0x18FEF100u, 0x0CFEF000u, 0x0CF00400u})
        t.put(id, "01 ");
    t.refresh();
    QLineEdit *search = t.child<QLineEdit>("le_highlight");
    search->setFocus();
    QTest::keyClicks(search, "fef");
    QTest::keyClick(search, Qt::Key_Return);
    QVERIFY(MainWindowProbe::highlightActive(t.w));
    QCOMPARE(t.ids(), QStringList({"0CF00400", "0CFEF000", "18FEF100"}));
    QCOMPARE(t.hidden(), QList<bool>({true, false, false}));
    // ... and every refresh applies it to the rows it writes.
    t.put(0x0CF00400, "02 ");
    t.put(0x00000F1F, "02 ");
    t.refresh();
    QCOMPARE(t.hidden(), QList<bool>({true, false, false, true}));

    // The zero rule comes first; emptying the search shows every row, also
    // those another rule had hidden, until their identifier comes again.
    t.button("pb_showZero")->click();
    t.put(0x18FEF100, "00 ");
    t.refresh();
    QCOMPARE(t.hidden(), QList<bool>({true, false, true, true}));
    search->selectAll();
    QTest::keyClick(search, Qt::Key_Backspace);
    QTest::keyClick(search, Qt::Key_Return);
    QVERIFY(!MainWindowProbe::highlightActive(t.w));
    QCOMPARE(t.hidden(), QList<bool>({false, false, false, false}));
    t.put(0x18FEF100, "00 ");
    t.put(0x0CF00400, "03 ");
    t.refresh();
    QCOMPARE(t.hidden(), QList<bool>({false, false, true, false}));

    // Lower-case typing finds upper-case identifiers.
    QTest::keyClicks(search, "f1");
    QTest::keyClick(search, Qt::Key_Return);
    QCOMPARE(t.hidden(), QList<bool>({true, true, false, false}));
}

void TestTable::hideUnchangedAndAgeing()
{
    Table t;
    QTableWidget *table = t.table();
    auto *threshold = t.child<QSpinBox>("sp_timeHide");
    t.put(0x100, "01 ");
    t.refresh();

    QPushButton *unchanged = t.button("pb_cleanUnchanged");
    unchanged->click();
    QCOMPARE(table->rowCount(), 0);
    QVERIFY(threshold->isVisible());
    QVERIFY(MainWindowProbe::hideTimer(t.w).isActive());
    QCOMPARE(MainWindowProbe::hideTimer(t.w).interval(), 200);
    MainWindowProbe::hideTimer(t.w).stop(); // the test runs the ageing passes itself

    // Bytes unchanged: the row is left alone, its time included.
    t.put(0x100, "01 02 ", "08:00:00.000");
    t.refresh();
    t.put(0x100, "01 02 ", "08:00:05.000");
    t.refresh();
    QCOMPARE(t.text(0, 0), QStringLiteral("  08:00:00.000  "));
    t.put(0x100, "01 03 ", "08:00:06.000");
    t.refresh();
    QCOMPARE(t.text(0, 0), QStringLiteral("  08:00:06.000  "));
    QCOMPARE(t.text(0, 3), QStringLiteral("  03  "));

    // Ageing with the threshold at 10: 10 whole seconds stays, 11 goes; a
    // time later in the day than now (negative age) and a text that is no
    // time stay shown. Start early in a second so that none passes meanwhile.
    unchanged->click();
    unchanged->click();
    MainWindowProbe::hideTimer(t.w).stop();
    QCOMPARE(threshold->value(), 10);
    if (QTime::currentTime() < QTime(0, 1) || QTime::currentTime() > QTime(23, 58))
        QSKIP("the ageing case needs a minute's distance from midnight");
    QTRY_VERIFY_WITH_TIMEOUT(QTime::currentTime().msec() < 300, 2000);
    const QTime now = QTime::currentTime();
    t.put(0x100, "01 ", stamp(now.addSecs(-10)));
    t.put(0x200, "01 ", stamp(now.addSecs(-11)));
    t.put(0x300, "01 ", stamp(now.addSecs(60)));
    t.put(0x400, "01 ", "garbage");
    t.refresh();
    QVERIFY(QMetaObject::invokeMethod(&t.w, "hideRows"));
    QCOMPARE(t.hidden(), QList<bool>({false, true, false, false}));

    // The refresh keeps a hidden row hidden while hide-unchanged is on; the
    // next ageing pass shows it once its bytes changed.
    t.put(0x200, "02 ", stamp(QTime::currentTime()));
    t.refresh();
    QCOMPARE(t.hidden(), QList<bool>({false, true, false, false}));
    QVERIFY(QMetaObject::invokeMethod(&t.w, "hideRows"));
    QCOMPARE(t.hidden(), QList<bool>({false, false, false, false}));

    // The timer drives the passes while the button is checked.
    threshold->setValue(1);
    t.put(0x500, "01 ", stamp(QTime::currentTime().addSecs(-5)));
    t.refresh();
    QCOMPARE(t.hidden().last(), false);
    MainWindowProbe::hideTimer(t.w).start(200);
    QTRY_COMPARE_WITH_TIMEOUT(t.hidden().last(), true, 2000);

    unchanged->click();
    QVERIFY(!threshold->isVisible());
    QVERIFY(!MainWindowProbe::hideTimer(t.w).isActive());
    QCOMPARE(table->rowCount(), 0);
}

void TestTable::pauseClearAndFont()
{
    Table t;
    QPushButton *pause = t.button("pb_pauseTable");
    pause->click();
    QCOMPARE(pause->text(), QStringLiteral("RESTART"));

    // Paused: nothing is drained and the timer is not touched.
    t.put(0x100, "01 ");
    MainWindowProbe::refreshTimer(t.w).stop();
    QVERIFY(QMetaObject::invokeMethod(&t.w, "updateTable"));
    QVERIFY(!MainWindowProbe::refreshTimer(t.w).isActive());
    QCOMPARE(t.table()->rowCount(), 0);
    t.put(0x100, "02 ");
    t.put(0x200, "03 ");
    t.refresh();
    QCOMPARE(t.table()->rowCount(), 0);

    pause->click();
    QCOMPARE(pause->text(), QStringLiteral("PAUSE"));
    QVERIFY(QMetaObject::invokeMethod(&t.w, "updateTable"));
    QVERIFY(MainWindowProbe::refreshTimer(t.w).isActive());
    QCOMPARE(MainWindowProbe::refreshTimer(t.w).interval(), 1);
    MainWindowProbe::refreshTimer(t.w).stop();
    QCOMPARE(t.ids(), QStringList({"100", "200"}));
    QCOMPARE(t.text(0, 2), QStringLiteral("  02  "));

    // CLEAR drops what waits in the store too.
    t.put(0x300, "01 ");
    t.button("pb_clearTable")->click();
    QCOMPARE(t.table()->rowCount(), 0);
    QVERIFY(MainWindowProbe::rowOfId(t.w).isEmpty());
    t.refresh();
    QCOMPARE(t.table()->rowCount(), 0);

    // Font size: the style sheet carries the new size; the kept size stops at 1.
    auto *plus = t.child<QToolButton>("tb_increaseFont");
    auto *minus = t.child<QToolButton>("tb_decreaseFont");
    const QString tail = QStringLiteral("QTableWidget:disabled{background-color: #F1F2F3;}");
    auto sheet = [&](int size, int blanks) {
        return QStringLiteral("QTableView { font-size: %1pt; font-family:SF Mono; background-color: #FFFFFF;}")
                   .arg(size)
            + QString(blanks, ' ') + tail;
    };
    QCOMPARE(MainWindowProbe::tableFont(t.w).pointSize(), 17);
    plus->click();
    QCOMPARE(t.table()->styleSheet(), sheet(18, 43));
    QCOMPARE(MainWindowProbe::tableFont(t.w).pointSize(), 18);
    minus->click();
    minus->click();
    minus->click();
    QCOMPARE(t.table()->styleSheet(), sheet(15, 38));
    QCOMPARE(MainWindowProbe::tableFont(t.w).pointSize(), 15);

    MainWindowProbe::tableFont(t.w).setPointSize(1);
    minus->click();
    QCOMPARE(t.table()->styleSheet(), sheet(0, 38));
    QCOMPARE(MainWindowProbe::tableFont(t.w).pointSize(), 1);
    plus->click();
    QCOMPARE(t.table()->styleSheet(), sheet(2, 43));
    QCOMPARE(MainWindowProbe::tableFont(t.w).pointSize(), 2);
}

QTEST_MAIN(TestTable)
#include "test_table.moc"
