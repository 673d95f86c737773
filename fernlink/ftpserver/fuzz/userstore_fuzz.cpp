// SPDX-License-Identifier: GPL-3.0-or-later
// libFuzzer target: the account file (users.dat) and the user log (userlog.dat). What was
// read completely must save and read back unchanged; a damaged or foreign file is never saved.
#include "fernlink/ftpserver/userstore.h"

#include "serialcore/fuzz/fuzzinput.h"

#include <QFile>
#include <QTemporaryDir>

#include <cstdlib>

using namespace vantor::ftp;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static QTemporaryDir scratch(vantor::fuzzing::scratchTemplate());
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));

    QList<CUser> users;
    QString error;
    const LoadStatus usersStatus = decodeUsers(bytes, &users, &error);
    if (usersStatus == LoadStatus::Loaded) {
        QList<CUser> back;
        if (decodeUsers(encodeUsers(users), &back, &error) != LoadStatus::Loaded || back.size() != users.size())
            std::abort();
    }
    for (const CUser& u : users)
        (void)checkFtpLogin(u, QStringLiteral("pw"));

    const QString path = scratch.filePath(QStringLiteral("userlog.dat"));
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size())
            return 0;
    }
    CUserLogStore log(path);
    const LoadStatus status = log.load();
    if (status == LoadStatus::Loaded) {
        const QList<CUserLog> records = log.records;
        if (!log.save())
            std::abort();
        CUserLogStore again(path);
        if (again.load() != LoadStatus::Loaded || again.records != records)
            std::abort();
    } else if (log.save()) {
        std::abort();
    }
    return 0;
}
