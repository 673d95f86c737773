// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The transfer log on disk: one line per file that went to or came from the controller
// (and per DNC stream and delete), appended to a file of the day in the user's data folder,
// so what happened at the machine can be looked up after the program was closed. The window
// and fernlink-cli write the same lines.
//
// A line: TIME<TAB>LINK<TAB>DIRECTION<TAB>FILE<TAB>SIZE<TAB>CRC32<TAB>RESULT<TAB>REASON
//   TIME       "yyyy-MM-dd hh:mm:ss", local time
//   LINK       serial | ethernet
//   DIRECTION  send | receive | delete | dnc
//   FILE       the PC path and the controller's name ("PATH -> AREA/NAME"), or the name alone
//   SIZE       bytes (decimal); CRC32 of those bytes, 8 hex digits ("-" when not known)
//   RESULT     ok | failed;   REASON  what the row or the message said (empty when ok)
#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QString>

#include <cstdint>
#include <optional>

namespace vantor::fernlink {

// CRC-32 (the common polynomial 0xEDB88320, reflected, initial and final ~0), so a file's
// log line can be checked against the file with everyday tools.
std::uint32_t crc32(QByteArrayView bytes, std::uint32_t crc = 0);

struct TransferRecord {
    enum class Direction { Send, Receive, Delete, Dnc };
    QDateTime time;
    bool ethernet = false;
    Direction direction = Direction::Send;
    QString file;
    qint64 size = -1;               // -1: not known
    std::optional<std::uint32_t> crc;
    bool ok = false;
    QString reason;

    QString line() const;  // without the line end
};

// Fernlink's data folder (accounts, user log, transfer log) when none is given.
QString fernlinkDataFolder();
// Where the transfer log of a data folder lies.
QString transferLogFolder(const QString& dataFolder);

class TransferLog {
public:
    // folder: where the files of the days go (made when the first line is written).
    explicit TransferLog(QString folder = {});

    const QString& folder() const { return folder_; }
    QString pathFor(const QDate& day) const;

    // Appends one line to the file of the record's day. Every write is checked; false with
    // error() set when the line is not whole on disk (the file keeps what it had).
    bool append(const TransferRecord& record);
    const QString& error() const { return error_; }

    // The lines of a day's file as they are on disk (empty when there is none).
    QByteArray read(const QDate& day) const;
    // A copy of a day's file at `target`, written atomically.
    bool exportDay(const QDate& day, const QString& target);

private:
    QString folder_;
    QString error_;
};

}  // namespace vantor::fernlink
