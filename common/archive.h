// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The object-store file shared by the transfer lists, users.dat and userlog.dat:
// a header string, then records up to the end of the file, with no count.
//
// Strings carry a length prefix and then their GBK bytes with no terminator:
//   length < 0xFF            -> 1 byte
//   length < 0xFFFE          -> 0xFF, then u16 little-endian
//   otherwise                -> 0xFF, 0xFFFF, then u32 little-endian
// Integers are 32-bit little-endian.
#include "common/atomicfile.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>

namespace vantor {

class ArchiveWriter {
public:
    void writeString(const QString& text);     // GBK-encoded
    void writeBytes(QByteArrayView raw);        // already in the code page
    void writeInt32(std::int32_t value);
    void writeUInt32(std::uint32_t value);
    const QByteArray& data() const { return buffer_; }

private:
    QByteArray buffer_;
};

// Reads never run past the end: a field that does not fit in what remains leaves the
// reader failed (error() says why) and every later read fails too.
class ArchiveReader {
public:
    // maxStringBytes bounds a single string, so a hostile length cannot make us allocate gigabytes.
    // The reader keeps its own (shared, not copied) reference, so a temporary argument is safe.
    explicit ArchiveReader(QByteArray data, qsizetype maxStringBytes = 16 * 1024 * 1024);

    std::optional<QString> readString();
    std::optional<QByteArray> readBytes();
    std::optional<std::int32_t> readInt32();
    std::optional<std::uint32_t> readUInt32();

    bool atEnd() const { return pos_ >= data_.size(); }
    bool failed() const { return !error_.isEmpty(); }
    const QString& error() const { return error_; }
    qsizetype position() const { return pos_; }
    qsizetype remaining() const { return data_.size() - pos_; }

private:
    bool take(qsizetype count, const char* what, QByteArrayView* out);
    void fail(const QString& why);

    QByteArray data_;
    qsizetype pos_ = 0;
    qsizetype maxString_;
    QString error_;
};

// Whole-file helpers for the stores (the checked atomic save, saveFileAtomically, lives in
// common/atomicfile.h).

// Reads the whole file into memory; an error says why it could not be opened or read.
std::optional<QByteArray> readWholeFile(const QString& path, QString* error);

}  // namespace vantor
