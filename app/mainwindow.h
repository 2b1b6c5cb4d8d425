#pragma once

// The main window: owns the form, the serial link manager, the timers and the
// bookkeeping of the message table, the filter list and the FMS panel.
// Slots live in the source files of their subsystem:
//   app/serialslots.cpp     serialConnect, serialDisconnect, serialRefresh, sendConfiguration
//   app/recordingslots.cpp  the recording button
//   monitor/tableslots.cpp  updateTable, hideRows, highlightLine, orderRows, colorCell,
//                           cleanBackgroundColor and the table tools
//   monitor/filterslots.cpp addRemoveItem, enableDisableFilter, changeValidator
//   fms/fmsslots.cpp        updateFMSValues and the FMS hand-over

#include "core/messagerecord.h"
#include "link/serialmanager.h"
#include "monitor/tablelogic.h"
#include "monitor/tablepaint.h"

#include <QFont>
#include <QList>
#include <QMainWindow>
#include <QMap>
#include <QMutex>
#include <QStringList>
#include <QTimer>

class QLineEdit;

QT_BEGIN_NAMESPACE
namespace Ui { class MainWindow; }
QT_END_NAMESPACE

class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    // The FMS panel leaves J1939 "not available" and "error" values out (the
    // program's --fms-valid-only); by default every raw value is shown.
    void setFmsValidOnly(bool validOnly);

protected:
    void showEvent(QShowEvent *event) override;

signals:
    void dataChanged(int row, int col);

private slots:
    void serialConnect();
    void serialDisconnect();
    void serialRefresh();
    void addRemoveItem(bool add);
    void enableDisableFilter();
    void changeValidator();
    void sendConfiguration();
    void updateTable();
    void hideRows();
    void highlightLine();
    void orderRows();
    void colorCell(int row, int col);
    void cleanBackgroundColor();
    void updateFMSValues();

private:
    // Tests and benchmarks reach the private members through this (tests/support).
    friend struct MainWindowProbe;

    // ---- table tools (monitor/tableslots.cpp) ----
    void startAfresh();
    void pauseClicked(bool checked);
    void scrollClicked(bool checked);
    void hideUnchangedClicked(bool checked);
    void changeTableFontSize(int step);
    void keepTableViewportOpaque();
    void resetDueFlashes();

    // ---- identifier fields (monitor/filterslots.cpp) ----
    void normaliseIdentifierField(QLineEdit *field);

    // ---- recording (app/recordingslots.cpp) ----
    void dumpFileClicked(bool checked);

    // ---- FMS (fms/fmsslots.cpp) ----
    void handOverFms(quint32 id, const MessageRecord &record);
    void toggleFmsPanel();

    Ui::MainWindow *ui;
    serialManager serial;
    QStringList filterIds;
    QMutex fmsMutex;
    QTimer refreshTimer;
    QMap<quint32, int> rowOfId;
    QFont tableFont;
    QTimer hideTimer;
    QTimer fmsTimer;
    bool highlightActive = false;
    QList<quint32> orderedIds;
    QMap<quint32, QStringList> fmsMessages;
    bool fmsValidOnly = false;

    // ---- change-flash resets (monitor/tableslots.cpp) ----
    // One timer serves every pending 500 ms reset, in the order they fell due.
    struct FlashReset {
        qint64 dueMs; // monotonic clock
        int row;
        int col;
    };
    // Due resets in order; entries before flashHead are done (the vector is
    // compacted once the done part outweighs the pending part).
    std::vector<FlashReset> flashResets;
    std::size_t flashHead = 0;
    QTimer flashTimer;
    // The refresh and the flash resets change the table up to a thousand times
    // a second; its repaints are let through once per display frame.
    PaintPacer tablePacer;
    // Fits columns and rows to their contents after new rows or a font change.
    ContentFit tableFit;
    // The cells' texts, each distinct one made once and shared.
    tablelogic::SharedCellTexts cellTexts;
    // Scroll mode keeps the newest scrollLogLimit rows; the oldest are removed
    // in one batch once scrollTrimChunk more have piled up.
    static constexpr int SCROLL_LOG_LIMIT = 100000;
    static constexpr int SCROLL_TRIM_CHUNK = 10000;
    void appendLogRows(const MessageMap &drained);
    void writeFixedRows(const MessageMap &drained);
    void writeExistingRow(int row, const QStringView *fields, int n, bool highlight, bool keepUnchanged);
    void reseatMovedItems(int firstMovedRow);
    void setRowsHidden(const QVector<int> &rows, const QVector<bool> &hide);
};
