// Identifier filter list and identifier input rules: what the fields let a user
// type and how they normalise it, adding and removing entries through the
// widgets, and the filter-list commands as they reach the adapter.

#include "tests/support/fakeadapter.h"
#include "tests/support/mainwindowprobe.h"
#include "tests/support/windowdriver.h"

#include <QtTest>
#include <QtWidgets>

using namespace WindowDriver;

namespace {

QStringList texts(MainWindow &w)
{
    QStringList out;
    for (auto *list = child<QListWidget>(w, "lv_filters"); out.size() < list->count();)
        out << list->item(out.size())->text();
    return out;
}

// Replaces the field's text as a user does: select all, erase, type (and Return).
void type(QLineEdit *field, const QString &text, bool pressReturn = true)
{
    field->selectAll();
    QTest::keyClick(field, Qt::Key_Backspace);
    QTest::keyClicks(field, text);
    if (pressReturn)
        QTest::keyClick(field, Qt::Key_Return);
}

QLineEdit *field(MainWindow &w, const char *name) { return child<QLineEdit>(w, name); }
void listIdentifier(MainWindow &w, const QString &text) { type(field(w, "le_filterID2"), text); }
void clearList(MainWindow &w) { child<QListWidget>(w, "lv_filters")->clear(); MainWindowProbe::filterIds(w).clear(); }
QByteArray hex(const char *text) { return QByteArray::fromHex(text); }
QString state(QAbstractButton *b) { return b->text() + (b->isChecked() ? " on" : " off"); }

} // namespace

class TestFilter : public QObject
{
    Q_OBJECT

private slots:
    void typingAddingRemoving();
    void commandsWhileReceiving();
    void failedWriteRestoresButton();
};

void TestFilter::typingAddingRemoving()
{
    MainWindow w;
    child<QFrame>(w, "fl_canbusConfig")->setEnabled(true);
    child<QFrame>(w, "tableFrame")->setEnabled(true);
    auto *entry = field(w, "le_filterID2"), *filter = field(w, "le_filterID"), *mask = field(w, "le_maskID");
    auto *search = field(w, "le_highlight");
    const int validators = w.findChildren<QValidator *>().size();

    // Width, field, what the user types (null: Return only; a trailing '+': the add button
    // instead of Return), the field's text afterwards, and whether that text is added to the list.
    // The fields take the rules of filterlogic (test_rules): here each field gets its
    // validator and normalisation, for each width, on Return and on the add button.
    const struct { int ext; QLineEdit *field; const char *typed, *shown; bool adds; } steps[] = {
        {0, entry, "g1z-A 2b", "1a2", 1}, {0, entry, "7FF3", "7ff", 1}, {0, entry, nullptr, "7ff", 0},
        {0, entry, "800+", "000", 0}, {0, entry, "", "000", 1}, {0, entry, "1a3", "1a3", 1},
        {0, entry, "1A3+", "1a3", 0}, {0, entry, "5+", "005", 1}, {0, filter, "800", "000", 0},
        {0, mask, "7Ff", "7ff", 0}, {0, search, "18fEf1x00Z99", "18fEf100", 0},
        {1, entry, "18FEF100F", "18fef100", 1}, {1, entry, "1a3", "000001a3", 1},
        {1, entry, "20000000+", "00000000", 0}, {1, search, "123456789", "12345678", 0},
        {1, filter, "1FFFFFFF", "1fffffff", 0}, {1, mask, "ABC", "00000abc", 0}, {0, entry, "1234", "123", 1}};
    QStringList listed;
    for (const auto &s : steps) {
        if (s.ext != child<QCheckBox>(w, "cb_extID")->isChecked()) {
            child<QCheckBox>(w, "cb_extID")->setChecked(s.ext); // the fields are reset, the entries kept
            for (QLineEdit *f : {entry, filter, mask})
                QCOMPARE(f->text(), QString(s.ext ? "00000000" : "000"));
        }
        const bool viaButton = QString(s.typed).endsWith('+');
        if (s.typed)
            type(s.field, QString(s.typed).chopped(viaButton), !viaButton);
        else
            QTest::keyClick(s.field, Qt::Key_Return);
        if (viaButton)
            QTest::mouseClick(child<QToolButton>(w, "tb_add"), Qt::LeftButton);
        if (s.adds)
            listed << s.shown;
        QCOMPARE(s.field->text(), QString(s.shown));
        QCOMPARE(texts(w), listed);
    }
    QCOMPARE(w.findChildren<QValidator *>().size(), validators); // the old rules are deleted

    // Removing: each click on an entry toggles its selection, "-" removes the selected ones.
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    auto *list = child<QListWidget>(w, "lv_filters");
    auto removeWith = [&](const char *typed, std::initializer_list<int> clickedRows) {
        for (int row : clickedRows) {
            list->scrollToItem(list->item(row));
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(row)).center());
        }
        type(entry, typed, false);
        QTest::mouseClick(child<QToolButton>(w, "tb_remove"), Qt::LeftButton);
    };
    removeWith("2", {}); // nothing selected: nothing removed, the field normalised
    QCOMPARE(entry->text(), QString("002"));
    QCOMPARE(texts(w), listed);
    removeWith("2", {0, 2, 3, 3});
    QCOMPARE(texts(w), listed.mid(1, 1) + listed.mid(3));
    removeWith("900", {0}); // an out-of-range field: only the reset, even with a selection
    QCOMPARE(entry->text(), QString("000"));
    QCOMPARE(texts(w).size(), listed.size() - 2);
    removeWith("2", {1, 2, 3, 4, 5});
    QCOMPARE(texts(w), QStringList{});
    QCOMPARE(MainWindowProbe::filterIds(w), QStringList{});
}

// Every command goes out while the reader receives frames of 64 identifiers at
// 10,000 frames per second, with a stretch of frames between two commands.
void TestFilter::commandsWhileReceiving()
{
    FakeAdapter adapter;
    MainWindow w;
    QVERIFY(openFake(w, adapter));
    auto *button = child<QPushButton>(w, "pb_enableFilters");
    configure(w);
    QTRY_COMPARE(adapter.written().size(), 20);
    QByteArray expected = adapter.written();
    adapter.startStream([](int i) {
        return FakeAdapter::frame(0x100 + quint32(i % 64), true, char(i) + hex("01 02 03 04 05 06 07"));
    }, 10000.0, 100000);
    auto *table = child<QTableWidget>(w, "tv_messages");
    QTRY_VERIFY(table->rowCount() > 0);
    auto pressAndExpect = [&, lastSent = 0](const QByteArray &command, const char *label) mutable {
        if (QTest::currentTestFailed())
            return;
        QTRY_VERIFY(adapter.streamSent() >= lastSent + 1000);
        lastSent = adapter.streamSent();
        expected += command;
        press(w, "pb_enableFilters");
        QTRY_COMPARE(adapter.written(), expected); // all so far, intact and in order
        QCOMPARE(state(button), QString(label));
    };
    const QByteArray off = hex("AA 55 10 00 10");
    for (const char *id : {"123", "7FF"})
        listIdentifier(w, id);
    pressAndExpect(hex("AA 55 10 02 23 01 00 00 FF 07 00 00 3C"), "DISABLE on");
    pressAndExpect(off, "ENABLE off");

    // A byte 0x0D goes out as the ten-byte escape; the checksum covers offsets 2
    // to 18 as sent. Listing entries sends nothing.
    clearList(w);
    for (const char *id : {"00D", "7ff"})
        listIdentifier(w, id);
    pressAndExpect(hex("AA 55 10 02 0D 0D 0A 45 52 52 4F 52 0D 0A 00 00 00 FF 07 00 00 DD"), "DISABLE on");
    pressAndExpect(off, "ENABLE off");

    // 300 entries: the count byte wraps to 44, every identifier is sent.
    clearList(w);
    QByteArray many = hex("AA 55 10 2C");
    for (quint32 id = 0x400; id < 0x400 + 600; id += 2) { // no byte 0x0D
        listIdentifier(w, QString::number(id, 16));
        many += QByteArray(1, char(id)) + char(id >> 8) + QByteArray(2, '\0');
    }
    pressAndExpect(many + char(0x58), "DISABLE on"); // 10 2C + 00 04 00 00 02 04 00 00 04 04 00 00 06 04 00
    pressAndExpect(off, "ENABLE off");

    clearList(w);
    child<QCheckBox>(w, "cb_extID")->setChecked(true);
    child<QRadioButton>(w, "rb_exclude")->setChecked(true);
    listIdentifier(w, "18FEF100");
    pressAndExpect(hex("AA 55 11 01 00 F1 FE 18 19"), "DISABLE on");
    pressAndExpect(hex("AA 55 11 00 11"), "ENABLE off");
    clearList(w); // an empty list switched on: count 0 as well
    pressAndExpect(hex("AA 55 11 00 11"), "DISABLE on");
    QVERIFY(!adapter.streamFinished() && !adapter.streamFailed()); // the commands overlapped the stream
    adapter.stopStream();
    QCOMPARE(table->rowCount(), 64);
}

void TestFilter::failedWriteRestoresButton()
{
    for (bool wasOn : {false, true}) {
        FakeAdapter adapter;
        MainWindow w;
        QVERIFY(openFake(w, adapter));
        configure(w);
        if (wasOn)
            press(w, "pb_enableFilters");
        QTRY_COMPARE(adapter.written().size(), wasOn ? 25 : 20);
        adapter.closeMaster(); // the adapter disappears while receiving
        for (int i = 0; i < 2; ++i) {
            press(w, "pb_enableFilters");
            QCOMPARE(state(child<QPushButton>(w, "pb_enableFilters")), QString(wasOn ? "DISABLE on" : "ENABLE off"));
        }
    }
}

QTEST_MAIN(TestFilter)
#include "test_filter.moc"
