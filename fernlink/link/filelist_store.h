// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Saved send queues ("FileLst.dat"): the magic string, then one record per queue row, every
// field an archive string, to the end of the file with no count.
#include "common/archive.h"

#include <QString>

#include <optional>

#include <vector>

namespace vantor::fernlink {

// The file's magic: a blank, the word, a blank; compared exactly and case-sensitively.
inline constexpr char kFileListMagic[] = " Fernlink_FileList_StoreObject ";
inline constexpr char kFileListDefaultName[] = "FileLst.dat";

// One send-queue row, its six columns in declaration order.
struct CFileListItem {
    QString checkMark;   // "  √" or "  ×"
    QString path;        // full PC path
    QString targetName;  // name on the controller
    QString size;        // decimal text
    QString partition;   // "USER", "SYS" or "USB"
    QString state;       // "unsend", "sent", ...

    bool operator==(const CFileListItem&) const = default;
};

struct FileListReadResult {
    enum class Status {
        Ok,            // every record read
        NotOpened,     // the file could not be opened or read
        FormatError,   // the magic is not there: nothing was loaded
        Truncated,     // the records before `error` were read completely and are kept
    };
    Status status = Status::Ok;
    std::vector<CFileListItem> items;  // in file order
    QString error;                     // what went wrong, for the log
};

// Byte form. The record field order on disk is check mark, path, target, size, state, partition.
QByteArray encodeFileList(const std::vector<CFileListItem>& rows);
FileListReadResult decodeFileList(const QByteArray& bytes);

// The first field that GBK cannot hold (it would be stored as '?' and read back as another
// path); nullopt when every field fits.
std::optional<QString> firstTextOutsideGbk(const std::vector<CFileListItem>& rows);

// Writes atomically: a failed save leaves any earlier file as it was. A row with text GBK
// cannot hold is refused, and nothing is written.
ArchiveFileResult saveFileList(const QString& path, const std::vector<CFileListItem>& rows);
FileListReadResult loadFileList(const QString& path);

// Adds loaded rows to the queue as the send page does: each one inserted at the top, in file
// order (so a saved list comes back reversed), skipping rows whose path is already queued
// (compared without regard to case). Returns the skipped paths, one message each.
std::vector<QString> mergeIntoQueue(std::vector<CFileListItem>& queue, const std::vector<CFileListItem>& loaded);

}  // namespace vantor::fernlink
