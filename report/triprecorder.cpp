#include "report/triprecorder.h"

#include "core/littleendian.h"
#include "formats/frameio.h"
#include "j1939/identifier.h"

namespace report {

namespace {

// The counters the FMS decoder does not read: where their raw value lies in
// its group's message (four bytes, little-endian) and its scale.
struct CounterField {
    quint32 pgn;
    Counter counter;
    int firstByte;
    double factor;
};
const CounterField COUNTER_FIELDS[] = {
    {65248, Counter::VehicleDistance, 4, 0.125}, // total vehicle distance, SPN 245
    {65257, Counter::FuelUsed, 4, 0.5},          // engine total fuel used, SPN 250
};

// The engine when it sent a measurement, else the most measurements.
template <typename Senders, typename Count>
int choose(const Senders &senders, Count measurements)
{
    int best = -1;
    for (int i = 0; i < senders.size(); ++i) {
        const qint64 n = measurements(senders.at(i));
        if (n == 0)
            continue;
        if (senders.at(i).address == ENGINE_ADDRESS)
            return i;
        if (best < 0 || n > measurements(senders.at(best))
            || (n == measurements(senders.at(best)) && senders.at(i).address < senders.at(best).address))
            best = i;
    }
    return best;
}

} // namespace

int ValueSeries::chosen() const
{
    return choose(senders, [](const SenderSeries &s) { return s.columns.measurements(); });
}

int CounterSeries::chosen() const
{
    return choose(senders, [](const CounterReading &r) { return r.measurements; });
}

TripRecorder::TripRecorder(bool windowed, int columns)
    : windowed(windowed)
    , columnCount(columns)
{
    for (fms::Parameter parameter : CHARTED_VALUES) {
        ValueSeries s;
        s.parameter = parameter;
        series.append(s);
    }
}

void TripRecorder::addOutside(const formats::CanFrame &frame)
{
    whole.add(frame.timeUs, frame.id, frame.extended, reinterpret_cast<const quint8 *>(frame.data.constData()),
              frame.data.size());
}

void TripRecorder::add(const formats::CanFrame &frame)
{
    const auto *data = reinterpret_cast<const quint8 *>(frame.data.constData());
    const int size = frame.data.size();
    trip.add(frame.timeUs, frame.id, frame.extended, data, size);
    if (windowed)
        whole.add(frame.timeUs, frame.id, frame.extended, data, size);
    if (!frame.extended) {
        if (standardIds.size() < j1939::BusSummary::MAX_IDENTIFIERS)
            standardIds.insert(frame.id);
        return;
    }
    if (frame.remote)
        return;
    const quint32 pgn = j1939::pgn(frame.id);
    const quint8 source = j1939::sourceAddress(frame.id);
    fms::Reading readings[fms::MAX_READINGS];
    const int n = fms::read(pgn, data, size, readings);
    for (int r = 0; r < n; ++r) {
        const fms::Reading &reading = readings[r];
        if (reading.parameter == fms::Parameter::TotalVehicleDistance) {
            if (reading.valid)
                count(Counter::HighResolutionDistance, source, frame.timeUs, reading.value);
        } else if (reading.parameter == fms::Parameter::TotalEngineHours) {
            if (reading.valid)
                count(Counter::EngineHours, source, frame.timeUs, reading.value);
        } else {
            for (int i = 0; i < CHARTED_COUNT; ++i) {
                if (CHARTED_VALUES[i] == reading.parameter)
                    value(i, source, frame.timeUs, reading);
            }
        }
    }
    for (const CounterField &field : COUNTER_FIELDS) {
        if (field.pgn != pgn || size < field.firstByte + 4)
            continue;
        const auto raw = quint32(core::littleEndian(frame.data.constData() + field.firstByte, 4));
        if (fms::isMeasurement(raw, 4))
            count(field.counter, source, frame.timeUs, raw * field.factor);
    }
}

void TripRecorder::finish()
{
    trip.finish();
    whole.finish();
}

void TripRecorder::value(int index, quint8 source, qint64 timeUs, const fms::Reading &reading)
{
    ValueSeries &s = series[index];
    SenderSeries *sender = nullptr;
    for (SenderSeries &candidate : s.senders) {
        if (candidate.address == source) {
            sender = &candidate;
            break;
        }
    }
    if (!sender) {
        // The engine is let in past the limit: its values are the ones shown.
        if (s.senders.size() >= MAX_SENDERS && source != ENGINE_ADDRESS) {
            ++s.droppedSenders;
            return;
        }
        s.senders.append({source, ColumnReducer(trip.firstUs(), columnCount)});
        sender = &s.senders.last();
    }
    if (reading.valid)
        sender->columns.add(timeUs, reading.value);
    else
        sender->columns.addGap(timeUs);
}

void TripRecorder::count(Counter which, quint8 source, qint64 timeUs, double value)
{
    QVector<CounterReading> &senders = counters[int(which)].senders;
    for (CounterReading &r : senders) {
        if (r.address == source) {
            ++r.measurements;
            r.last = value;
            r.lastUs = timeUs;
            return;
        }
    }
    if (senders.size() >= MAX_SENDERS && source != ENGINE_ADDRESS)
        return;
    senders.append({source, 1, value, value, timeUs, timeUs});
}

} // namespace report
