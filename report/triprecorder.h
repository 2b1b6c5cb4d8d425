#pragma once

// What a trip report shows, gathered from a recording a frame at a time: the
// bus summary of the J1939 library (vehicle, control units, fault codes), and
// for each FMS value charted and each of the trip's counters (odometer,
// engine hours, fuel used) what every sender sent of it. Values are decoded
// and scaled by the FMS decoder; a value in J1939's "not available" or
// "error" ranges is kept as a gap, never as a number.
//
// Memory stays bounded whatever the length of the recording: each series is
// reduced to a fixed number of columns, and each value keeps at most
// MAX_SENDERS senders (the engine always among them).

#include "fms/fmsdecoder.h"
#include "j1939/bussummary.h"
#include "report/columnreducer.h"

#include <QSet>
#include <QVector>

namespace formats {
struct CanFrame;
}

namespace report {

// The values charted, in the report's order.
constexpr fms::Parameter CHARTED_VALUES[] = {
    fms::Parameter::WheelBasedVehicleSpeed,
    fms::Parameter::EngineSpeed,
    fms::Parameter::FuelRate,
    fms::Parameter::ThrottlePosition,
    fms::Parameter::EngineCoolantTemperature,
    fms::Parameter::FuelLevel,
    fms::Parameter::AmbientAirTemperature,
    fms::Parameter::AirInletTemperature,
};
constexpr int CHARTED_COUNT = int(sizeof(CHARTED_VALUES) / sizeof(CHARTED_VALUES[0]));

// The engine's source address: its values are charted where senders differ.
constexpr quint8 ENGINE_ADDRESS = 0;

struct SenderSeries {
    quint8 address = 0;
    ColumnReducer columns;
};

struct ValueSeries {
    fms::Parameter parameter = fms::Parameter::EngineSpeed;
    QVector<SenderSeries> senders;  // in the order first heard
    qint64 droppedSenders = 0;      // values of senders beyond MAX_SENDERS
    // The index of the sender the chart shows: the engine when it sent a
    // measurement, else the sender of the most measurements (the lower
    // address on a tie); -1 when no sender sent one.
    int chosen() const;
};

// Totals that only grow, read at the start and the end of the trip.
enum class Counter {
    HighResolutionDistance, // km, PGN 65217 (the FMS panel's total vehicle distance)
    VehicleDistance,        // km, PGN 65248, where no high-resolution distance is sent
    EngineHours,            // h, PGN 65253
    FuelUsed,               // L, total fuel used, PGN 65257
};
constexpr int COUNTER_COUNT = 4;

struct CounterReading {
    quint8 address = 0;
    qint64 measurements = 0;
    double first = 0, last = 0;
    qint64 firstUs = 0, lastUs = 0;
};

struct CounterSeries {
    QVector<CounterReading> senders; // in the order first heard
    // As ValueSeries::chosen().
    int chosen() const;
};

class TripRecorder
{
public:
    static constexpr int MAX_SENDERS = 16;

    // windowed: the report covers a part of the recording; the frames outside
    // it still give the vehicle's identification (addOutside).
    explicit TripRecorder(bool windowed = false, int columns = ColumnReducer::DEFAULT_COLUMNS);

    // A frame of the trip, in the recording's order.
    void add(const formats::CanFrame &frame);
    // A frame outside the trip's time window.
    void addOutside(const formats::CanFrame &frame);
    void finish();

    // The trip's bus summary.
    const j1939::BusSummary &bus() const { return trip; }
    // The vehicle and component identifications of the whole recording.
    const j1939::BusSummary &identification() const { return windowed ? whole : trip; }
    // Distinct identifiers of the trip, standard and extended.
    int identifiers() const { return trip.identifiers() + standardIds.size(); }

    // One per CHARTED_VALUES entry, in that order.
    const QVector<ValueSeries> &values() const { return series; }
    const CounterSeries &counter(Counter which) const { return counters[int(which)]; }

private:
    void value(int index, quint8 source, qint64 timeUs, const fms::Reading &reading);
    void count(Counter which, quint8 source, qint64 timeUs, double value);

    bool windowed;
    int columnCount;
    j1939::BusSummary trip;
    j1939::BusSummary whole;
    QSet<quint32> standardIds;
    QVector<ValueSeries> series;
    CounterSeries counters[COUNTER_COUNT];
};

} // namespace report
