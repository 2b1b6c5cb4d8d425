#include "fms/fmsdecoder.h"

#include "core/canid.h"
#include "core/hex.h"
#include "core/littleendian.h"
#include "j1939/identifier.h"

#include <cmath>

namespace fms {

namespace {

// Every parameter group the decoder knows; a candidate must contain all bits
// of one of them shifted into the PGN field.
constexpr quint32 DECODED_PGNS[] = {
    PgnDashDisplay,        PgnEngineTemperature1, PgnFuelEconomy,
    PgnEngineController1,  PgnServiceInformation, PgnEngineHours,
    PgnHighResVehicleDistance, PgnAmbientConditions, PgnCruiseControlVehicleSpeed,
};

// Reads the bytes [first, first + count) as a little-endian number. Returns
// false when the list is too short, so the caller leaves that value out.
bool readLittleEndian(const QStringList &bytes, int first, int count, quint32 &value)
{
    if (bytes.size() < first + count)
        return false;
    value = 0;
    for (int i = count - 1; i >= 0; --i)
        value = (value << 8) | byteValue(bytes.at(first + i));
    return true;
}

const QString DEGREES_CELSIUS = QStringLiteral("%1 \u00B0C");

// "%1 unit" with the number in general format (6 significant digits, C locale).
QString general(const QString &pattern, double value)
{
    return pattern.arg(value);
}

// "%1 unit" with a plain signed decimal integer.
QString integer(const QString &pattern, qint64 value)
{
    return pattern.arg(value);
}

// The number with n decimals (like %.nf, C locale), the unit directly after.
QString fixed(double value, int decimals, const QString &unit)
{
    QString text;
    text.setNum(value, 'f', decimals);
    return text + unit;
}

// One parameter of the panel: where its raw value lies in its group's
// message (first byte, width in bytes, little-endian), how it scales
// (raw * factor + offset, in the unit of its text) and its label text.
struct Field {
    quint32 pgn;
    Parameter parameter;
    int firstByte;
    int width;
    double factor;
    double offset;
    QString (*text)(double value);
};

// In label order within each group: fuel rate, instantaneous economy, average
// economy, throttle; ambient before air inlet temperature.
const Field FIELDS[] = {
    {PgnDashDisplay, Parameter::FuelLevel, 1, 1, 0.4, 0,
     [](double value) { return general(QStringLiteral("%1 %"), value); }},
    {PgnEngineTemperature1, Parameter::EngineCoolantTemperature, 0, 1, 1, -40,
     [](double value) { return integer(DEGREES_CELSIUS, qint64(value)); }},
    {PgnFuelEconomy, Parameter::FuelRate, 0, 2, 0.05, 0,
     [](double value) { return fixed(float(value), 1, QStringLiteral(" L/h")); }},
    // J1939 gives both economies in km/L (SPN 184, 185), 1/512 km/L per bit.
    {PgnFuelEconomy, Parameter::InstantaneousFuelEconomy, 2, 2, 1 / 512.0, 0,
     [](double value) { return fixed(value, 1, QStringLiteral(" km/L")); }},
    {PgnFuelEconomy, Parameter::AverageFuelEconomy, 4, 2, 1 / 512.0, 0,
     [](double value) { return fixed(value, 1, QStringLiteral(" km/L")); }},
    {PgnFuelEconomy, Parameter::ThrottlePosition, 6, 1, 0.4, 0,
     [](double value) { return fixed(float(value), 1, QStringLiteral("%")); }},
    {PgnEngineController1, Parameter::EngineSpeed, 3, 2, 0.125, 0,
     [](double value) { return general(QStringLiteral("%1 rpm"), value); }},
    {PgnServiceInformation, Parameter::ServiceDistance, 1, 2, 5, -160635,
     [](double value) { return integer(QStringLiteral("%1 km"), qint64(value)); }},
    {PgnEngineHours, Parameter::TotalEngineHours, 0, 4, 0.05, 0,
     [](double value) { return general(QStringLiteral("%1 h"), value); }},
    // 5 m per bit. The text is worked out from the whole metres (the value
    // times 1000, rounded, gives them exactly) in single precision.
    {PgnHighResVehicleDistance, Parameter::TotalVehicleDistance, 0, 4, 0.005, 0,
     [](double value) { return fixed(float(std::llround(value * 1000)) / 1000.0f, 3, QStringLiteral(" km")); }},
    {PgnAmbientConditions, Parameter::AmbientAirTemperature, 3, 2, 0.03125, -273,
     [](double value) { return general(DEGREES_CELSIUS, value); }},
    {PgnAmbientConditions, Parameter::AirInletTemperature, 5, 1, 1, -40,
     [](double value) { return integer(DEGREES_CELSIUS, qint64(value)); }},
    {PgnCruiseControlVehicleSpeed, Parameter::WheelBasedVehicleSpeed, 1, 2, 1 / 256.0, 0,
     [](double value) { return fixed(value, 3, QStringLiteral(" km/h")); }},
};

double scaled(const Field &field, quint32 raw)
{
    return raw * field.factor + field.offset;
}

} // namespace

bool isMeasurement(quint32 raw, int width)
{
    switch (width) {
    case 1: return raw <= 0xFA;
    case 2: return raw <= 0xFAFF;
    default: return raw <= 0xFAFFFFFF;
    }
}

QString valueLabelName(Parameter parameter)
{
    switch (parameter) {
    case Parameter::FuelLevel: return QStringLiteral("l_fuelLevelValue");
    case Parameter::EngineCoolantTemperature: return QStringLiteral("l_engineTermperature1Value");
    case Parameter::FuelRate: return QStringLiteral("l_fuelRateValue");
    case Parameter::InstantaneousFuelEconomy: return QStringLiteral("l_instFuelEconomyValue");
    case Parameter::AverageFuelEconomy: return QStringLiteral("l_avgFuelEconomyValue");
    case Parameter::ThrottlePosition: return QStringLiteral("l_throttlePositionValue");
    case Parameter::EngineSpeed: return QStringLiteral("l_engineSpeedValue");
    case Parameter::ServiceDistance: return QStringLiteral("l_serviceDistanceValue");
    case Parameter::TotalEngineHours: return QStringLiteral("l_totalEngineHoursValue");
    case Parameter::TotalVehicleDistance: return QStringLiteral("l_totalVehicleDistanceValue");
    case Parameter::AmbientAirTemperature: return QStringLiteral("l_ambientAirTemperatureValue");
    case Parameter::AirInletTemperature: return QStringLiteral("l_airInletTemperatureValue");
    case Parameter::WheelBasedVehicleSpeed: return QStringLiteral("l_wheelBasedVehicleSpeedValue");
    }
    return QString();
}

quint32 pgnOf(quint32 id)
{
    return (quint32(j1939::pduFormat(id)) << 8) | j1939::pduSpecific(id);
}

bool isDecodedPgn(quint32 pgn)
{
    for (quint32 known : DECODED_PGNS) {
        if (pgn == known)
            return true;
    }
    return false;
}

bool isCandidate(quint32 id)
{
    // A standard identifier has 11 bits and could never hold the PGN bits;
    // say so explicitly rather than rely on the masks.
    if (id <= core::MAX_STANDARD_ID)
        return false;
    for (quint32 pgn : DECODED_PGNS) {
        const quint32 bits = pgn << 8;
        if ((id & bits) == bits)
            return true;
    }
    return false;
}

QStringList byteTexts(const QString &payloadText)
{
    const QString trimmed = payloadText.trimmed();
    if (trimmed.isEmpty())
        return {};
    return trimmed.split(QLatin1Char(' '), Qt::KeepEmptyParts);
}

quint8 byteValue(const QString &text)
{
    // Only the low 8 bits matter: those of the last two digits, provided that
    // every character is a digit.
    const QStringView digits(text);
    const qsizetype head = qMax<qsizetype>(0, digits.size() - 2);
    quint64 value = 0;
    if (!core::parseHex(digits.mid(head), value))
        return 0;
    for (qsizetype i = 0; i < head; ++i) {
        if (core::hexDigitValue(digits.at(i).unicode()) < 0)
            return 0;
    }
    return quint8(value);
}

DecodedValues decode(quint32 pgn, const QStringList &bytes, Range range)
{
    DecodedValues out;
    for (const Field &field : FIELDS) {
        quint32 raw = 0;
        if (field.pgn != pgn || !readLittleEndian(bytes, field.firstByte, field.width, raw))
            continue;
        if (range == Range::ValidOnly && !isMeasurement(raw, field.width))
            continue;
        out.append({field.parameter, field.text(scaled(field, raw))});
    }
    return out;
}

int read(quint32 pgn, const quint8 *data, int size, Reading *out)
{
    int count = 0;
    for (const Field &field : FIELDS) {
        if (field.pgn != pgn || size < field.firstByte + field.width)
            continue;
        const auto raw = quint32(core::littleEndian(reinterpret_cast<const char *>(data) + field.firstByte, field.width));
        out[count++] = {field.parameter, scaled(field, raw), isMeasurement(raw, field.width)};
    }
    return count;
}

} // namespace fms
