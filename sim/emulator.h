#pragma once

// A CAN adapter emulated in software on a pseudo-terminal: the program opens
// devicePath() like a serial port. The emulator reads the commands the program
// writes (same byte formats as the real adapter: the 20-byte configuration
// command and the identifier filter-list command), starts its traffic on a valid
// configuration, restarts it on every further one, applies the filter list to
// what it sends, and sends 20-byte adapter frames paced at the traffic's timing.
// Bytes that form no valid command are ignored.
//
// One worker thread does all the reading and sending; it sleeps in ppoll()
// until the next frame is due or the program writes something. Frames due
// within the same wake-up go out in one write. When nobody drains the device
// (the program closed the port) the pty buffer fills up and further frames are
// dropped rather than queued, so memory stays bounded and nothing blocks. A
// source that keeps every frame (a replay) is paused instead until there is
// room again, and its late frames go out late.

#include "sim/adapterwire.h"
#include "sim/trafficprofile.h"

#include <QByteArray>
#include <QString>
#include <QVector>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace sim {

class AdapterEmulator
{
public:
    // Takes the traffic to send; the truck profile when none is given.
    explicit AdapterEmulator(std::unique_ptr<TrafficSource> source = nullptr);
    ~AdapterEmulator(); // stops the worker and closes the device
    AdapterEmulator(const AdapterEmulator &) = delete;
    AdapterEmulator &operator=(const AdapterEmulator &) = delete;

    // Opens the pseudo-terminal and starts the worker. False (with *error set)
    // when the device cannot be created.
    bool start(QString *error = nullptr);
    // Stops and joins the worker; the device is closed. Safe to call twice.
    void stop();
    bool isRunning() const { return worker.joinable(); }

    // Path of the device the program opens ("/dev/pts/N"); empty before start.
    QString devicePath() const;

    // Receives one line of text per event (configuration, filter list), on the
    // worker thread. Set before start().
    void setEventHandler(std::function<void(const QString &)> handler);

    struct Stats {
        quint64 framesSent = 0;     // handed to the device
        quint64 framesDropped = 0;  // due but not sent: device full or late
        quint64 framesFiltered = 0; // held back by the filter list or the mask
        quint64 configurations = 0; // valid configuration commands
        quint64 filterCommands = 0; // valid filter-list commands
        quint64 ignoredBytes = 0;   // bytes that formed no command
        double sendingSeconds = 0;  // since the first configuration
        double cpuSeconds = 0;      // CPU time of the worker thread
    };
    Stats stats() const;

    struct FilterState {
        bool enabled = false;
        bool exclude = false;
        QVector<quint32> ids;
    };
    FilterState filterState() const;
    // Bit rate of the last configuration, empty before the first one.
    QString canRate() const;

private:
    void run();
    void applyCommand(const AdapterCommand &command, qint64 nowNs);
    bool passes(quint32 id) const;
    void flushDeviceInput();

    struct Device;
    std::unique_ptr<Device> device;
    std::unique_ptr<TrafficSource> source;
    std::function<void(const QString &)> onEvent;

    std::thread worker;
    int wakeFd = -1; // eventfd: stop request
    std::atomic<bool> stopRequested{false};

    // Worker-only state.
    bool sending = false;
    QByteArray carry;        // rest of a frame that went out only in part
    qint64 epochNs = 0;      // monotonic time of due time 0
    qint64 firstStartNs = 0; // monotonic time of the first configuration
    bool filterOn = false;
    bool filterExclude = false;
    std::vector<quint32> filterSorted;
    quint32 maskFilter = 0;
    quint32 maskBits = 0;

    // Published for other threads.
    mutable std::mutex stateMutex;
    FilterState publishedFilter;
    QString publishedRate;
    std::atomic<quint64> sent{0}, dropped{0}, filtered{0}, configs{0}, filters{0}, ignored{0};
    std::atomic<qint64> firstStartPublished{0};
    std::atomic<qint64> stopNs{0};
    std::atomic<qint64> finalCpuNs{-1};
};

} // namespace sim
