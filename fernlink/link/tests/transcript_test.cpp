// SPDX-License-Identifier: GPL-3.0-or-later
// The flows' transcripts against the ones kept in tests/transcripts. With
// VANTOR_WRITE_TRANSCRIPTS=1 in the environment the kept ones are written anew instead (only
// for a change of behaviour that is meant; the difference then belongs in the commit).
#include "fernlink/link/tests/transcript_rig.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <algorithm>

using namespace vantor::fernlink::transcript;

namespace {

QString keptPath(const char* name)
{
    return qEnvironmentVariable("VANTOR_SOURCE_DIR") + QStringLiteral("/fernlink/link/tests/transcripts/") + QLatin1String(name);
}

void compare(const char* name, const std::vector<Scenario>& scenarios)
{
    const QString got = runAll(scenarios);
    QFile file(keptPath(name));
    if (qEnvironmentVariableIntValue("VANTOR_WRITE_TRANSCRIPTS") == 1) {
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << file.fileName().toStdString();
        file.write(got.toUtf8());
        return;
    }
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << file.fileName().toStdString();
    const QStringList want = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    const QStringList have = got.split(QLatin1Char('\n'));
    QString scenario;
    for (qsizetype i = 0; i < std::max(want.size(), have.size()); ++i) {
        const QString w = i < want.size() ? want[i] : QStringLiteral("<end>");
        const QString h = i < have.size() ? have[i] : QStringLiteral("<end>");
        if (w.startsWith(QLatin1String("== ")))
            scenario = w;
        if (w != h) {
            ADD_FAILURE() << name << " line " << i + 1 << " in " << scenario.toStdString() << "\n  kept: " << w.toStdString()
                          << "\n  now:  " << h.toStdString();
            return;
        }
    }
}

}  // namespace

TEST(FlowTranscripts, Serial)
{
    compare("serial.txt", serialScenarios());
}

TEST(FlowTranscripts, Ethernet)
{
    // Kept in two files, the sends apart.
    std::vector<Scenario> rest = ethernetScenarios();
    const auto firstSend = std::find_if(rest.begin(), rest.end(),
                                        [](const Scenario& s) { return QLatin1String(s.name).startsWith(QLatin1String("send:")); });
    const std::vector<Scenario> sends(firstSend, rest.end());
    rest.erase(firstSend, rest.end());
    compare("ethernet-list-delete-receive.txt", rest);
    compare("ethernet-send.txt", sends);
}

TEST(FlowTranscripts, Dnc)
{
    compare("dnc.txt", dncScenarios());
}
