#include "fms/fmsdecoder.h"

#include "link/recordtext.h"

namespace fms {

namespace {

// Every parameter group the decoder knows; a candidate must contain all bits
// of one of them shifted into the PGN field.
constexpr quint32 DECODED_PGNS[] = {
    PgnDashDisplay,        PgnEngineTemperature1, PgnFuelEconomy,
    PgnEngineController1,  PgnServiceInformation, PgnEngineHours,
    PgnHighResVehicleDistance, PgnAmbientConditions, PgnCruiseControlVehicleSpeed,
};

constexpr quint32 LARGEST_STANDARD_ID = 0x7FF;

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

void decodeFuelEconomy(const QStringList &bytes, DecodedValues &out)
{
    quint32 raw = 0;
    if (readLittleEndian(bytes, 0, 2, raw)) {
        const float litresPerHour = float(raw * 0.05);
        out.append({Parameter::FuelRate, fixed(litresPerHour, 1, QStringLiteral(" L/h"))});
    }
    // J1939 gives both economies in km/L (SPN 184, 185), 1/512 km/L per bit.
    if (readLittleEndian(bytes, 2, 2, raw))
        out.append({Parameter::InstantaneousFuelEconomy, fixed(raw / 512.0, 1, QStringLiteral(" km/L"))});
    if (readLittleEndian(bytes, 4, 2, raw))
        out.append({Parameter::AverageFuelEconomy, fixed(raw / 512.0, 1, QStringLiteral(" km/L"))});
    if (readLittleEndian(bytes, 6, 1, raw)) {
        const float percent = float(raw * 0.4);
        out.append({Parameter::ThrottlePosition, fixed(percent, 1, QStringLiteral("%"))});
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
    return (id >> 8) & 0xFFFF;
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
    if (id <= LARGEST_STANDARD_ID)
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
    if (text.isEmpty())
        return 0;
    int value = 0;
    for (QChar c : text) {
        const int digit = recordtext::hexDigitValue(c.unicode());
        if (digit < 0)
            return 0;
        value = ((value << 4) | digit) & 0xFF; // only the low 8 bits matter
    }
    return quint8(value);
}

DecodedValues decode(quint32 pgn, const QStringList &bytes)
{
    DecodedValues out;
    quint32 raw = 0;
    switch (pgn) {
    case PgnDashDisplay:
        if (readLittleEndian(bytes, 1, 1, raw))
            out.append({Parameter::FuelLevel, general(QStringLiteral("%1 %"), raw * 0.4)});
        break;
    case PgnEngineTemperature1:
        if (readLittleEndian(bytes, 0, 1, raw))
            out.append({Parameter::EngineCoolantTemperature, integer(DEGREES_CELSIUS, qint64(raw) - 40)});
        break;
    case PgnFuelEconomy:
        decodeFuelEconomy(bytes, out);
        break;
    case PgnEngineController1:
        if (readLittleEndian(bytes, 3, 2, raw))
            out.append({Parameter::EngineSpeed, general(QStringLiteral("%1 rpm"), raw * 0.125)});
        break;
    case PgnServiceInformation:
        if (readLittleEndian(bytes, 1, 2, raw))
            out.append({Parameter::ServiceDistance,
                        integer(QStringLiteral("%1 km"), qint64(raw) * 5 - 160635)});
        break;
    case PgnEngineHours:
        if (readLittleEndian(bytes, 0, 4, raw))
            out.append({Parameter::TotalEngineHours, general(QStringLiteral("%1 h"), raw * 0.05)});
        break;
    case PgnHighResVehicleDistance:
        if (readLittleEndian(bytes, 0, 4, raw)) {
            // 5 m per bit; the product needs more than 32 bits.
            const qint64 metres = qint64(raw) * 5;
            const float kilometres = float(metres) / 1000.0f;
            out.append({Parameter::TotalVehicleDistance, fixed(kilometres, 3, QStringLiteral(" km"))});
        }
        break;
    case PgnAmbientConditions:
        if (readLittleEndian(bytes, 3, 2, raw))
            out.append({Parameter::AmbientAirTemperature, general(DEGREES_CELSIUS, raw * 0.03125 - 273)});
        if (readLittleEndian(bytes, 5, 1, raw))
            out.append({Parameter::AirInletTemperature, integer(DEGREES_CELSIUS, qint64(raw) - 40)});
        break;
    case PgnCruiseControlVehicleSpeed:
        if (readLittleEndian(bytes, 1, 2, raw))
            out.append({Parameter::WheelBasedVehicleSpeed, fixed(raw / 256.0, 3, QStringLiteral(" km/h"))});
        break;
    default:
        break;
    }
    return out;
}

} // namespace fms
