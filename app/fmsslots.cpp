// The FMS panel: hand-over of candidate messages from the table refresh, the
// periodic decoding into the value labels and the panel toggle.

#include "app/mainwindow.h"
#include "ui_mainwindow.h"

#include "fms/fmsdecoder.h"

#include <QMutexLocker>

// Called by the fixed-mode table refresh for every message it drains.
void MainWindow::handOverFms(quint32 id, const MessageRecord &record)
{
    if (!fms::isCandidate(id))
        return;
    const QStringList bytes = fms::byteTexts(record.value(2));
    QMutexLocker locker(&fmsMutex);
    fmsMessages.insert(id, bytes);
}

void MainWindow::updateFMSValues()
{
    QMap<quint32, QStringList> pending;
    {
        QMutexLocker locker(&fmsMutex);
        pending.swap(fmsMessages);
    }

    // Ascending identifiers: with several sources of one group, the highest
    // identifier's values are written last and stay on the panel (with valid
    // values only, the highest identifier that sent a valid value).
    for (auto it = pending.cbegin(); it != pending.cend(); ++it) {
        const quint32 pgn = fms::pgnOf(it.key());
        if (!fms::isDecodedPgn(pgn))
            continue;
        const fms::DecodedValues values =
            fms::decode(pgn, it.value(), fmsValidOnly ? fms::Range::ValidOnly : fms::Range::All);
        for (const fms::DecodedValue &value : values) {
            if (auto *label = ui->fmsFrame->findChild<QLabel *>(fms::valueLabelName(value.parameter)))
                label->setText(value.text);
        }
    }
}

void MainWindow::setFmsValidOnly(bool validOnly)
{
    fmsValidOnly = validOnly;
}

void MainWindow::toggleFmsPanel()
{
    ui->fmsFrame->setHidden(!ui->fmsFrame->isHidden());
}
