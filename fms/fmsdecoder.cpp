#include "fms/fmsdecoder.h"

#include "core/canid.h"
#include "core/hex.h"
#include "j1939/identifier.h"

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
// message (first byte, width in bytes, little-endian) and its label text.
struct Field {
    quint32 pgn;
    Parameter parameter;
    int firstByte;
    int width;
    QString (*text)(quint32 raw);
};

// In label order within each group: fuel rate, instantaneous economy, average
// economy, throttle; ambient before air inlet temperature.
const Field FIELDS[] = {
    {PgnDashDisplay, Parameter::FuelLevel, 1, 1, [](quint32 raw) { return general(QStringLiteral("%1 %"), raw * 0.4); }},
    {PgnEngineTemperature1, Parameter::EngineCoolantTemperature, 0, 1,
     [](quint32 raw) { return integer(DEGREES_CELSIUS, qint64(raw) - 40); }},
    {PgnFuelEconomy, Parameter::FuelRate, 0, 2,
     [](quint32 raw) { return fixed(float(raw * 0.05), 1, QStringLiteral(" L/h")); }},
    // J1939 gives both economies in km/L (SPN 184, 185), 1/512 km/L per bit.
    {PgnFuelEconomy, Parameter::InstantaneousFuelEconomy, 2, 2,
     [](quint32 raw) { return fixed(raw / 512.0, 1, QStringLiteral(" km/L")); }},
    {PgnFuelEconomy, Parameter::AverageFuelEconomy, 4, 2,
     [](quint32 raw) { return fixed(raw / 512.0, 1, QStringLiteral(" km/L")); }},
    {PgnFuelEconomy, Parameter::ThrottlePosition, 6, 1,
     [](quint32 raw) { return fixed(float(raw * 0.4), 1, QStringLiteral("%")); }},
    {PgnEngineController1, Parameter::EngineSpeed, 3, 2,
     [](quint32 raw) { return general(QStringLiteral("%1 rpm"), raw * 0.125); }},
    {PgnServiceInformation, Parameter::ServiceDistance, 1, 2,
     [](quint32 raw) { return integer(QStringLiteral("%1 km"), qint64(raw) * 5 - 160635); }},
    {PgnEngineHours, Parameter::TotalEngineHours, 0, 4,
     [](quint32 raw) { return general(QStringLiteral("%1 h"), raw * 0.05); }},
    // 5 m per bit; the product needs more than 32 bits.
    {PgnHighResVehicleDistance, Parameter::TotalVehicleDistance, 0, 4,
     [](quint32 raw) { return fixed(float(qint64(raw) * 5) / 1000.0f, 3, QStringLiteral(" km")); }},
    {PgnAmbientConditions, Parameter::AmbientAirTemperature, 3, 2,
     [](quint32 raw) { return general(DEGREES_CELSIUS, raw * 0.03125 - 273); }},
    {PgnAmbientConditions, Parameter::AirInletTemperature, 5, 1,
     [](quint32 raw) { return integer(DEGREES_CELSIUS, qint64(raw) - 40); }},
    {PgnCruiseControlVehicleSpeed, Parameter::WheelBasedVehicleSpeed, 1, 2,
     [](quint32 raw) { return fixed(raw / 256.0, 3, QStringLiteral(" km/h")); }},
};

// The largest raw value of a J1939 parameter of `width` bytes that is a
// measurement: above it lie the reserved ranges, "error" (0xFE..) and "not
// available" (0xFF..).
quint32 largestValid(int width)
{
    switch (width) {
    case 1: return 0xFA;
    case 2: return 0xFAFF;
    default: return 0xFAFFFFFF;
    }
}

} // namespace

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
        if (range == Range::ValidOnly && raw > largestValid(field.width))
            continue;
        out.append({field.parameter, field.text(raw)});
    }
    return out;
}

} // namespace fms
