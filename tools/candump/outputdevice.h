#pragma once

// The descriptor a capture writes to: standard output or a file the capture
// created. It remembers where the last whole record written ends (a line of
// a text format, or for a binary format each whole write: BLF's containers),
// so that after a failed write (full disk) the file can be cut back to whole
// records. A regular file can be sought in, for a format that writes its
// header again at the end.

#include <QIODevice>
#include <QString>

#include <memory>

namespace capture {

class OutputDevice : public QIODevice
{
public:
    static std::unique_ptr<OutputDevice> standardOutput();
    // Creates the file; an existing one (or a link of that name) is never
    // opened. errno tells why when nullptr is returned.
    static std::unique_ptr<OutputDevice> create(const QString &path);
    ~OutputDevice() override;

    bool isSequential() const override { return !regularFile; }
    bool seek(qint64 position) override;
    int lastError() const { return errorNumber; }
    QString path() const { return filePath; }

    // Records are whole writes, not lines (a binary format).
    void setWholeWrites(bool whole) { wholeWrites = whole; }
    // Cuts a regular file back to the end of the last whole record written.
    // Returns the size it is left with (-1 when it is no regular file).
    qint64 cutToWholeRecords();
    // Closes a file of ours, first pushing its data to the disk when asked;
    // false (errno set) on failure.
    bool closeFile(bool sync);

protected:
    qint64 readData(char *, qint64) override { return -1; }
    qint64 writeData(const char *data, qint64 size) override;

private:
    OutputDevice(int descriptor, bool own, const QString &name);

    int fd;
    bool owned;
    QString filePath;
    bool regularFile = false;
    bool wholeWrites = false;
    qint64 offset = 0;    // the descriptor's position
    qint64 recordEnd = 0; // offset just after the last whole record written
    int errorNumber = 0;
};

} // namespace capture
