// SPDX-License-Identifier: GPL-3.0-or-later
#include "fernlink/app/settings.h"

#include "common/atomicfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <algorithm>

namespace vantor::fernlink {

namespace {
// Section and value names as the profile has them.
const QString kSection = QStringLiteral("Settings");
const QString kLanguageSection = QStringLiteral("Setting");
const QString kAddressSection = QStringLiteral("IP");

QString key(const QString& section, const char* value)
{
    return section + QLatin1Char('/') + QLatin1String(value);
}

int intValue(QSettings& store, const QString& name, int fallback)
{
    bool ok = false;
    const int v = store.value(name, fallback).toInt(&ok);
    return ok ? v : fallback;
}

QString textValue(QSettings& store, const QString& name, const QString& fallback)
{
    const QVariant v = store.value(name);
    return v.isValid() ? v.toString() : fallback;
}

// Desktop entry Exec quoting: reserved characters make a quoted argument, in which
// '"', '`', '$' and '\' are escaped.
QString quoteExecArgument(const QString& arg)
{
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    bool needsQuotes = arg.isEmpty();
    for (QChar c : arg)
        needsQuotes = needsQuotes || reserved.contains(c);
    if (!needsQuotes)
        return arg;
    QString out = QStringLiteral("\"");
    for (QChar c : arg) {
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') || c == QLatin1Char('\\'))
            out += QLatin1Char('\\');
        out += c;
    }
    out += QLatin1Char('"');
    // The entry's value level unescapes backslashes once more.
    out.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    return out;
}
}  // namespace

QString FernlinkSettings::defaultPort()
{
#ifdef Q_OS_WIN
    return QStringLiteral("COM1");
#else
    return QStringLiteral("ttyS0");
#endif
}

int FernlinkSettings::baud() const
{
    bool ok = false;
    const int v = baudRate.trimmed().toInt(&ok);
    return ok && v > 0 ? v : 0;
}

QString FernlinkSettings::addressText() const
{
    return QString::asprintf("%d.%d.%d.%d", address[0], address[1], address[2], address[3]);
}

FernlinkSettings FernlinkSettings::load(QSettings& store)
{
    FernlinkSettings s;
    s.machineType = textValue(store, key(kSection, "MachineType"), s.machineType);
    s.baudRate = textValue(store, key(kSection, "BaudRate"), s.baudRate);
    s.seriesNum = textValue(store, key(kSection, "SeriesNum"), s.seriesNum);
    s.launchOnStartup = intValue(store, key(kSection, "LaundOnStartup"), 0) == 1;
    s.startInTray = intValue(store, key(kSection, "StartInTray"), 0) == 1;
    s.ftpPort = intValue(store, key(kSection, "Port"), s.ftpPort);
    s.maxTimeout = intValue(store, key(kSection, "MaxTimeout"), s.maxTimeout);
    s.maxUsers = intValue(store, key(kSection, "MaxUeser"), s.maxUsers);
    s.autoActivate = intValue(store, key(kSection, "AutoActivate"), 0) == 1;
    s.verifyAfterSend = intValue(store, key(kSection, "VerifyAfterSend"), 0) == 1;
    s.dncHeaderMode = std::clamp(intValue(store, key(kSection, "DncStartHeader"), 1), 0, 2);
    s.dncHeader = textValue(store, key(kSection, "DncStartHeaderText"), QString());
    s.pasvPorts = textValue(store, key(kSection, "PasvPorts"), s.pasvPorts);
    s.language = intValue(store, key(kLanguageSection, "Language"), 0) == 1 ? Language::English : Language::Chinese;
    static const char* const octets[] = {"IP1", "IP2", "IP3", "IP4"};
    for (int i = 0; i < 4; ++i)
        s.address[i] = std::clamp(intValue(store, key(kAddressSection, octets[i]), 0), 0, 255);
    const int port = intValue(store, key(kAddressSection, "Port"), kDefaultControllerPort);
    s.controllerPort = port >= 1 && port <= 65535 ? port : kDefaultControllerPort;
    s.recentAddresses = store.value(key(kAddressSection, "Recent")).toStringList().mid(0, kRecentAddressCount);
    return s;
}

void FernlinkSettings::save(QSettings& store) const
{
    store.setValue(key(kSection, "MachineType"), machineType);
    store.setValue(key(kSection, "BaudRate"), baudRate);
    store.setValue(key(kSection, "SeriesNum"), seriesNum);
    store.setValue(key(kSection, "LaundOnStartup"), launchOnStartup ? 1 : 0);
    store.setValue(key(kSection, "StartInTray"), startInTray ? 1 : 0);
    store.setValue(key(kSection, "Port"), ftpPort);
    store.setValue(key(kSection, "MaxTimeout"), maxTimeout);
    store.setValue(key(kSection, "MaxUeser"), maxUsers);
    store.setValue(key(kSection, "AutoActivate"), autoActivate ? 1 : 0);
    store.setValue(key(kSection, "VerifyAfterSend"), verifyAfterSend ? 1 : 0);
    store.setValue(key(kSection, "DncStartHeader"), dncHeaderMode);
    store.setValue(key(kSection, "DncStartHeaderText"), dncHeader);
    store.setValue(key(kSection, "PasvPorts"), pasvPorts);
    saveAddress(store, address);
    store.sync();
}

void FernlinkSettings::saveLanguage(QSettings& store, Language language)
{
    store.setValue(key(kLanguageSection, "Language"), language == Language::English ? 1 : 0);
    store.sync();
}

void FernlinkSettings::saveAddress(QSettings& store, const std::array<int, 4>& octets)
{
    static const char* const names[] = {"IP1", "IP2", "IP3", "IP4"};
    for (int i = 0; i < 4; ++i)
        store.setValue(key(kAddressSection, names[i]), octets[i]);
    store.sync();
}

QString FernlinkSettings::addressText(const std::array<int, 4>& octets, int port)
{
    QString text = QString::asprintf("%d.%d.%d.%d", octets[0], octets[1], octets[2], octets[3]);
    if (port != kDefaultControllerPort)
        text += QStringLiteral(":%1").arg(port);
    return text;
}

void FernlinkSettings::rememberAddress(QSettings& store, const std::array<int, 4>& octets, int port)
{
    address = octets;
    controllerPort = port;
    const QString text = addressText(octets, port);
    recentAddresses.removeAll(text);
    recentAddresses.prepend(text);
    while (recentAddresses.size() > kRecentAddressCount)
        recentAddresses.removeLast();
    store.setValue(key(kAddressSection, "Port"), port);
    store.setValue(key(kAddressSection, "Recent"), recentAddresses);
    saveAddress(store, octets);
}

std::unique_ptr<QSettings> openSettingsStore(const QString& iniPath)
{
    if (!iniPath.isEmpty())
        return std::make_unique<QSettings>(iniPath, QSettings::IniFormat);
    return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                       QString::fromLatin1(kSettingsOrganisation),
                                       QString::fromLatin1(kSettingsApplication));
}

QString autostartFolder()
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation))
        .filePath(QStringLiteral("autostart"));
}

QString autostartEntryPath(const QString& folder)
{
    return QDir(folder).filePath(QStringLiteral("Fernlink.desktop"));
}

QString autostartCommand(const QString& programPath, const std::optional<QStringList>& searchPath)
{
    // An installed program is started by name, as its menu entry does, so the entry still
    // works after an upgrade or a move between /usr and /usr/local; a build tree's program is
    // found only by its path.
    const QString name = QFileInfo(programPath).fileName();
    const QString onPath = searchPath ? (searchPath->isEmpty() ? QString() : QStandardPaths::findExecutable(name, *searchPath))
                                      : QStandardPaths::findExecutable(name);
    if (!onPath.isEmpty() && QFileInfo(onPath).canonicalFilePath() == QFileInfo(programPath).canonicalFilePath())
        return name;
    return programPath;
}

QByteArray autostartEntry(const QString& programPath, const std::optional<QStringList>& searchPath)
{
    QString text = QStringLiteral("[Desktop Entry]\n"
                                  "Type=Application\n"
                                  "Name=Fernlink\n"
                                  "Comment=Fernlink\n");
    text += QStringLiteral("Exec=") + quoteExecArgument(autostartCommand(programPath, searchPath)) + QLatin1Char('\n');
    text += QStringLiteral("Terminal=false\n"
                           "X-GNOME-Autostart-enabled=true\n");
    return text.toUtf8();
}

bool writeAutostartEntry(const QString& folder, const QString& programPath, QString* error)
{
    if (!QDir().mkpath(folder)) {
        if (error)
            *error = QStringLiteral("cannot create %1").arg(folder);
        return false;
    }
    const ArchiveFileResult saved = saveFileAtomically(autostartEntryPath(folder), autostartEntry(programPath));
    if (!saved.ok && error)
        *error = saved.error;
    return saved.ok;
}

bool removeAutostartEntry(const QString& folder, QString* error)
{
    QFile file(autostartEntryPath(folder));
    if (!file.exists() || file.remove())
        return true;
    if (error)
        *error = file.errorString();
    return false;
}

}  // namespace vantor::fernlink
