#include "sim/trafficprofile.h"

#include <algorithm>
#include <cmath>

namespace sim {

QByteArray EmulatedFrame::payload() const
{
    return QByteArray(reinterpret_cast<const char *>(data.data()), length);
}

namespace {

constexpr double PI = 3.14159265358979323846;
constexpr qint64 MS = 1000000; // nanoseconds

quint8 clampByte(double value)
{
    return quint8(std::clamp(std::lround(value), 0L, 250L));
}

quint16 clampRaw16(double value)
{
    return quint16(std::clamp(std::llround(value), 0LL, 0xFAFFLL));
}

quint32 clampRaw32(double value)
{
    return quint32(std::clamp(std::llround(value), 0LL, 0xFAFFFFFFLL));
}

void put16(EmulatedFrame &f, int offset, quint16 value)
{
    f.data[offset] = quint8(value & 0xFF);
    f.data[offset + 1] = quint8(value >> 8);
}

void put32(EmulatedFrame &f, int offset, quint32 value)
{
    for (int i = 0; i < 4; ++i)
        f.data[offset + i] = quint8((value >> (8 * i)) & 0xFF);
}

void fill(EmulatedFrame &f, quint8 value)
{
    f.data.fill(value);
}

// Scaled temperature of the 0.03125 °C / bit, -273 °C offset parameters.
quint16 kelvinRaw(double celsius)
{
    return clampRaw16((celsius + 273.0) / 0.03125);
}

enum Kind {
    EEC1,    // 0xF004 engine speed, torque
    CCVS,    // 0xFEF1 wheel-based speed
    LFE,     // 0xFEF2 fuel rate, economy, throttle
    EBC1,    // 0xF001 brake pedal (not an FMS group)
    DD,      // 0xFEFC fuel level
    ET1,     // 0xFEEE coolant temperature
    AMB,     // 0xFEF5 ambient and air inlet temperature
    HRVD,    // 0xFEC1 total vehicle distance
    HOURS,   // 0xFEE5 engine hours
    SERV,    // 0xFEC0 service distance
    COUNTER, // standard: 32-bit counter
    STATUS,  // standard: some bytes change every frame, others never
    OBD,     // standard: constant diagnostic request
    ZEROS,   // standard: eight zero bytes
    EMPTY,   // standard: no data
};

// Driving cycle: (seconds, km/h) corners, eased in between; repeats.
struct CyclePoint {
    double t;
    double v;
};
const CyclePoint CYCLE[] = {
    {0, 0},    {8, 0},    {23, 35},  {45, 50},  {60, 50},  {80, 85},  {120, 85},
    {135, 60}, {150, 60}, {165, 20}, {176, 0},  {180, 0},
};
constexpr double CYCLE_LENGTH = 180.0;

// Gear bands (km/h): the engine runs from about 950 to 1750 rpm in each.
const double GEAR_EDGES[] = {0, 10, 20, 32, 46, 62, 86};

double engineTarget(double speed, double t)
{
    if (speed < 0.5)
        return 600.0 + 7.5 * (1.0 + std::sin(2 * PI * t / 3.0)); // idle 600-615
    const int bands = int(sizeof GEAR_EDGES / sizeof GEAR_EDGES[0]) - 1;
    for (int g = 0; g < bands; ++g) {
        if (speed < GEAR_EDGES[g + 1] || g == bands - 1) {
            const double frac = (speed - GEAR_EDGES[g]) / (GEAR_EDGES[g + 1] - GEAR_EDGES[g]);
            return 950.0 + std::clamp(frac, 0.0, 1.0) * 800.0;
        }
    }
    return 950.0;
}

// Target speed of the driving cycle (km/h) at cycle time t seconds.
double cycleSpeed(double t)
{
    t = std::fmod(std::max(t, 0.0), CYCLE_LENGTH);
    const int n = int(sizeof CYCLE / sizeof CYCLE[0]);
    for (int i = 0; i + 1 < n; ++i) {
        const CyclePoint &a = CYCLE[i];
        const CyclePoint &b = CYCLE[i + 1];
        if (t <= b.t) {
            const double u = (t - a.t) / (b.t - a.t);
            const double s = u * u * (3.0 - 2.0 * u);
            return a.v + (b.v - a.v) * s;
        }
    }
    return 0.0;
}

} // namespace

// ---------------------------------------------------------------- truck

TruckTraffic::TruckTraffic()
{
    // identifier, standard, period ms, phase ms, kind
    struct Def {
        quint32 id;
        bool standard;
        int periodMs;
        int phaseMs;
        int kind;
    };
    // Engine controller at source address 0x00, instrument cluster at 0x17,
    // brake controller at 0x0B; J1939 priorities 3 (EEC1) and 6.
    const Def defs[] = {
        {0x0CF00400, false, 20, 0, EEC1},   {0x18FEF100, false, 100, 3, CCVS},
        {0x18FEF200, false, 100, 7, LFE},   {0x18F0010B, false, 100, 11, EBC1},
        {0x18FEFC17, false, 1000, 13, DD},  {0x18FEEE00, false, 1000, 17, ET1},
        {0x18FEF517, false, 1000, 23, AMB}, {0x18FEC117, false, 1000, 29, HRVD},
        {0x18FEE500, false, 2000, 31, HOURS}, {0x18FEC017, false, 5000, 37, SERV},
        {0x100, true, 100, 2, COUNTER},     {0x2A0, true, 50, 5, STATUS},
        {0x7DF, true, 1000, 41, OBD},       {0x3F0, true, 500, 43, ZEROS},
        {0x050, true, 1000, 47, EMPTY},
    };
    for (const Def &d : defs)
        messages.append(Message{d.id, d.standard, d.periodMs * MS, d.phaseMs * MS, d.kind,
                                d.phaseMs * MS, 0});
}

void TruckTraffic::restart()
{
    timeBase = simSeconds;
    for (Message &m : messages) {
        m.dueNs = m.phaseNs;
        m.sequence = 0;
    }
}

qint64 TruckTraffic::nextDueNs() const
{
    qint64 due = messages.first().dueNs;
    for (const Message &m : messages)
        due = std::min(due, m.dueNs);
    return due;
}

EmulatedFrame TruckTraffic::takeNext()
{
    int best = 0;
    for (int i = 1; i < messages.size(); ++i) {
        if (messages.at(i).dueNs < messages.at(best).dueNs)
            best = i;
    }
    Message &m = messages[best];
    advanceTo(timeBase + double(m.dueNs) / 1e9);
    const EmulatedFrame frame = build(m);
    m.dueNs += m.periodNs;
    ++m.sequence;
    return frame;
}

QString TruckTraffic::describe() const
{
    return QStringLiteral("truck (%1 identifiers, FMS parameter groups and standard frames)")
        .arg(messages.size());
}

void TruckTraffic::advanceTo(double seconds)
{
    // Integrate in steps of at most 100 ms so that a long gap is handled like
    // many short ones.
    while (seconds > simSeconds) {
        const double dt = std::min(0.1, seconds - simSeconds);
        simSeconds += dt;
        const double tc = simSeconds;

        double v = cycleSpeed(tc);
        if (v > 5.0) // a driver never holds the speed exactly
            v += 0.6 * std::sin(2 * PI * tc / 7.3) * std::min(1.0, v / 20.0);
        v = std::clamp(v, 0.0, 85.0);
        const double a = (v - lastSpeed) / dt;
        lastSpeed = v;

        Vehicle &s = state;
        s.speedKmh = v;
        s.accelKmhPerS = a;
        const double target = engineTarget(v, simSeconds);
        s.engineRpm += (target - s.engineRpm) * (1.0 - std::exp(-dt / 0.3));
        s.engineRpm = std::clamp(s.engineRpm, 600.0, 1800.0);

        if (v < 0.5 || a < -0.4)
            s.throttlePercent = 0;
        else
            s.throttlePercent = std::clamp(12.0 + v * 0.35 + a * 18.0, 0.0, 100.0);
        if (v < 0.5)
            s.fuelRateLh = 2.4;
        else if (s.throttlePercent <= 0)
            s.fuelRateLh = 0.8; // overrun
        else
            s.fuelRateLh = 4.0 + v * 0.22 + s.throttlePercent * 0.18;

        // The tank drains faster than in reality (1 % per minute at 20 L/h), so
        // that the gauge visibly moves; a near-empty tank is filled up again.
        s.fuelLevelPercent -= s.fuelRateLh / 20.0 * dt / 60.0;
        if (s.fuelLevelPercent < 8.0)
            s.fuelLevelPercent = 80.0;
        s.fuelUsedKg += s.fuelRateLh * 0.84 * dt / 3600.0;

        const double km = v * dt / 3600.0;
        s.totalKm += km;
        s.tripKm += km;
        s.serviceKm -= km;
        s.engineHours += dt / 3600.0;
        s.engineRevolutions += s.engineRpm * dt / 60.0;

        s.coolantC = std::clamp(88.0 + 3.0 * std::sin(2 * PI * simSeconds / 300.0)
                                    + (s.throttlePercent - 30.0) * 0.02,
                                85.0, 92.0);
        s.ambientC = 18.5 + 1.2 * std::sin(2 * PI * simSeconds / 900.0);
        s.airInletC = s.ambientC + 6.0 + v * 0.08 + s.throttlePercent * 0.05;
    }
}

EmulatedFrame TruckTraffic::build(Message &m) const
{
    const Vehicle &s = state;
    EmulatedFrame f;
    f.id = m.id;
    f.standard = m.standard;
    f.length = 8;
    fill(f, 0xFF);
    switch (m.kind) {
    case EEC1:
        f.data[0] = quint8(0xF0 | (s.throttlePercent > 0 ? 0x01 : 0x00));
        f.data[1] = clampByte(125 + s.throttlePercent * 0.9);
        f.data[2] = clampByte(125 + s.throttlePercent * 0.85);
        put16(f, 3, clampRaw16(s.engineRpm / 0.125));
        f.data[5] = 0x00;
        f.data[6] = 0xF0;
        f.data[7] = clampByte(125 + s.throttlePercent * 0.8);
        break;
    case CCVS:
        f.data[0] = s.speedKmh < 0.5 ? 0xF7 : 0xF3; // parking brake set at standstill
        put16(f, 1, clampRaw16(s.speedKmh * 256.0));
        f.data[3] = s.accelKmhPerS < -0.4 ? 0x10 : 0x00; // brake switch
        f.data[4] = 0x00;
        f.data[5] = 0x00;
        f.data[6] = 85; // cruise control set speed
        break;
    case LFE: {
        put16(f, 0, clampRaw16(s.fuelRateLh / 0.05));
        const double instant =
            s.speedKmh > 1.0 ? std::min(120.0, s.speedKmh / (s.fuelRateLh * 0.84)) : 0.0;
        const double average = (s.tripKm + 300.0) / (s.fuelUsedKg + 300.0 / 3.1);
        put16(f, 2, clampRaw16(instant * 512.0));
        put16(f, 4, clampRaw16(average * 512.0));
        f.data[6] = clampByte(s.throttlePercent / 0.4);
        break;
    }
    case EBC1:
        f.data[0] = 0xF0;
        f.data[1] = clampByte(s.accelKmhPerS < -0.4 ? std::min(100.0, -s.accelKmhPerS * 25.0) / 0.4 : 0.0);
        f.data[2] = 0x00;
        break;
    case DD:
        f.data[1] = clampByte(s.fuelLevelPercent / 0.4);
        break;
    case ET1: {
        f.data[0] = clampByte(s.coolantC + 40.0);
        f.data[1] = clampByte(42.0 + 40.0); // fuel temperature
        put16(f, 2, kelvinRaw(s.coolantC + 8.0)); // engine oil temperature
        break;
    }
    case AMB:
        f.data[0] = 202; // barometric pressure 101 kPa
        put16(f, 1, kelvinRaw(21.5)); // cab interior
        put16(f, 3, kelvinRaw(s.ambientC));
        f.data[5] = clampByte(s.airInletC + 40.0);
        break;
    case HRVD:
        put32(f, 0, clampRaw32(s.totalKm * 200.0)); // 5 m per bit
        put32(f, 4, clampRaw32(s.tripKm * 200.0));
        break;
    case HOURS:
        put32(f, 0, clampRaw32(s.engineHours / 0.05));
        put32(f, 4, clampRaw32(s.engineRevolutions / 1000.0));
        break;
    case SERV:
        f.data[0] = 0x01;
        put16(f, 1, clampRaw16((s.serviceKm + 160635.0) / 5.0));
        break;
    case COUNTER:
        f.length = 4;
        put32(f, 0, m.sequence);
        break;
    case STATUS:
        f.data[0] = quint8(((m.sequence & 0x0F) << 4) | 0x05);
        f.data[1] = clampByte(125.0 + 100.0 * std::sin(2 * PI * m.sequence / 40.0));
        f.data[2] = quint8((m.sequence / 20) & 0xFF);
        f.data[3] = 0x00;
        f.data[4] = 0x12;
        f.data[5] = 0x34;
        f.data[6] = 0x56;
        f.data[7] = 0x78;
        break;
    case OBD:
        fill(f, 0x55);
        f.data[0] = 0x02;
        f.data[1] = 0x01;
        f.data[2] = 0x0C;
        break;
    case ZEROS:
        fill(f, 0x00);
        break;
    case EMPTY:
        fill(f, 0x00);
        f.length = 0;
        break;
    }
    return f;
}

// ---------------------------------------------------------------- load

namespace {

// Identifier and kind of slot i of the load profile.
EmulatedFrame slotFrame(int i)
{
    EmulatedFrame f;
    if (i % 2 == 0 && i / 2 < 0x700) {
        f.id = 0x100 + quint32(i / 2);
        f.standard = true;
    } else {
        f.id = 0x18FF0000u + quint32(i);
        f.standard = false;
    }
    return f;
}

} // namespace


LoadTraffic::LoadTraffic(int identifiers, double framesPerSecond)
    : count(std::max(1, identifiers))
    , rate(std::max(1.0, framesPerSecond))
{
}

qint64 LoadTraffic::nextDueNs() const
{
    return qint64(double(index) * 1e9 / rate);
}

EmulatedFrame LoadTraffic::takeNext()
{
    const quint64 k = index++;
    const int slot = int(k % quint64(count));
    const quint32 round = quint32(k / quint64(count));
    EmulatedFrame f = slotFrame(slot);
    f.length = 8;
    put32(f, 0, round);
    f.data[4] = quint8(slot & 0xFF);
    f.data[5] = quint8((k * 37) & 0xFF);
    f.data[6] = quint8((round * 13 + quint32(slot)) & 0xFF);
    quint64 x = k * 0x9E3779B97F4A7C15ull;
    x ^= x >> 29;
    f.data[7] = quint8(x & 0xFF);
    return f;
}

QString LoadTraffic::describe() const
{
    return QStringLiteral("load (%1 identifiers at %2 frames/s)").arg(count).arg(rate);
}

} // namespace sim
