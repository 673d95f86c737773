// SPDX-License-Identifier: GPL-3.0-or-later
#include "fernlink/link/filelist_store.h"

#include "common/gbk.h"

#include <algorithm>

namespace vantor::fernlink {

QByteArray encodeFileList(const std::vector<CFileListItem>& rows)
{
    ArchiveWriter out;
    out.writeBytes(QByteArrayView(kFileListMagic));
    for (const CFileListItem& row : rows) {
        out.writeString(row.checkMark);
        out.writeString(row.path);
        out.writeString(row.targetName);
        out.writeString(row.size);
        out.writeString(row.state);
        out.writeString(row.partition);
    }
    return out.data();
}

FileListReadResult decodeFileList(const QByteArray& bytes)
{
    FileListReadResult result;
    ArchiveReader in(bytes);
    const auto magic = in.readBytes();
    if (!magic || *magic != QByteArrayView(kFileListMagic)) {
        result.status = FileListReadResult::Status::FormatError;
        result.error = magic ? QStringLiteral("not a transfer list") : in.error();
        return result;
    }
    while (!in.atEnd()) {
        CFileListItem row;
        QString* fields[] = {&row.checkMark, &row.path, &row.targetName, &row.size, &row.state, &row.partition};
        for (QString* field : fields) {
            auto text = in.readString();
            if (!text)
                break;
            *field = *text;
        }
        if (in.failed()) {
            result.status = FileListReadResult::Status::Truncated;
            result.error = in.error();
            break;
        }
        result.items.push_back(std::move(row));
    }
    return result;
}

std::optional<QString> firstTextOutsideGbk(const std::vector<CFileListItem>& rows)
{
    for (const CFileListItem& row : rows)
        for (const QString* field : {&row.checkMark, &row.path, &row.targetName, &row.size, &row.state, &row.partition})
            if (!fitsGbk(*field))
                return *field;
    return std::nullopt;
}

ArchiveFileResult saveFileList(const QString& path, const std::vector<CFileListItem>& rows)
{
    if (const auto bad = firstTextOutsideGbk(rows))
        return {false, QStringLiteral("%1 holds characters that GBK can not hold; the list is not saved").arg(*bad)};
    return saveFileAtomically(path, encodeFileList(rows));
}

FileListReadResult loadFileList(const QString& path)
{
    QString error;
    auto bytes = readWholeFile(path, &error);
    if (!bytes) {
        FileListReadResult result;
        result.status = FileListReadResult::Status::NotOpened;
        result.error = error;
        return result;
    }
    return decodeFileList(*bytes);
}

std::vector<QString> mergeIntoQueue(std::vector<CFileListItem>& queue, const std::vector<CFileListItem>& loaded)
{
    std::vector<QString> skipped;
    for (const CFileListItem& row : loaded) {
        const bool queued = std::any_of(queue.begin(), queue.end(), [&](const CFileListItem& q) {
            return q.path.compare(row.path, Qt::CaseInsensitive) == 0;
        });
        if (queued) {
            skipped.push_back(row.path);
            continue;
        }
        queue.insert(queue.begin(), row);
    }
    return skipped;
}

}  // namespace vantor::fernlink
