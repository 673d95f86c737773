// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Fernport's DNC log: one line per run that ended (time, program, start line, result and,
// for a run that was cut off, the bytes sent, the last line sent and the line to restart
// from), appended to "dnc.log" in the user's data folder, so the restart point is still
// there after the program was closed.
//
// A line: TIME<TAB>dnc<TAB>FILE<TAB>START<TAB>RESULT<TAB>DETAIL
//   TIME "yyyy-MM-dd hh:mm:ss" local time; START the first program line of the run;
//   RESULT completed | interrupted; DETAIL "why; sent N bytes; last line L; restart at line R"
#include <QDateTime>
#include <QString>

namespace vantor::fernport {

struct DncLogEntry {
    QDateTime time;
    QString path;
    qint64 startLine = 1;
    bool completed = false;
    QString why;
    qint64 bytesSent = 0;
    qint64 lastLine = 0;
    qint64 restartLine = 0;

    QString line() const;  // without the line end
};

class DncLog {
public:
    // folder: where dnc.log goes (made at the first line); empty keeps no log.
    explicit DncLog(QString folder = {});
    static QString defaultFolder();

    QString path() const;
    // Every write is checked; false with error() set when the line is not whole on disk
    // (a partial line is cut back off).
    bool append(const DncLogEntry& entry);
    const QString& error() const { return error_; }

private:
    QString folder_;
    QString error_;
};

}  // namespace vantor::fernport
