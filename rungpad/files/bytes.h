// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Little-endian byte access for the ladder files, one byte at a time as the files are
// defined. The reader never runs past the end: a read that does not fit fails and leaves
// the position where it was.
#include <QByteArray>
#include <QByteArrayView>

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace rungpad {

class ByteReader {
public:
    explicit ByteReader(QByteArrayView data) : data_(data) {}

    bool readU16(std::uint16_t& value)
    {
        if (remaining() < 2)
            return false;
        value = static_cast<std::uint16_t>(byteAt(0) | (byteAt(1) << 8));
        pos_ += 2;
        return true;
    }
    bool readI16(std::int16_t& value)
    {
        std::uint16_t raw = 0;
        if (!readU16(raw))
            return false;
        value = static_cast<std::int16_t>(raw);
        return true;
    }
    bool readU32(std::uint32_t& value)
    {
        if (remaining() < 4)
            return false;
        value = static_cast<std::uint32_t>(byteAt(0)) | (static_cast<std::uint32_t>(byteAt(1)) << 8)
            | (static_cast<std::uint32_t>(byteAt(2)) << 16) | (static_cast<std::uint32_t>(byteAt(3)) << 24);
        pos_ += 4;
        return true;
    }
    bool readBytes(qsizetype count, QByteArrayView& out)
    {
        if (count < 0 || remaining() < count)
            return false;
        out = data_.sliced(pos_, count);
        pos_ += count;
        return true;
    }
    qsizetype remaining() const { return data_.size() - pos_; }
    qsizetype position() const { return pos_; }
    bool atEnd() const { return pos_ >= data_.size(); }

private:
    unsigned byteAt(qsizetype offset) const { return static_cast<unsigned char>(data_[pos_ + offset]); }

    QByteArrayView data_;
    qsizetype pos_ = 0;
};

class ByteWriter {
public:
    void writeU16(std::uint16_t value)
    {
        char* p = room(2);
        p[0] = static_cast<char>(value & 0xFF);
        p[1] = static_cast<char>(value >> 8);
    }
    void writeI16(std::int16_t value) { writeU16(static_cast<std::uint16_t>(value)); }
    void writeU32(std::uint32_t value)
    {
        char* p = room(4);
        for (int i = 0; i < 4; ++i)
            p[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
    }
    // Exactly width bytes: the text cut to width - keepTerminator, the rest NUL.
    void writeFixed(QByteArrayView text, int width, bool keepTerminator = false)
    {
        const qsizetype room_ = keepTerminator ? width - 1 : width;
        const qsizetype used = text.size() < room_ ? text.size() : room_;
        char* p = room(width);
        if (used > 0)
            std::memcpy(p, text.data(), size_t(used));
        std::memset(p + used, 0, size_t(width - used));
    }
    // Room for what is coming, so a whole file is written without growing the buffer.
    void reserve(qsizetype bytes)
    {
        if (bytes > buffer_.size())
            buffer_.resize(bytes);
    }
    void reserveMore(qsizetype bytes) { reserve(size_ + bytes); }
    void writeRaw(QByteArrayView bytes)
    {
        if (!bytes.isEmpty())
            std::memcpy(room(bytes.size()), bytes.data(), size_t(bytes.size()));
    }
    QByteArray take()
    {
        buffer_.truncate(size_);
        size_ = 0;
        return std::move(buffer_);
    }

private:
    // Fields are written straight into the buffer: a file is a few hundred thousand of them.
    char* room(qsizetype bytes)
    {
        if (size_ + bytes > buffer_.size())
            buffer_.resize(std::max<qsizetype>(size_ + bytes, buffer_.size() * 2 + 256));
        char* p = buffer_.data() + size_;
        size_ += bytes;
        return p;
    }

    QByteArray buffer_;
    qsizetype size_ = 0;
};

// The bytes of a fixed NUL-padded field up to its first NUL (a view into the field: fifty
// thousand cells are read per file, none of them needs a copy of its own).
inline QByteArrayView fixedText(QByteArrayView field)
{
    const qsizetype nul = field.indexOf('\0');
    return nul < 0 ? field : field.first(nul);
}

// Cuts GBK bytes to at most maxBytes without splitting a double-byte character.
inline QByteArrayView gbkPrefix(QByteArrayView bytes, qsizetype maxBytes)
{
    if (bytes.size() <= maxBytes)
        return bytes;
    qsizetype i = 0;
    while (i < bytes.size()) {
        const qsizetype step = static_cast<unsigned char>(bytes[i]) >= 0x81 ? 2 : 1;
        if (i + step > maxBytes)
            break;
        i += step;
    }
    return bytes.first(i);
}

}  // namespace rungpad
