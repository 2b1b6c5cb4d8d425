#pragma once

// Traffic that the adapter emulator puts on its "bus": a source hands out CAN
// frames in the order they are due, each with its due time counted from the
// moment the traffic was (re)started. Sources are used by one thread at a time.
//
//   TruckTraffic  a truck driving a cycle: the nine FMS parameter groups with
//                 consistent, smoothly changing values, plus a few standard frames
//   LoadTraffic   N identifiers at a fixed total rate, payload bytes changing
//   ReplayTraffic a recording at its recorded timing (sim/replaytraffic.h)

#include <QString>
#include <QStringList>
#include <QVector>

#include <array>
#include <memory>

namespace sim {

struct EmulatedFrame {
    quint32 id = 0;
    bool standard = false; // identifier kind 1 on the wire, else kind 2
    quint8 length = 0;     // 0..8
    std::array<quint8, 8> data{};

    QByteArray payload() const;
};

class TrafficSource
{
public:
    virtual ~TrafficSource() = default;
    // Starts over: the next frame is the first one, due times count from 0 again.
    virtual void restart() = 0;
    // False once a finite source has handed out everything.
    virtual bool hasNext() const = 0;
    // Due time of the next frame in nanoseconds since the last restart
    // (non-decreasing from one frame to the next).
    virtual qint64 nextDueNs() const = 0;
    // Hands out the next frame and moves on.
    virtual EmulatedFrame takeNext() = 0;
    // Short description for status lines.
    virtual QString describe() const = 0;
    // Whether every frame must reach the device: the emulator then sends late
    // frames late and waits while the device is full, instead of dropping them.
    virtual bool keepsEveryFrame() const { return false; }
};

class TruckTraffic : public TrafficSource
{
public:
    TruckTraffic();
    // The schedule starts over; the vehicle drives on (its driving cycle,
    // odometer, engine hours and fuel carry on from where they were).
    void restart() override;
    bool hasNext() const override { return true; }
    qint64 nextDueNs() const override;
    EmulatedFrame takeNext() override;
    QString describe() const override;

private:
    // The vehicle's state at the last frame, in physical units.
    struct Vehicle {
        double speedKmh = 0;
        double engineRpm = 600;
        double accelKmhPerS = 0;
        double throttlePercent = 0;
        double fuelRateLh = 0;
        double fuelLevelPercent = 75.0;
        double coolantC = 88.0;
        double ambientC = 18.5;
        double airInletC = 25.0;
        double totalKm = 412345.670;
        double tripKm = 0;
        double engineHours = 12345.60;
        double engineRevolutions = 987654321.0;
        double serviceKm = 42350.0;
        double fuelUsedKg = 0;
    };
    struct Message {
        quint32 id;
        bool standard;
        qint64 periodNs;
        qint64 phaseNs;
        int kind;
        qint64 dueNs;
        quint32 sequence;
    };
    void advanceTo(double seconds);
    EmulatedFrame build(Message &message) const;

    QVector<Message> messages;
    Vehicle state;
    double simSeconds = 0; // vehicle time of the last state update
    double timeBase = 0;   // vehicle time at which the current schedule started
    double lastSpeed = 0;
};

class LoadTraffic : public TrafficSource
{
public:
    // identifiers distinct identifiers (standard 0x100.. interleaved with
    // extended 0x18FF0000..), framesPerSecond in total, round robin.
    LoadTraffic(int identifiers, double framesPerSecond);
    void restart() override { index = 0; }
    bool hasNext() const override { return true; }
    qint64 nextDueNs() const override;
    EmulatedFrame takeNext() override;
    QString describe() const override;

private:
    int count;
    double rate;
    quint64 index = 0;
};

} // namespace sim
