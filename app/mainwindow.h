#pragma once

// The main window: owns the form, the serial link manager, the timers and the
// bookkeeping of the message table, the filter list and the FMS panel.
// Slots live in the source files of their subsystem, all in app/; what is not
// the window's own (painting, fitting, flash resets, rules) lives in monitor/
// and fms/ and is used from here:
//   app/serialslots.cpp       serialConnect, serialDisconnect, serialRefresh, sendConfiguration
//   app/recordingslots.cpp    the recording button
//   app/tablerefreshslots.cpp updateTable and colorCell (the refresh and its change flash)
//   app/tabletoolslots.cpp    hideRows, highlightLine, orderRows, cleanBackgroundColor and
//                             the other table tools
//   app/filterslots.cpp       addRemoveItem, enableDisableFilter, changeValidator
//   app/fmsslots.cpp          updateFMSValues and the FMS hand-over

#include "core/messagerecord.h"
#include "link/serialmanager.h"
#include "monitor/contentfit.h"
#include "monitor/flashresetqueue.h"
#include "monitor/paintpacer.h"
#include "monitor/tablelogic.h"

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

    // ---- table tools (app/tabletoolslots.cpp) ----
    void startAfresh();
    void pauseClicked(bool checked);
    void scrollClicked(bool checked);
    void hideUnchangedClicked(bool checked);
    void changeTableFontSize(int step);
    void keepTableViewportOpaque();

    // ---- identifier fields (app/filterslots.cpp) ----
    void normaliseIdentifierField(QLineEdit *field);

    // ---- recording (app/recordingslots.cpp) ----
    void dumpFileClicked(bool checked);

    // ---- FMS (app/fmsslots.cpp) ----
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

    // The refresh and the flash resets change the table up to a thousand times
    // a second; its repaints are let through once per display frame.
    PaintPacer tablePacer;
    // The 500 ms resets of the change flash (colorCell).
    FlashResetQueue flashResets;
    // Fits columns and rows to their contents after new rows or a font change.
    ContentFit tableFit;
    // The cells' texts, each distinct one made once and shared.
    tablelogic::SharedCellTexts cellTexts;
    // Scroll mode keeps the newest scrollLogLimit rows; the oldest are removed
    // in one batch once scrollTrimChunk more have piled up.
    static constexpr int SCROLL_LOG_LIMIT = 100000;
    static constexpr int SCROLL_TRIM_CHUNK = 10000;
    // ---- the refresh (app/tablerefreshslots.cpp) ----
    void appendLogRows(const MessageMap &drained);
    void writeFixedRows(const MessageMap &drained);
    void writeExistingRow(int row, const QStringView *fields, int n, bool highlight, bool keepUnchanged);
    void reseatMovedItems(int firstMovedRow);
    void setRowsHidden(const QVector<int> &rows, const QVector<bool> &hide);
};
