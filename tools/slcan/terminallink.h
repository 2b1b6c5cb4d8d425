#pragma once

// The symbolic link of vornix-slcan's --link: a fixed name for the
// pseudo-terminal, whose number changes from run to run. An existing symbolic
// link at the path is replaced (pty numbers are reused, so an old one may
// point anywhere); anything else there is left alone and refused. The link is
// removed again when it still points to the terminal.

#include <QString>

namespace slcantool {

class TerminalLink
{
public:
    TerminalLink() = default;
    ~TerminalLink(); // removes the link
    TerminalLink(const TerminalLink &) = delete;
    TerminalLink &operator=(const TerminalLink &) = delete;

    // Puts a link to target at path (made under a temporary name and renamed
    // over it). False, with *error set, when path is something else or the
    // link cannot be made.
    bool make(const QString &path, const QString &target, QString *error);
    // Removes the link if it still points to the target. Safe twice.
    void remove();

private:
    QString path;
    QString target;
};

} // namespace slcantool
