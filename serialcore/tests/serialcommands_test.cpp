// SPDX-License-Identifier: GPL-3.0-or-later
#include "serialcore/controllernames.h"
#include "serialcore/serialcommands.h"
#include "serialcore/serialwire.h"
#include "serialcore/tests/fakelinkport.h"

#include <gtest/gtest.h>

using namespace vantor;
using vantor::testing::FakeLinkPort;

TEST(SerialCommandTransmitter, PacesEveryByteAndWaitsLongerAfterALineEnd)
{
    FakeLinkPort port;
    SerialCommandTransmitter tx(port, wire::kDownloadLinePauseFernlinkMs);
    ASSERT_TRUE(tx.changePartition(QStringLiteral("USER")));
    EXPECT_EQ(port.script(), "\n<1000><10>x<10>c<10>d<10> <10>u<10>s<10>e<10>r<10>\n<1000><10>");
    port.steps.clear();
    ASSERT_TRUE(tx.download(QStringLiteral("O00001.txt"), SerialCommandTransmitter::typeFlagFor(QStringLiteral("user"))));
    EXPECT_EQ(port.written(), "xdl O00001.txt -t\n");
    EXPECT_EQ(port.steps[port.steps.size() - 2].ms, 1000);
    port.steps.clear();
    ASSERT_TRUE(tx.upload(QStringLiteral("para.val"), SerialCommandTransmitter::typeFlagFor(QStringLiteral("sys"))));
    EXPECT_TRUE(port.script().startsWith("\n<50><10>x<10>u<10>l"));
    EXPECT_EQ(port.written(), "\nxul para.val -d\n");
    port.steps.clear();
    ASSERT_TRUE(tx.remove(QStringLiteral("O0001.cnc")));
    EXPECT_EQ(port.written(), "xdel O0001.cnc\n");
    EXPECT_TRUE(port.script().endsWith("\n<200><10>"));
}

TEST(SerialCommandTransmitter, CanRetryDeletesWaitsAndDownloadsAgain)
{
    FakeLinkPort port;
    SerialCommandTransmitter tx(port, wire::kDownloadLinePauseFernportMs);
    ASSERT_TRUE(tx.retryDownload(QStringLiteral("O0001.cnc"), QStringLiteral("-t")));
    EXPECT_EQ(port.written(), "xdel O0001.cnc\nxdl O0001.cnc -t\n");
    EXPECT_TRUE(port.script().contains("\n<200><10><100>x<10>d<10>l"));
    EXPECT_TRUE(port.script().endsWith("\n<200><10>"));
}

TEST(SerialCommandTransmitter, RefusesCommandsLongerThanTheControllerReads)
{
    FakeLinkPort port;
    SerialCommandTransmitter tx(port, 200);
    EXPECT_TRUE(tx.download(QString(31 - 4, QLatin1Char('a')) + ".txt", QStringLiteral("-t")));
    port.steps.clear();
    EXPECT_FALSE(tx.download(QString(32, QLatin1Char('a')), QStringLiteral("-t")));
    EXPECT_FALSE(tx.changePartition(QStringLiteral("averyverylongpart")));
    EXPECT_TRUE(port.steps.empty());
}

TEST(PromptCheck, MatchesThePartitionOnlyOnceThePromptArrives)
{
    PromptCheck check;
    check.reset(QStringLiteral("USER"));
    EXPECT_EQ(check.feed("\r\nus"), PromptCheck::Outcome::Pending);
    EXPECT_EQ(check.feed("er>"), PromptCheck::Outcome::Matched);
    check.reset(QStringLiteral("sys"));
    EXPECT_EQ(check.feed("\r\nuser>"), PromptCheck::Outcome::Mismatched);
    // A flood without prompt stays bounded and a later prompt still counts.
    EXPECT_EQ(check.feed(QByteArray(100000, 'z')), PromptCheck::Outcome::Pending);
    EXPECT_LE(check.text().size(), wire::kPromptBufferSize);
    EXPECT_EQ(check.feed("sys>"), PromptCheck::Outcome::Matched);
}

TEST(Listing, NameRunsFromColonBlankToTabAndSizeFollows)
{
    const auto entries = parseListing("junk before 1: O0001\t 1234\r\n2: para.val\t 77\r\n3: odd\t\r\nno colon\t 5\r\n");
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].name, "O0001");
    EXPECT_EQ(entries[0].size, "1234");
    EXPECT_EQ(entries[1].name, "para.val");
    EXPECT_EQ(entries[1].size, "77");
    EXPECT_EQ(entries[2].name, "odd");
    EXPECT_EQ(entries[2].size, "");
    EXPECT_TRUE(isControllerSystemFile(QStringLiteral("PARA.VAL")));
    EXPECT_FALSE(isControllerSystemFile(QStringLiteral("O0001")));
}

TEST(ListingCollector, EndsAtCanOrAtThePromptAfterTheEcho)
{
    ListingCollector c;
    c.reset();
    EXPECT_EQ(c.feed("1: A\t 1\r\n"), ListingCollector::State::Collecting);
    EXPECT_EQ(c.feed(QByteArray("2: B\t 2\r\n") + wire::kCan + "trailing"), ListingCollector::State::Complete);
    EXPECT_EQ(c.listing(), "1: A\t 1\r\n2: B\t 2\r\n");

    c.reset();
    EXPECT_EQ(c.feed("xls\r\n1: A\t 1\r\n"), ListingCollector::State::Collecting);
    EXPECT_EQ(c.feed("user\\"), ListingCollector::State::Collecting);
    EXPECT_EQ(c.feed(":"), ListingCollector::State::Complete);
    EXPECT_TRUE(c.listing().startsWith("\n1: A"));

    // Without the echo the prompt text alone does not end it.
    c.reset();
    EXPECT_EQ(c.feed("1: A\t 1\r\nuser\\:"), ListingCollector::State::Collecting);

    // Longer than the buffer: the first 100000 bytes are kept, cut at their last whole line,
    // and the end is still seen after the cut (here split across two chunks).
    c.reset();
    QByteArray line("1: O00001.txt\t 12345\r\n");  // 22 bytes
    QByteArray longListing = "xls\r\n";
    while (longListing.size() < wire::kListingBufferSize + 500)
        longListing += line;
    EXPECT_EQ(c.feed(longListing), ListingCollector::State::Collecting);
    EXPECT_TRUE(c.truncated());
    EXPECT_EQ(c.feed("user\\"), ListingCollector::State::Collecting);
    EXPECT_EQ(c.feed(":"), ListingCollector::State::Complete);
    const QByteArray kept = c.listing();
    EXPECT_LE(kept.size(), wire::kListingBufferSize);
    EXPECT_GT(kept.size(), wire::kListingBufferSize - line.size());
    EXPECT_TRUE(kept.endsWith("12345\r\n"));
    EXPECT_EQ(parseListing(kept).size(), size_t(kept.size() / line.size()));

    c.reset();
    EXPECT_EQ(c.feed(QByteArray(wire::kListingBufferSize + 1, 'a') + wire::kCan), ListingCollector::State::Complete);
    EXPECT_TRUE(c.listing().isEmpty());
}

TEST(ControllerNames, EachFamilyHasItsRule)
{
    struct Case {
        int family;
        const char* in;
        const char* out;  // nullptr: refused
    } cases[] = {
        {kFamilyGeneral, "o12.nc", "O0012.cnc"},
        {kFamilyGeneral, "O0", "O0000.cnc"},
        {kFamilyGeneral, "O", "O0000.cnc"},
        {kFamilyGeneral, "O12345.txt", nullptr},
        {kFamilyGeneral, "PARA3.TXT", "PARA3.TXT"},
        {kFamilyGeneral, "para5.txt", nullptr},
        {kFamilyGeneral, "O12a.txt", nullptr},
        {kFamilyQ6A, "O9999.txt", "O9999.cnc"},
        {kFamilyQ5A, "O12345.nc", "O12345.txt"},
        {kFamilyQ5A, "O0", nullptr},
        {kFamilyQ5A, "O99999999999999999999.txt", nullptr},  // overflows: refused, not wrapped
        {kFamilyQ5A, "O4294967297.txt", nullptr},
        {kFamilyQ7A, "O12.txt", "O0012.txt"},
        {kFamilyQ7A, "O10000.txt", nullptr},
        {kFamilyQ7A, "para.txt", nullptr},
    };
    for (const auto& c : cases) {
        const auto name = controllerName(c.family, QString::fromLatin1(c.in));
        if (c.out)
            EXPECT_EQ(name.value_or(QStringLiteral("<refused>")), QString::fromLatin1(c.out)) << c.family << " " << c.in;
        else
            EXPECT_FALSE(name.has_value()) << c.family << " " << c.in;
    }
    EXPECT_EQ(familyFromSystemText(QStringLiteral("Vantor Q5A")), 6);
    EXPECT_EQ(familyFromSystemText(QStringLiteral("Vantor Q7A")), 5);
    EXPECT_EQ(familyFromSystemText(QStringLiteral("Vantor Q5B")), 4);
    EXPECT_EQ(familyFromSystemText(QStringLiteral("Vantor Q6A")), 3);
    EXPECT_EQ(familyFromSystemText(QStringLiteral("Vantor Q6B")), 2);
    EXPECT_EQ(familyFileLimit(6), 400);
    EXPECT_EQ(familyFileLimit(2), 800);
}

TEST(ControllerNames, FernlinkUserAreaRule)
{
    struct Case {
        const char* in;
        const char* out;
    } cases[] = {
        {"O1.NC", "O00001.txt"},       {"o12.nc", "O00012.txt"},  {"O00001.CNC", "O00001.txt"},
        {"O99999.txt", "O99999.txt"},  {"O00000.txt", nullptr},   {"O100000.txt", nullptr},
        {"O12A.txt", nullptr},         {"O12", nullptr},          {"prog.txt", nullptr},
        {"O12.doc", nullptr},          {"O.txt", nullptr},        {"O123456789012345678901.txt", nullptr},
    };
    for (const auto& c : cases) {
        const auto name = fernlinkUserName(QString::fromLatin1(c.in));
        if (c.out)
            EXPECT_EQ(name.value_or(QStringLiteral("<refused>")), QString::fromLatin1(c.out)) << c.in;
        else
            EXPECT_FALSE(name.has_value()) << c.in;
    }
}

TEST(UpgradeList, LinesNameAFileAndAPartitionDigit)
{
    UpgradeList list = parseUpgradeList("O0001 1\r\nladder.dat   0 trailing\nboot.bin 2");
    EXPECT_TRUE(list.ok);
    ASSERT_EQ(list.entries.size(), 3u);
    EXPECT_EQ(list.entries[0].name, "O0001");
    EXPECT_EQ(list.entries[0].partition, "user");
    EXPECT_EQ(list.entries[1].partition, "sys");
    EXPECT_EQ(list.entries[2].partition, "bios");

    list = parseUpgradeList("O0001 1\nO0002 3\nO0003 1\n");
    EXPECT_FALSE(list.ok);
    EXPECT_EQ(list.entries.size(), 1u);
    EXPECT_FALSE(parseUpgradeList("O0001 x\n").ok);
    EXPECT_FALSE(parseUpgradeList("averyveryverylongname 1\n").ok);
    // A name whose last GBK character is cut off ends the reading; it must not become "O1".
    list = parseUpgradeList("O0001 1\nO1\xb5 1\nO0002 1\n");
    EXPECT_FALSE(list.ok);
    ASSERT_EQ(list.entries.size(), 1u);
    EXPECT_EQ(list.entries[0].name, QStringLiteral("O0001"));
    EXPECT_FALSE(parseUpgradeList("\xb5 1\n").ok);
}
