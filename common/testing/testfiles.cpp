// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/testing/testfiles.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPixmap>
#include <QProcess>
#include <QWidget>

#include <gtest/gtest.h>

namespace vantor::testing {

QString programPath(const char* name)
{
    QString build = qEnvironmentVariable("VANTOR_BUILD_DIR");
    if (build.isEmpty())
        build = QCoreApplication::applicationDirPath() + QStringLiteral("/..");
    return QDir(build).filePath(QStringLiteral("bin/") + QLatin1String(name));
}

ProgramResult runProgram(const char* name, const QStringList& args, const QString& workDir, int timeoutMs)
{
    return runProgram(name, args, workDir, QProcessEnvironment::systemEnvironment(), timeoutMs);
}

ProgramResult runProgram(const char* name, const QStringList& args, const QString& workDir,
                         const QProcessEnvironment& environment, int timeoutMs)
{
    QProcess p;
    p.setProcessEnvironment(environment);
    p.setWorkingDirectory(workDir);
    p.start(programPath(name), args);
    ProgramResult r;
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished();
        r.err = QString::fromUtf8(p.readAllStandardError());
        return r;
    }
    r.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

QStringList startBackgroundProgram(QProcess& process, const char* name, const QStringList& args, int lines, int timeoutMs)
{
    process.start(programPath(name), args);
    QStringList out;
    if (!process.waitForStarted(timeoutMs)) {
        ADD_FAILURE() << name << " did not start: " << process.errorString().toStdString();
        return out;
    }
    QDeadlineTimer guard(timeoutMs);
    while (out.size() < lines && !guard.hasExpired()) {
        if (!process.canReadLine() && !process.waitForReadyRead(100))
            continue;
        while (process.canReadLine())
            out << QString::fromUtf8(process.readLine()).trimmed();
    }
    return out;
}

void stopBackgroundProgram(QProcess& process, int timeoutMs)
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(timeoutMs))
        process.kill();
}

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

QStringList filesIn(const QString& folder)
{
    QStringList names = QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    names.sort();
    return names;
}

void writeFile(const QString& path, const QByteArray& data)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(data) != data.size())
        ADD_FAILURE() << "could not write " << path.toStdString();
}

void maybeShoot(QWidget* widget, const char* fileName)
{
    const QString dir = qEnvironmentVariable("VANTOR_SCREENSHOT_DIR");
    if (dir.isEmpty() || !widget)
        return;
    widget->grab().save(dir + QLatin1Char('/') + QLatin1String(fileName));
}

QByteArray patternBytes(int n, int seed)
{
    QByteArray b(n, 0);
    for (int i = 0; i < n; ++i)
        b[i] = static_cast<char>((i * 31 + seed * 7 + 3) & 0xFF);
    return b;
}

QByteArray ncProgram(int lines)
{
    QByteArray text;
    for (int i = 1; i <= lines; ++i)
        text += "N" + QByteArray::number(i * 10) + " G01 X" + QByteArray::number(i) + " Y" + QByteArray::number(i * 2) + "\r\n";
    return text;
}

QByteArray paddedToBlock(QByteArray data)
{
    constexpr qsizetype kBlock = 128;
    constexpr char kSub = 0x1A;
    if (data.size() % kBlock)
        data += QByteArray(kBlock - data.size() % kBlock, kSub);
    return data;
}

}  // namespace vantor::testing
