// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/testing/diskfault.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcessEnvironment>

namespace vantor::testing {

QString diskFaultLibrary()
{
    QString build = qEnvironmentVariable("VANTOR_BUILD_DIR");
    if (build.isEmpty())
        build = QCoreApplication::applicationDirPath() + QStringLiteral("/..");
    const QString path = QDir(build).filePath(QStringLiteral("lib/libvantor_diskfault.so"));
    return QFileInfo::exists(path) ? QFileInfo(path).absoluteFilePath() : QString();
}

QString preloadWith(const QString& library)
{
    // A sanitizer build's runtime insists on being the first library loaded; it is found in
    // this process's own map, since the child is built the same way.
    QStringList first;
    QFile maps(QStringLiteral("/proc/self/maps"));
    if (maps.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : maps.readAll().split('\n')) {
            const qsizetype at = line.indexOf('/');
            if (at < 0)
                continue;
            const QString path = QString::fromLocal8Bit(line.mid(at));
            const QString name = QFileInfo(path).fileName();
            const bool runtime = name.startsWith(QLatin1String("libasan.so")) || name.startsWith(QLatin1String("libtsan.so"))
                || (name.startsWith(QLatin1String("libclang_rt.")) && name.contains(QLatin1String("san")));
            if (runtime && !first.contains(path))
                first << path;
        }
    }
    return (first << library).join(QLatin1Char(':'));
}

ProgramResult runProgramOnFaultyDisk(const char* name, const QStringList& args, const QString& workDir,
                                     const DiskFault& fault, const QStringList& environment, int timeoutMs)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const QString& setting : environment)
        env.insert(setting.section(QLatin1Char('='), 0, 0), setting.section(QLatin1Char('='), 1));
    env.insert(QStringLiteral("LD_PRELOAD"), preloadWith(diskFaultLibrary()));
    env.insert(QStringLiteral("VANTOR_DISKFAULT_DIR"), fault.folder);
    env.insert(QStringLiteral("VANTOR_DISKFAULT_OP"), QString::fromLatin1(fault.op));
    env.insert(QStringLiteral("VANTOR_DISKFAULT_ERRNO"), QString::fromLatin1(fault.error));
    env.insert(QStringLiteral("VANTOR_DISKFAULT_AFTER"), QString::number(fault.after));
    const QString asan = env.value(QStringLiteral("ASAN_OPTIONS"));
    env.insert(QStringLiteral("ASAN_OPTIONS"), asan + (asan.isEmpty() ? "" : ":") + QStringLiteral("verify_asan_link_order=0"));
    return runProgram(name, args, workDir, env, timeoutMs);
}

}  // namespace vantor::testing
