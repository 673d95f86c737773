// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/archive.h"

#include "common/gbk.h"

#include <QFile>

namespace vantor {

namespace {
void appendLE(QByteArray& out, std::uint64_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.append(static_cast<char>((value >> (8 * i)) & 0xFF));
}

std::uint32_t readLE(QByteArrayView bytes)
{
    std::uint32_t value = 0;
    for (qsizetype i = 0; i < bytes.size(); ++i)
        value |= std::uint32_t(static_cast<unsigned char>(bytes[i])) << (8 * i);
    return value;
}
}  // namespace

void ArchiveWriter::writeString(const QString& text)
{
    writeBytes(toGbk(text));
}

void ArchiveWriter::writeBytes(QByteArrayView raw)
{
    const auto length = static_cast<std::uint64_t>(raw.size());
    if (length < 0xFF) {
        appendLE(buffer_, length, 1);
    } else if (length < 0xFFFE) {
        buffer_.append(char(0xFF));
        appendLE(buffer_, length, 2);
    } else {
        buffer_.append(char(0xFF));
        appendLE(buffer_, 0xFFFF, 2);
        appendLE(buffer_, length, 4);
    }
    buffer_.append(raw.data(), raw.size());
}

void ArchiveWriter::writeInt32(std::int32_t value)
{
    appendLE(buffer_, static_cast<std::uint32_t>(value), 4);
}

void ArchiveWriter::writeUInt32(std::uint32_t value)
{
    appendLE(buffer_, value, 4);
}

ArchiveReader::ArchiveReader(QByteArray data, qsizetype maxStringBytes)
    : data_(std::move(data)), maxString_(maxStringBytes)
{
}

void ArchiveReader::fail(const QString& why)
{
    if (error_.isEmpty())
        error_ = why;
}

bool ArchiveReader::take(qsizetype count, const char* what, QByteArrayView* out)
{
    if (failed())
        return false;
    if (count < 0 || count > remaining()) {
        fail(QStringLiteral("truncated %1 at offset %2: %3 bytes needed, %4 left")
                 .arg(QLatin1String(what)).arg(pos_).arg(count).arg(remaining()));
        return false;
    }
    *out = QByteArrayView(data_).sliced(pos_, count);
    pos_ += count;
    return true;
}

std::optional<QByteArray> ArchiveReader::readBytes()
{
    const qsizetype start = pos_;
    QByteArrayView field;
    if (!take(1, "string length", &field))
        return std::nullopt;
    std::uint64_t length = static_cast<unsigned char>(field[0]);
    if (length == 0xFF) {
        if (!take(2, "string length", &field))
            return std::nullopt;
        length = readLE(field);
        if (length == 0xFFFE) {
            // The wide-character marker of the archive format; our files never carry it.
            fail(QStringLiteral("unsupported wide string at offset %1").arg(start));
            return std::nullopt;
        }
        if (length == 0xFFFF) {
            if (!take(4, "string length", &field))
                return std::nullopt;
            length = readLE(field);
        }
    }
    if (length > static_cast<std::uint64_t>(maxString_)) {
        fail(QStringLiteral("string of %1 bytes at offset %2 exceeds the limit").arg(length).arg(start));
        return std::nullopt;
    }
    if (!take(static_cast<qsizetype>(length), "string", &field))
        return std::nullopt;
    return field.toByteArray();
}

std::optional<QString> ArchiveReader::readString()
{
    auto raw = readBytes();
    if (!raw)
        return std::nullopt;
    return fromGbk(*raw);
}

std::optional<std::uint32_t> ArchiveReader::readUInt32()
{
    QByteArrayView field;
    if (!take(4, "integer", &field))
        return std::nullopt;
    return readLE(field);
}

std::optional<std::int32_t> ArchiveReader::readInt32()
{
    auto value = readUInt32();
    if (!value)
        return std::nullopt;
    return static_cast<std::int32_t>(*value);
}

std::optional<QByteArray> readWholeFile(const QString& path, QString* error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = file.errorString();
        return std::nullopt;
    }
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        if (error)
            *error = file.errorString();
        return std::nullopt;
    }
    return bytes;
}

}  // namespace vantor
