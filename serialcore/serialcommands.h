// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The controller's serial text commands (xcd, xls, xdel, xdl, xul), paced byte by byte,
// and the readers of what it answers: the prompt after a change of partition and the
// listing after xls.
#include "serialcore/linkport.h"

#include <QByteArray>
#include <QString>

#include <optional>
#include <vector>

namespace vantor {

// Writes the commands through a LinkPort: each byte, then 10 ms; a line feed first waits
// the command's line-end pause. Every call returns false, sending nothing, when the
// command would be longer than the controller accepts.
class SerialCommandTransmitter {
public:
    explicit SerialCommandTransmitter(LinkPort& port, int downloadLinePauseMs);

    bool changePartition(const QString& partition);  // "\nxcd %s\n", lower-cased
    bool list();                                      // "xls\n"
    bool remove(const QString& name);                 // "xdel %s\n"
    bool download(const QString& name, const QString& typeFlag);  // "xdl %s %s\n"
    bool upload(const QString& name, const QString& typeFlag);    // "\n", 50 ms, "xul %s %s\n"
    // The answer to a CAN after xdl: delete what the controller may hold, 100 ms, xdl again.
    bool retryDownload(const QString& name, const QString& typeFlag);

    // "-t" for the user area, "-d" for every other partition.
    static QString typeFlagFor(const QString& partition);
    // The paced bytes of one command line, for callers that write them another way.
    void sendPaced(const QByteArray& text, int linePauseMs);

private:
    LinkPort& port_;
    int downloadLinePauseMs_;
};

// Gathers the text after a change of partition until the prompt character arrives.
class PromptCheck {
public:
    enum class Outcome { Pending, Matched, Mismatched };
    void reset(const QString& partition);
    // Text beyond the buffer's size keeps only its newest part: the prompt is at the end.
    Outcome feed(QByteArrayView chunk);
    QByteArray text() const { return buffer_; }

private:
    QByteArray partition_;
    QByteArray buffer_;
};

struct ListingEntry {
    QString name;
    QString size;  // digits as the listing gives them; empty when there are none
};

// Gathers the reply to xls. It ends at a CAN, or (without CAN) once the echo "xls" has been
// seen and the prompt text "\:" follows the start of the listing.
class ListingCollector {
public:
    // Overflow is no longer reported: a listing longer than the buffer keeps its first part.
    enum class State { Collecting, Complete, Overflow };
    void reset();
    State feed(QByteArrayView chunk);
    // The text of the listing proper (after the echo when there was one).
    QByteArray listing() const;
    bool truncated() const { return truncated_; }

private:
    QByteArray buffer_;
    QByteArray overflowTail_;  // past the buffer: the last byte seen, for an end split across chunks
    bool truncated_ = false;
    State state_ = State::Collecting;
};

// ": " starts a name, TAB ends it; the size is the run of digits after the TAB (one blank
// after the TAB is passed over). Text before the colon and blank is ignored.
std::vector<ListingEntry> parseListing(QByteArrayView text);

// The controller's own files, which a file list never shows.
bool isControllerSystemFile(const QString& name);

}  // namespace vantor
