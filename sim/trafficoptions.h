#pragma once

// The options that choose and shape the traffic of a simulated adapter, read
// in this one place for the window (--demo, --replay) and for
// vornix-adapter-emulator (--profile):
//   --rate N       frames per second in total of the load profile (1 to 100000)
//   --ids N        identifiers of the load profile (1 to 100000)
//   --replay FILE  a recording played at its recorded timing
//   --loop         the replay over and over
//   --speed F      the replay F times as fast (0.1 to 100)
//   --start S      the first S seconds of the replay skipped
// Which profile plays and which options go together each program says in
// its own terms, and the texts of its --help are its own.

#include "sim/replaytraffic.h"

#include <QCommandLineOption>
#include <QString>

#include <memory>

class QCommandLineParser;

namespace sim {

inline const QString RATE_OPTION = QStringLiteral("rate");
inline const QString IDS_OPTION = QStringLiteral("ids");
inline const QString REPLAY_OPTION = QStringLiteral("replay");
inline const QString LOOP_OPTION = QStringLiteral("loop");
inline const QString SPEED_OPTION = QStringLiteral("speed");
inline const QString START_OPTION = QStringLiteral("start");

struct TrafficOptions {
    enum class Profile { Truck, Load, Replay };
    Profile profile = Profile::Truck;
    int loadRate = 1000; // frames per second in total
    int loadIds = 64;    // distinct identifiers
    ReplaySettings replay;
};

// The option `name` (one of the above) with the name of its value ("N",
// "FILE", "F", "S"), described by `description`.
QCommandLineOption trafficOption(const QString &name, const QString &description);

// Reads --rate, --ids, --replay, --loop, --speed and --start, those that are
// given, into `options`; the profile is left to the caller. False, with
// *error set ("--rate takes a whole number from 1 to 100000, not "0""), at
// the first value out of its range.
bool readTrafficOptions(const QCommandLineParser &parser, TrafficOptions &options, QString *error);

// The option's value as a number from `low` to `high` ("--speed takes a
// number from 0.1 to 100, not "200"" in *error otherwise); true, leaving
// `value` alone, when the option is not given.
bool readNumberOption(const QCommandLineParser &parser, const QString &name, double low, double high, double &value,
                      QString *error);

// The traffic the options ask for; nullptr, with *error set, when a replay
// cannot be played.
std::unique_ptr<TrafficSource> openTraffic(const TrafficOptions &options, QString *error);

} // namespace sim
