#pragma once

// Decoding of the SAE J1939 Fleet Management System (FMS) parameter groups
// shown in the FMS panel. Widget-free: the window's slots hand the results to
// the value labels, tests call these functions directly.

#include <QList>
#include <QString>
#include <QStringList>

namespace fms {

// The nine parameter groups the panel decodes.
enum Pgn : quint32 {
    PgnEngineController1 = 0xF004, // EEC1: engine speed
    PgnServiceInformation = 0xFEC0, // service distance
    PgnHighResVehicleDistance = 0xFEC1, // total vehicle distance
    PgnEngineHours = 0xFEE5, // total engine hours
    PgnEngineTemperature1 = 0xFEEE, // engine coolant temperature
    PgnCruiseControlVehicleSpeed = 0xFEF1, // wheel-based vehicle speed
    PgnFuelEconomy = 0xFEF2, // fuel rate, economy, throttle
    PgnAmbientConditions = 0xFEF5, // ambient and air inlet temperature
    PgnDashDisplay = 0xFEFC, // fuel level
};

// One value label of the panel.
enum class Parameter {
    FuelLevel,
    EngineCoolantTemperature,
    FuelRate,
    InstantaneousFuelEconomy,
    AverageFuelEconomy,
    ThrottlePosition,
    EngineSpeed,
    ServiceDistance,
    TotalEngineHours,
    TotalVehicleDistance,
    AmbientAirTemperature,
    AirInletTemperature,
    WheelBasedVehicleSpeed,
};

struct DecodedValue {
    Parameter parameter;
    QString text;
};
using DecodedValues = QList<DecodedValue>;

// Object name of the value label that shows a parameter.
QString valueLabelName(Parameter parameter);

// PF and PS of an identifier, bits 8 to 23 (source address, priority and data
// pages dropped): the J1939 PGN of every group decoded here.
quint32 pgnOf(quint32 id);

// True for the nine parameter groups above.
bool isDecodedPgn(quint32 pgn);

// True when the identifier contains every set bit of one of the nine values
// PGN * 256. Admits a few identifiers of other groups (the decoder skips
// them); never true for a standard 11-bit identifier.
bool isCandidate(quint32 id);

// Data bytes of a payload text ("01 A2 FF "): trimmed, split at single blanks,
// empty parts kept. A payload without data gives an empty list.
QStringList byteTexts(const QString &payloadText);

// Reads one byte text as hexadecimal; a text that is not hexadecimal gives 0,
// and only the low 8 bits are kept.
quint8 byteValue(const QString &text);

// True for a raw J1939 value of `width` bytes (1, 2 or 4) that is a
// measurement: not in the reserved, "error" and "not available" ranges above
// 0xFA, 0xFAFF or 0xFAFFFFFF.
bool isMeasurement(quint32 raw, int width);

// Which raw values decode: all of them, scaled like any measurement, or only
// the measurements (isMeasurement).
enum class Range { All, ValidOnly };

// Decodes the parameters of one parameter group from its byte texts, in label
// order (0xFEF2: fuel rate, instantaneous economy, average economy, throttle;
// 0xFEF5: ambient before air inlet). A parameter whose bytes lie beyond the end
// of the list, or whose raw value the range leaves out, is left out, so its
// label keeps its text. Unknown groups give an empty list.
DecodedValues decode(quint32 pgn, const QStringList &bytes, Range range = Range::All);

// A parameter's value as a number, in the unit of its label text (%, \u00B0C,
// L/h, km/L, rpm, km, h, km/h).
struct Reading {
    Parameter parameter;
    double value;
    bool valid; // a measurement; false for a reserved, "error" or "not available" raw value
};

// The most parameters one group carries (fuel economy: four).
constexpr int MAX_READINGS = 4;

// The parameters of one group from its data bytes, in label order, into
// out[0..MAX_READINGS), scaled like decode() scales them (invalid ones too,
// marked). A parameter whose bytes lie beyond size is left out; unknown
// groups give none. Returns how many were written.
int read(quint32 pgn, const quint8 *data, int size, Reading *out);

} // namespace fms
