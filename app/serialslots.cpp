// Connection panel: listing, opening and closing the serial port, and sending
// the adapter's configuration, which (re)starts reception.

#include "app/mainwindow.h"
#include "ui_mainwindow.h"

#include "app/extraports.h"
#include "core/identry.h"
#include "link/protocol.h"

#include <QMessageBox>
#include <QSerialPortInfo>

void MainWindow::serialRefresh()
{
    ui->cb_selectSerial->clear();
    const QList<QSerialPortInfo> ports = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &info : ports)
        ui->cb_selectSerial->addItem(info.portName() + QStringLiteral(" (") + info.description()
                                     + QLatin1Char(')'));
    // Devices that the system does not enumerate (an in-process emulator) follow.
    const auto extras = extraPorts();
    for (const auto &extra : extras)
        ui->cb_selectSerial->addItem(extra.first + QStringLiteral(" (") + extra.second
                                     + QLatin1Char(')'));
    ui->pb_open->setEnabled(ui->cb_selectSerial->count() > 0);
}

void MainWindow::serialConnect()
{
    // Text that is not a number gives 0.
    serial.setBaudRate(ui->cb_baudRateCOM->currentText().toUInt());

    const QString entry = ui->cb_selectSerial->currentText();
    const int space = entry.indexOf(QLatin1Char(' '));
    const QString name = space < 0 ? entry : entry.left(space);

    if (!serial.openPort(name)) {
        QMessageBox::critical(this, tr("Error"), serial.errorString(), QMessageBox::Ok);
        return;
    }
    ui->pb_close->setEnabled(true);
    ui->pb_open->setEnabled(false);
    ui->pb_refresh->setEnabled(false);
    ui->fl_canbusConfig->setEnabled(true);
    ui->tableFrame->setEnabled(true);
    ui->cb_selectSerial->setEnabled(false);
    ui->cb_baudRateCOM->setEnabled(false);
}

void MainWindow::serialDisconnect()
{
    // The reader is stopped and joined before the port is closed.
    serial.stopReading();
    serial.closePort();

    ui->pb_close->setEnabled(false);
    ui->pb_open->setEnabled(true);
    ui->pb_refresh->setEnabled(true);
    ui->fl_canbusConfig->setEnabled(false);
    ui->tableFrame->setEnabled(false);

    startAfresh();

    ui->cb_selectSerial->setEnabled(true);
    ui->cb_baudRateCOM->setEnabled(true);
}

void MainWindow::sendConfiguration()
{
    // No frame is read while the command is written.
    serial.stopReading();
    if (refreshTimer.isActive())
        refreshTimer.stop();
    fmsTimer.start(2000);

    // Empty or invalid hexadecimal text gives 0.
    const quint32 filterId = core::idEntryValue(ui->le_filterID->text());
    const quint32 maskId = core::idEntryValue(ui->le_maskID->text());
    const QByteArray command = wire::buildConfigurationCommand(
        ui->cb_selectCanBaud->currentText(), ui->cb_extID->isChecked(), filterId, maskId);
    if (command.isEmpty()) {
        QMessageBox::critical(this, tr("Error"), QStringLiteral("Canbus baudrate can not be empty"),
                              QMessageBox::Ok);
        return;
    }

    // The accepted count is not examined: the adapter sends no reply either way.
    serial.writeData(command);
    serial.startReading();
    refreshTimer.start(10);
}
