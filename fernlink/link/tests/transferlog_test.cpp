// SPDX-License-Identifier: GPL-3.0-or-later
#include "fernlink/link/transferlog.h"

#include "common/testing/testfiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace vantor::fernlink;

namespace {

TransferRecord sample(const QString& file, bool ok, const QString& reason = {})
{
    TransferRecord r;
    r.time = QDateTime(QDate(2026, 3, 4), QTime(5, 6, 7));
    r.ethernet = true;
    r.direction = TransferRecord::Direction::Send;
    r.file = file;
    r.size = 9;
    r.crc = crc32("123456789");
    r.ok = ok;
    r.reason = reason;
    return r;
}

}  // namespace

TEST(TransferLog, Crc32IsTheCommonOneAndRunsOn)
{
    EXPECT_EQ(crc32("123456789"), 0xCBF43926u);
    EXPECT_EQ(crc32(""), 0u);
    EXPECT_EQ(crc32("56789", crc32("1234")), 0xCBF43926u);
    EXPECT_EQ(crc32("The quick brown fox jumps over the lazy dog"), 0x414FA339u);
}

// Eight bytes at a time must give what one bit at a time gives, at every length and
// alignment, and split anywhere.
TEST(TransferLog, Crc32OfLongDataMatchesTheBitwiseDefinition)
{
    const auto bitwise = [](QByteArrayView bytes) {
        std::uint32_t c = 0xFFFFFFFFu;
        for (char b : bytes) {
            c ^= std::uint8_t(b);
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        }
        return ~c;
    };
    QByteArray data(70000, Qt::Uninitialized);
    for (qsizetype i = 0; i < data.size(); ++i)
        data[i] = char((i * 131 + i / 251) & 0xFF);
    for (qsizetype offset = 0; offset < 9; ++offset) {
        for (qsizetype length : {0, 1, 7, 8, 9, 15, 16, 17, 63, 64, 1000, 69000}) {
            const QByteArrayView part(data.constData() + offset, length);
            EXPECT_EQ(crc32(part), bitwise(part)) << offset << " " << length;
            const qsizetype cut = length / 3;
            EXPECT_EQ(crc32(part.sliced(cut), crc32(part.first(cut))), bitwise(part)) << offset << " " << length;
        }
    }
}

TEST(TransferLog, OneLinePerRecordInTheFileOfItsDay)
{
    QTemporaryDir dir;
    TransferLog log(dir.filePath(QStringLiteral("transfer-log")));
    ASSERT_TRUE(log.append(sample(QStringLiteral("/pc/O1.nc -> USER/O00001.txt"), true)));
    // Tabs and line ends in a name or a reason cannot split the record.
    ASSERT_TRUE(log.append(sample(QStringLiteral("/pc/a\tb.nc"), false, QStringLiteral("not confirmed\nby the CNC"))));
    TransferRecord other = sample(QStringLiteral("x"), true);
    other.time = other.time.addDays(1);
    other.crc.reset();
    other.size = -1;
    other.direction = TransferRecord::Direction::Dnc;
    other.ethernet = false;
    ASSERT_TRUE(log.append(other));

    const QByteArray day = log.read(QDate(2026, 3, 4));
    EXPECT_EQ(day, "2026-03-04 05:06:07\tethernet\tsend\t/pc/O1.nc -> USER/O00001.txt\t9\tcbf43926\tok\t\n"
                   "2026-03-04 05:06:07\tethernet\tsend\t/pc/a b.nc\t9\tcbf43926\tfailed\tnot confirmed by the CNC\n");
    EXPECT_EQ(QFileInfo(log.pathFor(QDate(2026, 3, 4))).fileName(), QStringLiteral("transfers-2026-03-04.log"));
    EXPECT_EQ(log.read(QDate(2026, 3, 5)), "2026-03-05 05:06:07\tserial\tdnc\tx\t-\t-\tok\t\n");

    const QString copy = dir.filePath(QStringLiteral("copy.log"));
    ASSERT_TRUE(log.exportDay(QDate(2026, 3, 4), copy));
    EXPECT_EQ(vantor::testing::readFile(copy), day);
}

TEST(TransferLog, AFailedWriteSaysSoAndAFolderlessLogKeepsNothing)
{
    QTemporaryDir dir;
    // The folder's place is taken by a file: nothing can be written there.
    vantor::testing::writeFile(dir.filePath(QStringLiteral("blocked")), "x");
    TransferLog blocked(dir.filePath(QStringLiteral("blocked")));
    EXPECT_FALSE(blocked.append(sample(QStringLiteral("f"), true)));
    EXPECT_FALSE(blocked.error().isEmpty());
    EXPECT_FALSE(blocked.exportDay(QDate(2026, 3, 4), dir.filePath(QStringLiteral("no/such/folder/x.log"))));
    EXPECT_FALSE(blocked.error().isEmpty());

    TransferLog none;
    EXPECT_TRUE(none.append(sample(QStringLiteral("f"), true)));
    EXPECT_TRUE(none.read(QDate(2026, 3, 4)).isEmpty());
}
