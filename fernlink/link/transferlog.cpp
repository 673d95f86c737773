// SPDX-License-Identifier: GPL-3.0-or-later
#include "fernlink/link/transferlog.h"

#include "common/archive.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include <array>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

namespace vantor::fernlink {

namespace {

// Eight tables: table k holds the CRC of a byte followed by k zero bytes, so eight bytes
// are folded in at a time. Every send and receive logs the CRC of the whole file; a byte at
// a time, that cost more than a tenth of the processor time of a 10 MB transfer.
using CrcTables = std::array<std::array<std::uint32_t, 256>, 8>;

constexpr CrcTables makeTables()
{
    CrcTables t{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t c = i;
        for (int k = 0; k < 8; ++k)
            c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        t[0][i] = c;
    }
    for (std::size_t k = 1; k < 8; ++k)
        for (std::size_t i = 0; i < 256; ++i)
            t[k][i] = (t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xFF];
    return t;
}

constexpr CrcTables kTables = makeTables();

const char* directionWord(TransferRecord::Direction d)
{
    switch (d) {
    case TransferRecord::Direction::Send: return "send";
    case TransferRecord::Direction::Receive: return "receive";
    case TransferRecord::Direction::Delete: return "delete";
    case TransferRecord::Direction::Dnc: return "dnc";
    }
    return "";
}

// A field holds no tab or line end of its own: the line stays one record.
QString field(QString text)
{
    for (QChar& c : text)
        if (c == QLatin1Char('\t') || c == QLatin1Char('\n') || c == QLatin1Char('\r'))
            c = QLatin1Char(' ');
    return text;
}

}  // namespace

std::uint32_t crc32(QByteArrayView bytes, std::uint32_t crc)
{
    crc = ~crc;
    const auto* p = reinterpret_cast<const std::uint8_t*>(bytes.data());
    qsizetype left = bytes.size();
    for (; left >= 8; left -= 8, p += 8) {
        // Bytes in the order they come, whatever the machine's byte order.
        const std::uint32_t lo = crc ^ (std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16
                                        | std::uint32_t(p[3]) << 24);
        crc = kTables[7][lo & 0xFF] ^ kTables[6][(lo >> 8) & 0xFF] ^ kTables[5][(lo >> 16) & 0xFF] ^ kTables[4][lo >> 24]
              ^ kTables[3][p[4]] ^ kTables[2][p[5]] ^ kTables[1][p[6]] ^ kTables[0][p[7]];
    }
    for (; left > 0; --left, ++p)
        crc = kTables[0][(crc ^ *p) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

QString TransferRecord::line() const
{
    const QString crcText = crc ? QStringLiteral("%1").arg(*crc, 8, 16, QLatin1Char('0')) : QStringLiteral("-");
    return QStringList{time.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")),
                       ethernet ? QStringLiteral("ethernet") : QStringLiteral("serial"),
                       QString::fromLatin1(directionWord(direction)),
                       field(file),
                       size >= 0 ? QString::number(size) : QStringLiteral("-"),
                       crcText,
                       ok ? QStringLiteral("ok") : QStringLiteral("failed"),
                       field(reason)}
        .join(QLatin1Char('\t'));
}

QString fernlinkDataFolder()
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)).filePath(QStringLiteral("Vantor/Fernlink"));
}

QString transferLogFolder(const QString& dataFolder)
{
    return QDir(dataFolder).filePath(QStringLiteral("transfer-log"));
}

TransferLog::TransferLog(QString folder) : folder_(std::move(folder)) {}

QString TransferLog::pathFor(const QDate& day) const
{
    return QDir(folder_).filePath(QStringLiteral("transfers-%1.log").arg(day.toString(QStringLiteral("yyyy-MM-dd"))));
}

bool TransferLog::append(const TransferRecord& record)
{
    error_.clear();
    if (folder_.isEmpty())
        return true;  // nowhere to keep it: a headless run that asked for no log
    if (!QDir().mkpath(folder_)) {
        error_ = QStringLiteral("%1: cannot make the folder").arg(folder_);
        return false;
    }
    const QString path = pathFor(record.time.date());
    const QByteArray line = record.line().toUtf8() + '\n';
    // A plain append: a line is far below what one write() puts down whole, and a write that
    // took less is cut back so no half line stays for the next one to run into.
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        error_ = QStringLiteral("%1: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    const off_t before = ::lseek(fd, 0, SEEK_END);
    const ssize_t n = ::write(fd, line.constData(), size_t(line.size()));
    bool ok = n == ssize_t(line.size());
    if (!ok) {
        error_ = QStringLiteral("%1: %2").arg(path, n < 0 ? QString::fromLocal8Bit(std::strerror(errno)) : QStringLiteral("short write"));
        if (before >= 0 && ::ftruncate(fd, before) != 0) {
            // The half line stays; the next line still starts on a line of its own below it.
        }
    } else if (::fsync(fd) != 0) {
        error_ = QStringLiteral("%1: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno)));
        ok = false;
    }
    if (::close(fd) != 0 && ok) {
        error_ = QStringLiteral("%1: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno)));
        ok = false;
    }
    return ok;
}

QByteArray TransferLog::read(const QDate& day) const
{
    if (folder_.isEmpty())
        return {};
    return readWholeFile(pathFor(day), nullptr).value_or(QByteArray());
}

bool TransferLog::exportDay(const QDate& day, const QString& target)
{
    const ArchiveFileResult saved = saveFileAtomically(target, read(day));
    error_ = saved.ok ? QString() : target + QStringLiteral(": ") + saved.error;
    return saved.ok;
}

}  // namespace vantor::fernlink
