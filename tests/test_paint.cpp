// How the live message table reaches the screen: cells drawn from laid-out
// texts look exactly as the style draws them, the fit to contents gives the
// toolkit's own widths and heights, repaints come at most once per display
// frame yet show the newest data, and a flash stays on screen for 500 ms.

#include "monitor/celldelegate.h"
#include "monitor/labelheader.h"
#include "monitor/logcell.h"
#include "tests/support/tablewindow.h"

#include <QtTest>
#include <QtWidgets>

#include <functional>

namespace {

// The table window with what this test looks at: the cells as drawn, the
// screen, and the sizes of columns and rows.
struct Table : TableWindow {
    QImage grabCells() { return table->viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32); }
    // What the screen holds where the viewport is: the window's backing store.
    QImage onScreen()
    {
        const QPoint at = table->viewport()->mapTo(&w, QPoint(0, 0));
        return w.screen()->grabWindow(w.winId(), at.x(), at.y(), table->viewport()->width(), table->viewport()->height())
            .toImage().convertToFormat(QImage::Format_RGB32);
    }
    QColor screenPixel(int row, int col)
    {
        const QRect cell = table->visualItemRect(table->item(row, col));
        const QPoint at = table->viewport()->mapTo(&w, cell.topLeft() + QPoint(2, 2));
        return w.screen()->grabWindow(w.winId(), at.x(), at.y(), 1, 1).toImage().pixelColor(0, 0);
    }
    QString sizes()
    {
        QStringList out;
        for (int c = 0; c < table->columnCount(); ++c)
            out << QString::number(table->columnWidth(c));
        QStringList heights;
        for (int r = 0; r < table->rowCount(); ++r)
            heights << QString::number(table->rowHeight(r));
        return out.join(' ') + " | " + heights.join(' ');
    }
    void perturb()
    {
        for (int c = 0; c < table->columnCount(); ++c)
            table->setColumnWidth(c, 41 + c);
        for (int r = 0; r < table->rowCount(); ++r)
            table->setRowHeight(r, 26 + r % 3);
    }
};

// Counts the paints of a widget.
struct PaintCounter : QObject {
    int paints = 0;
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

int differingPixels(const QImage &a, const QImage &b)
{
    if (a.size() != b.size())
        return -1;
    int count = 0;
    for (int y = 0; y < a.height(); ++y) {
        const QRgb *pa = reinterpret_cast<const QRgb *>(a.constScanLine(y));
        const QRgb *pb = reinterpret_cast<const QRgb *>(b.constScanLine(y));
        for (int x = 0; x < a.width(); ++x)
            count += pa[x] != pb[x];
    }
    return count;
}

using Setup = std::function<void(Table &)>;

// Waits until the held repaint of the table's last change has been let through.
#define SETTLE(t) QTRY_VERIFY_WITH_TIMEOUT(!MainWindowProbe::tablePacer((t).w).holding(), 2000)

} // namespace
Q_DECLARE_METATYPE(Setup)

class TestPaint : public QObject
{
    Q_OBJECT

private slots:
    void cellsLookAsTheStyleDraws_data();
    void cellsLookAsTheStyleDraws();
    void fitMatchesTheToolkit_data();
    void fitMatchesTheToolkit();
    void refreshStormShowsNewestData();
    void flashLastsOnScreen();
    void viewportHidesWhatIsBehindIt();
    void headersAreTheViewsOwn_data();
    void headersAreTheViewsOwn();
    void logCellsShareTheirTexts();
};

void TestPaint::cellsLookAsTheStyleDraws_data()
{
    QTest::addColumn<Setup>("setup");
    // Whether every cell with a text can be drawn from its laid-out text (no
    // selection, nothing elided or clipped).
    QTest::addColumn<bool>("allFromLayouts");

    const Setup rows = [](Table &t) {
        t.put(0x18FEF100, "01 02 03 ");
        t.put(0x123, "");
        t.put(0x0CF00400, payloadText(5));
        t.put(0x7FF, "FF 00 AA 55 12 34 56 78 ");
        t.refresh();
    };
    QTest::newRow("fixed mode, centred identifiers") << rows << true;
    QTest::newRow("flashed and reset bytes") << Setup([rows](Table &t) {
        t.click("pb_highlightChanges");
        rows(t);
        t.put(0x0CF00400, payloadText(6));
        t.put(0x18FEF100, "01 05 03 ");
        t.refresh();
        t.table->item(0, 2)->setBackground(QColor(255, 255, 255));
    }) << true;
    QTest::newRow("table disabled") << Setup([rows](Table &t) {
        rows(t);
        t.w.findChild<QWidget *>("tableFrame")->setEnabled(false);
    }) << true;
    QTest::newRow("font two points larger") << Setup([rows](Table &t) {
        rows(t);
        t.click("tb_increaseFont");
        t.click("tb_increaseFont");
    }) << true;
    QTest::newRow("font four points smaller") << Setup([rows](Table &t) {
        rows(t);
        for (int i = 0; i < 4; ++i)
            t.click("tb_decreaseFont");
    }) << true;
    QTest::newRow("scroll mode, default widths") << Setup([](Table &t) {
        t.click("pb_scroll");
        for (quint32 id = 0x100; id < 0x140; ++id)
            t.put(id, payloadText(id));
        t.put(0x18FEF1AA, payloadText(9));
        t.refresh();
    }) << false;
    QTest::newRow("columns too narrow: elided") << Setup([rows](Table &t) {
        rows(t);
        for (int c = 0; c < 10; ++c)
            t.table->setColumnWidth(c, 30 + 9 * c);
    }) << false;
    QTest::newRow("rows too low: clipped") << Setup([rows](Table &t) {
        rows(t);
        for (int r = 0; r < t.table->rowCount(); ++r)
            t.table->setRowHeight(r, 12);
    }) << true;
    QTest::newRow("scroll mode after fixed mode: fitted widths, rows lower than the text") << Setup([rows](Table &t) {
        rows(t);
        t.click("pb_scroll");
        for (quint32 id = 0x100; id < 0x140; ++id)
            t.put(id, payloadText(id));
        t.refresh();
    }) << true;
    QTest::newRow("selection and current cell with focus") << Setup([rows](Table &t) {
        rows(t);
        t.table->setFocus();
        t.table->setCurrentCell(1, 3);
        t.table->setRangeSelected(QTableWidgetSelectionRange(2, 0, 3, 4), true);
    }) << false;
}

void TestPaint::cellsLookAsTheStyleDraws()
{
    QFETCH(Setup, setup);
    QFETCH(bool, allFromLayouts);
    Table t;
    setup(t);
    SETTLE(t);
    auto *delegate = dynamic_cast<CellDelegate *>(t.table->itemDelegate());
    QVERIFY(delegate);
    const long fromLayouts = delegate->cellsFromLayouts(), byStyle = delegate->cellsByStyle();
    const QImage ours = t.grabCells();
    QVERIFY(delegate->cellsFromLayouts() > fromLayouts || !allFromLayouts);
    QCOMPARE(delegate->cellsByStyle() == byStyle, allFromLayouts);

    QStyledItemDelegate styleDrawn;
    t.table->setItemDelegate(&styleDrawn);
    const QImage theirs = t.grabCells();
    t.table->setItemDelegate(delegate);
    QVERIFY(t.table->rowCount() > 0);
    QCOMPARE(differingPixels(ours, theirs), 0);
    // Not a blank picture: the texts are there.
    QImage blank(ours.size(), ours.format());
    blank.fill(ours.pixel(0, 0));
    QVERIFY(differingPixels(ours, blank) > 500);
}

void TestPaint::fitMatchesTheToolkit_data()
{
    QTest::addColumn<Setup>("setup");

    QTest::newRow("200 extended identifiers") << Setup([](Table &t) {
        for (quint32 i = 0; i < 200; ++i)
            t.put(0x18FE0000u + i, payloadText(i));
        t.refresh();
    });
    QTest::newRow("standard and extended, short and empty payloads") << Setup([](Table &t) {
        t.put(0x100, "");
        t.put(0x101, "01 ");
        t.put(0x7FF, payloadText(3, 5));
        t.refresh();
        t.put(0x18FEF100, payloadText(4));
        t.put(0x102, "AA BB ");
        t.refresh();
    });
    QTest::newRow("hidden rows with wider texts do not count") << Setup([](Table &t) {
        t.click("pb_showZero");
        for (quint32 i = 0; i < 20; ++i)
            t.put(0x100 + i, "01 ");
        t.put(0x18FEF100, "00 00 ");
        t.refresh();
    });
    QTest::newRow("1,500 rows scrolled to the middle: the view looks at 1,000") << Setup([](Table &t) {
        // Wide identifiers only in the first and last hundred rows.
        for (quint32 i = 0; i < 100; ++i)
            t.put(0x18FE0000u + i, payloadText(i));
        t.refresh();
        for (quint32 i = 0; i < 1300; ++i)
            t.put(0x000 + i, payloadText(i));
        t.refresh();
        for (quint32 i = 0; i < 100; ++i)
            t.put(0x18FF0000u + i, payloadText(i));
        t.refresh();
        t.table->scrollToItem(t.table->item(750, 0), QAbstractItemView::PositionAtCenter);
        MainWindowProbe::tableFit(t.w).fit(t.table);
    });
    QTest::newRow("ordered insertion among existing rows") << Setup([](Table &t) {
        t.click("pb_order");
        for (quint32 i = 0; i < 50; ++i)
            t.put(0x18FE0000u + 2 * i, payloadText(i, 1 + int(i % 8)));
        t.refresh();
        for (quint32 i = 0; i < 50; ++i)
            t.put(0x18FE0001u + 2 * i, payloadText(i));
        t.refresh();
    });
    QTest::newRow("font made larger") << Setup([](Table &t) {
        for (quint32 i = 0; i < 30; ++i)
            t.put(0x200 + i * 5, payloadText(i));
        t.refresh();
        t.click("tb_increaseFont");
        t.click("tb_increaseFont");
        t.click("tb_increaseFont");
    });
}

void TestPaint::fitMatchesTheToolkit()
{
    QFETCH(Setup, setup);
    Table t;
    setup(t);
    const QString fitted = t.sizes();

    // The fit starts from what the table holds, not from earlier sizes.
    t.perturb();
    MainWindowProbe::tableFit(t.w).fit(t.table);
    QCOMPARE(t.sizes(), fitted);

    // The toolkit's own resize, with the style's own cell sizes and every row
    // label measured afresh.
    QAbstractItemDelegate *delegate = t.table->itemDelegate();
    auto *header = dynamic_cast<LabelHeader *>(t.table->verticalHeader());
    auto *columnHeader = dynamic_cast<LabelHeader *>(t.table->horizontalHeader());
    QVERIFY(header && columnHeader);
    columnHeader->setMeasuringOnce(false);
    QStyledItemDelegate styleSized;
    t.table->setItemDelegate(&styleSized);
    header->setMeasuringOnce(false);
    t.perturb();
    t.table->resizeColumnsToContents();
    t.table->resizeRowsToContents();
    const QString toolkit = t.sizes();
    const QSize headerHint = header->sizeHint();
    t.table->setItemDelegate(delegate);
    const QSize columnHeaderHint = columnHeader->sizeHint();
    header->setMeasuringOnce(true);
    columnHeader->setMeasuringOnce(true);
    QCOMPARE(header->sizeHint(), headerHint);
    QCOMPARE(columnHeader->sizeHint(), columnHeaderHint);
    QCOMPARE(fitted, toolkit);
}

void TestPaint::refreshStormShowsNewestData()
{
    Table t;
    PaintCounter counter;
    t.table->viewport()->installEventFilter(&counter);
    t.click("pb_highlightChanges");
    for (quint32 i = 0; i < 40; ++i)
        t.put(0x18FE0000u + i, payloadText(i));
    t.refresh();
    SETTLE(t);
    QTRY_VERIFY(counter.paints > 0);

    // Refreshes back to back with the event loop running in between, as the
    // 1 ms refresh timer runs them; every one changes every byte.
    QElapsedTimer clock;
    clock.start();
    const int paintsBefore = counter.paints;
    int refreshes = 0;
    for (quint32 round = 1; round <= 60; ++round, ++refreshes) {
        for (quint32 i = 0; i < 40; ++i)
            t.put(0x18FE0000u + i, payloadText(i + round * 3));
        t.refresh();
        QCoreApplication::processEvents();
    }
    const qint64 stormMs = clock.elapsed();
    // At most one paint per 16 ms frame that began during the storm.
    QVERIFY2(counter.paints - paintsBefore <= stormMs / 16 + 2,
             qPrintable(QString("%1 paints in %2 ms").arg(counter.paints - paintsBefore).arg(stormMs)));

    // The last refresh's data reaches the screen with the next frame.
    const int paintsAtEnd = counter.paints;
    SETTLE(t);
    QTRY_VERIFY(counter.paints > paintsAtEnd);
    QCOMPARE(t.table->item(0, 2)->text(), "  " + payloadText(0 + 60 * 3).left(2) + "  ");
    const QImage screen = t.onScreen();
    const QImage current = t.grabCells();
    QCOMPARE(differingPixels(screen, current), 0);
    t.table->viewport()->removeEventFilter(&counter);
    QVERIFY(refreshes == 60);
}

void TestPaint::flashLastsOnScreen()
{
    Table t;
    t.click("pb_highlightChanges");
    t.put(0x18FEF100, "01 02 03 ");
    t.refresh();
    SETTLE(t);
    const QColor yellow(255, 255, 0), white(255, 255, 255);
    QTRY_VERIFY(t.screenPixel(0, 3) == white);

    t.put(0x18FEF100, "01 05 03 ");
    QElapsedTimer clock;
    clock.start();
    t.refresh();
    QCOMPARE(t.table->item(0, 3)->background().color(), yellow);
    // The flash shows with the next frame...
    QTRY_VERIFY_WITH_TIMEOUT(t.screenPixel(0, 3) == yellow, 2000);
    const qint64 shown = clock.elapsed();
    QVERIFY2(shown < 450, qPrintable(QString::number(shown)));
    QCOMPARE(t.screenPixel(0, 2), white); // an unchanged byte
    // ...and stays until its reset is due, 500 ms after it was set.
    QTRY_VERIFY_WITH_TIMEOUT(t.screenPixel(0, 3) == white, 5000);
    const qint64 gone = clock.elapsed();
    QVERIFY2(gone >= 450, qPrintable(QString::number(gone)));
}

void TestPaint::viewportHidesWhatIsBehindIt()
{
    // The viewport paints all of its area, so its repaints leave the frames
    // and the window behind it alone, also after a font change.
    Table t;
    t.put(0x100, "01 ");
    t.refresh();
    SETTLE(t);
    PaintCounter behind;
    for (const char *name : {"tableFrame", "centralwidget"})
        t.w.findChild<QWidget *>(name)->installEventFilter(&behind);
    t.w.installEventFilter(&behind);
    t.table->viewport()->repaint();
    t.click("tb_increaseFont");
    QCoreApplication::processEvents();
    behind.paints = 0;
    t.table->viewport()->repaint();
    QCOMPARE(behind.paints, 0);
}

void TestPaint::headersAreTheViewsOwn_data()
{
    QTest::addColumn<Qt::Orientation>("orientation");
    QTest::newRow("row header") << Qt::Vertical;
    QTest::newRow("column header") << Qt::Horizontal;
}

void TestPaint::headersAreTheViewsOwn()
{
    // The headers are set up as the view sets up its own: same class to the
    // meta-object system, same header settings as a table widget's default
    // headers under the same style sheet, labels and sort order.
    QFETCH(Qt::Orientation, orientation);
    Table t;
    QTableWidget plain;
    plain.setStyleSheet(t.table->styleSheet());
    plain.setColumnCount(10);
    plain.setHorizontalHeaderLabels({"Timestamp", "ID", "B0", "B1", "B2", "B3", "B4", "B5", "B6", "B7"});
    plain.sortByColumn(1, Qt::AscendingOrder);
    const bool rows = orientation == Qt::Vertical;
    QHeaderView *ours = rows ? t.table->verticalHeader() : t.table->horizontalHeader();
    QHeaderView *theirs = rows ? plain.verticalHeader() : plain.horizontalHeader();
    QVERIFY(dynamic_cast<LabelHeader *>(ours));
    QCOMPARE(ours->metaObject()->className(), "QHeaderView");
    QCOMPARE(ours->parentWidget(), t.table);
    QCOMPARE(ours->orientation(), orientation);
    const QMetaObject &header = QHeaderView::staticMetaObject;
    QStringList differences;
    for (int i = header.propertyOffset(); i < header.propertyCount(); ++i) {
        const char *name = header.property(i).name();
        if (ours->property(name) != theirs->property(name))
            differences << name;
    }
    QCOMPARE(differences, QStringList());
    QCOMPARE(ours->sectionsClickable(), theirs->sectionsClickable());
    QCOMPARE(ours->focusPolicy(), theirs->focusPolicy());
    QCOMPARE(ours->sortIndicatorSection(), theirs->sortIndicatorSection());
    QCOMPARE(ours->sortIndicatorOrder(), theirs->sortIndicatorOrder());
    QCOMPARE(ours->model(), t.table->model());
    QCOMPARE(ours->count(), rows ? 0 : 10);
    // Clicking a label still selects its row or column.
    t.put(0x100, "01 ");
    t.put(0x200, "02 ");
    t.refresh();
    SETTLE(t);
    const QPoint at = rows ? QPoint(ours->width() / 2, ours->sectionViewportPosition(1) + 5)
                           : QPoint(ours->sectionViewportPosition(1) + 5, ours->height() / 2);
    QTest::mouseClick(ours->viewport(), Qt::LeftButton, {}, at);
    if (rows)
        QTRY_COMPARE(t.table->selectionModel()->selectedRows().value(0).row(), 1);
    else
        QTRY_COMPARE(t.table->selectionModel()->selectedColumns().value(0).column(), 1);
}

void TestPaint::logCellsShareTheirTexts()
{
    Table t;
    t.click("pb_scroll");
    t.put(0x100, "0A 0B ", "10:00:00.000");
    t.put(0x200, "0A 0C ", "10:00:00.000");
    t.refresh();
    t.put(0x100, "0B 0A ", "10:00:00.001");
    t.refresh();
    QCOMPARE(t.table->rowCount(), 3);
    auto *first = t.table->item(0, 2), *second = t.table->item(1, 2), *third = t.table->item(2, 3);
    QCOMPARE(first->text(), QStringLiteral("  0A  "));
    QCOMPARE(third->text(), QStringLiteral("  0A  "));
    QCOMPARE(first->type(), int(QTableWidgetItem::Type));
    QVERIFY(dynamic_cast<LogCell *>(first));
    // One string for the same text in different rows and columns, and for the
    // same timestamp and identifier.
    QCOMPARE(first->text().constData(), second->text().constData());
    QCOMPARE(first->text().constData(), third->text().constData());
    QCOMPARE(t.table->item(0, 0)->text().constData(), t.table->item(1, 0)->text().constData());
    QCOMPARE(t.table->item(0, 1)->text().constData(), t.table->item(2, 1)->text().constData());
    QVERIFY(t.table->item(0, 0)->text().constData() != t.table->item(2, 0)->text().constData());
    // A text or a brush set later is what the cell then holds.
    first->setText(QStringLiteral("  FF  "));
    first->setBackground(QColor(255, 255, 255));
    QCOMPARE(t.table->item(0, 2)->text(), QStringLiteral("  FF  "));
    QCOMPARE(t.table->model()->data(t.table->model()->index(0, 2)).toString(), QStringLiteral("  FF  "));
    QCOMPARE(t.table->item(0, 2)->background().color(), QColor(255, 255, 255));
    QCOMPARE(second->text(), QStringLiteral("  0A  "));
    std::unique_ptr<QTableWidgetItem> copy(second->clone());
    QCOMPARE(copy->text(), QStringLiteral("  0A  "));
}

QTEST_MAIN(TestPaint)
#include "test_paint.moc"
