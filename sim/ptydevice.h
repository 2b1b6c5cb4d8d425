#pragma once

// A pseudo-terminal pair opened in this process. The slave side behaves like a
// serial device node (its path can be opened with QSerialPort); the master side
// plays the far end of the cable. The slave is put into raw mode at creation and
// one descriptor of it is held open for the lifetime of the pair, so that the
// line settings survive while the program opens and closes the port, and bytes
// written to the master before the port is opened are kept for it.
// Both descriptors are non-blocking.

#include <QByteArray>
#include <QString>

namespace sim {

class PtyDevice
{
public:
    PtyDevice() = default;
    ~PtyDevice();
    PtyDevice(const PtyDevice &) = delete;
    PtyDevice &operator=(const PtyDevice &) = delete;

    // Creates the pair. Returns false (and leaves nothing open) on failure.
    bool open();
    // Closes both sides.
    void close();
    // Drops whatever the slave side has received but nobody has read yet.
    void flushSlaveInput();
    // Closes only the master: the slave side sees a hang-up, as when the
    // adapter is unplugged.
    void closeMaster();
    // Closes the slave descriptor held since open(): from then on the master
    // sees a hang-up (POLLHUP) whenever no process has the slave open, so that
    // the master's owner can tell when the far end's program came and went.
    // The line settings stay; flushSlaveInput() does nothing any more.
    void releaseSlave();

    bool isOpen() const { return masterFd_ >= 0; }
    QString slavePath() const { return slavePath_; }
    int masterFd() const { return masterFd_; }

    // Reads whatever the master has right now (never blocks) and appends it to
    // out. Returns the number of bytes read, 0 when nothing is there, -1 when
    // the master is closed or failed.
    qint64 readAvailable(QByteArray &out);
    // One non-blocking write to the master. Returns the bytes accepted (possibly
    // fewer than size, 0 when the pty buffer is full), -1 on error.
    qint64 writeSome(const char *data, qint64 size);
    // Writes every byte, waiting with poll() while the pty buffer is full.
    // Gives up (returns false) on an error, or when no byte could be written
    // for timeoutMs.
    bool writeAll(const QByteArray &data, int timeoutMs = 5000);
    // Waits until the master has bytes to read (true) or timeoutMs passed.
    bool waitReadable(int timeoutMs);
    // Waits until the master can take more bytes (true) or timeoutMs passed.
    bool waitWritable(int timeoutMs);

private:
    int masterFd_ = -1;
    int slaveFd_ = -1;
    QString slavePath_;
};

} // namespace sim
