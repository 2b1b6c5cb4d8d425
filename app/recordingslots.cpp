// The recording button: checked starts a dump file, unchecked ends it.

#include "app/mainwindow.h"
#include "ui_mainwindow.h"

void MainWindow::dumpFileClicked(bool checked)
{
    if (checked) {
        if (serial.startRecording())
            ui->pb_dumpFile->setText(QStringLiteral("STOP RECORDING"));
        else
            ui->pb_dumpFile->setChecked(false); // silently back to "START RECORDING"
        return;
    }
    serial.stopRecording();
    ui->pb_dumpFile->setText(QStringLiteral("START RECORDING"));
}
