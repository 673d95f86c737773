// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Where a Fernport DNC stream starts and where it can start again: the start line (asked
// for, or offered from the run that was cut off last), the safe header that goes first when
// the stream does not start at line 1, and the restart point of an interrupted run. Plain
// logic on the wire bytes of the program; the window only feeds it and shows its answers.
#include "common/prompter.h"
#include "serialcore/dncrestart.h"

#include <QByteArray>
#include <QString>

#include <optional>
#include <vector>

namespace vantor::fernport {

// What one run puts on the wire: the header, then the program from its start line on.
struct DncPlan {
    QByteArray program;  // the whole program as the wire carries it
    qint64 startLine = 1;
    qint64 offset = 0;   // where startLine begins in program
    QByteArray header;
    QByteArray stream() const { return header + program.mid(offset); }
};

// custom: the user's header as typed (its line ends become the program's).
DncPlan planDnc(QByteArray program, qint64 startLine, dnc::HeaderMode mode, const QString& custom);

// The number of lines of a program (the DNC line rule; 0 for an empty program).
qint64 dncLineCount(QByteArrayView program);

// Where an interrupted run can go on.
struct DncRestartPoint {
    QString path;
    qint64 line = 0;          // the first line the controller does not have whole; 0: none
    qint64 bytesSent = 0;     // bytes of the stream that went out
    bool valid() const { return line > 0 && !path.isEmpty(); }
    // The last line of the program the controller has whole (0: none of it).
    qint64 lastLineSent() const { return line > 1 ? line - 1 : 0; }
};

// taken: bytes of the stream the controller has whole. A point past the program's end is
// none: the run had delivered everything.
DncRestartPoint restartPointAfter(const DncPlan& plan, const QString& path, qint64 taken, qint64 bytesSent);

// Splits wire bytes into lines that keep their line ends (the last one may have none).
std::vector<QByteArray> splitWireLines(QByteArrayView bytes);

// The start line of a new run of `path`: the restart point of this program is offered
// first; otherwise line 1, or (askLine) the line or N block number the user gives.
// Nullopt when the user cancels or gives a point the program does not have.
std::optional<qint64> chooseDncStartLine(Prompter& prompter, const DncRestartPoint& offer, const QString& path,
                                         QByteArrayView program, bool askLine);

}  // namespace vantor::fernport
