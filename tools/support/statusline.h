#pragma once

// A status line on standard error, only on a terminal: the text of the
// moment, rewritten in place ("1000 frames/s  5000 frames ..."), and cleared
// before the program's last words.

#include <QString>

namespace tool {

class StatusLine
{
public:
    StatusLine();
    StatusLine(const StatusLine &) = delete;
    StatusLine &operator=(const StatusLine &) = delete;

    // Whether standard error is a terminal (a line is shown at all).
    bool onTerminal() const { return terminal; }
    // Replaces the line with `text` (nothing when not on a terminal).
    void show(const QString &text);
    // Clears a line that was shown.
    void clear();

private:
    bool terminal;
    bool shown = false;
};

} // namespace tool
