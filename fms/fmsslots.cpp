// The FMS panel: hand-over of candidate messages from the table refresh, the
// periodic decoding into the value labels and the panel toggle.

#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "fmsdecoder.h"

#include <QMutexLocker>

namespace {

QLabel *valueLabel(Ui::MainWindow *ui, fms::Parameter parameter)
{
    using fms::Parameter;
    switch (parameter) {
    case Parameter::FuelLevel: return ui->l_fuelLevelValue;
    case Parameter::EngineCoolantTemperature: return ui->l_engineTermperature1Value;
    case Parameter::FuelRate: return ui->l_fuelRateValue;
    case Parameter::InstantaneousFuelEconomy: return ui->l_instFuelEconomyValue;
    case Parameter::AverageFuelEconomy: return ui->l_avgFuelEconomyValue;
    case Parameter::ThrottlePosition: return ui->l_throttlePositionValue;
    case Parameter::EngineSpeed: return ui->l_engineSpeedValue;
    case Parameter::ServiceDistance: return ui->l_serviceDistanceValue;
    case Parameter::TotalEngineHours: return ui->l_totalEngineHoursValue;
    case Parameter::TotalVehicleDistance: return ui->l_totalVehicleDistanceValue;
    case Parameter::AmbientAirTemperature: return ui->l_ambientAirTemperatureValue;
    case Parameter::AirInletTemperature: return ui->l_airInletTemperatureValue;
    case Parameter::WheelBasedVehicleSpeed: return ui->l_wheelBasedVehicleSpeedValue;
    }
    return nullptr;
}

} // namespace

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
    // identifier's values are written last and stay on the panel.
    for (auto it = pending.cbegin(); it != pending.cend(); ++it) {
        const quint32 pgn = fms::pgnOf(it.key());
        if (!fms::isDecodedPgn(pgn))
            continue;
        const fms::DecodedValues values = fms::decode(pgn, it.value());
        for (const fms::DecodedValue &value : values) {
            if (QLabel *label = valueLabel(ui, value.parameter))
                label->setText(value.text);
        }
    }
}

void MainWindow::toggleFmsPanel()
{
    ui->fmsFrame->setHidden(!ui->fmsFrame->isHidden());
}
