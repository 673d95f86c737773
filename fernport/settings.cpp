// SPDX-License-Identifier: GPL-3.0-or-later
#include "fernport/settings.h"

namespace vantor::fernport {

namespace {
const QString kPort = QStringLiteral("Port");
const QString kBaudrate = QStringLiteral("Baudrate");
const QString kDncProtocol = QStringLiteral("DNCProtocol");
const QString kSystem = QStringLiteral("System");
const QString kDncHeader = QStringLiteral("DNCHeader");
const QString kDncHeaderText = QStringLiteral("DNCHeaderText");
const QString kDncRestartFile = QStringLiteral("DNCRestartFile");
const QString kDncRestartLine = QStringLiteral("DNCRestartLine");
const QString kDncRestartBytes = QStringLiteral("DNCRestartBytes");
}  // namespace

FernportSettings::FernportSettings()
    : settings_(std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Vantor"),
                                            QStringLiteral("Fernlink")))
{
}

FernportSettings::FernportSettings(const QString& iniPath)
    : settings_(std::make_unique<QSettings>(iniPath, QSettings::IniFormat))
{
}

QString FernportSettings::defaultPort()
{
#ifdef Q_OS_WIN
    return QStringLiteral("COM1");
#else
    return QStringLiteral("ttyS0");
#endif
}

QString FernportSettings::port() const
{
    const QString stored = settings_->value(kPort).toString();
    return stored.isEmpty() ? defaultPort() : stored;
}

int FernportSettings::baudRate() const
{
    bool ok = false;
    const int baud = settings_->value(kBaudrate).toString().toInt(&ok);
    return ok && baud > 0 ? baud : 38400;
}

bool FernportSettings::hasStoredPort() const
{
    return settings_->contains(kPort);
}

void FernportSettings::storePort(const QString& name, int baud)
{
    settings_->setValue(kPort, name);
    settings_->setValue(kBaudrate, QString::number(baud));
    settings_->sync();
}

DncProtocol FernportSettings::dncProtocol() const
{
    return settings_->value(kDncProtocol).toString() == QLatin1String("XModem") ? DncProtocol::XModem
                                                                                 : DncProtocol::XonXoff;
}

void FernportSettings::storeDncProtocol(DncProtocol protocol)
{
    settings_->setValue(kDncProtocol,
                        protocol == DncProtocol::XModem ? QStringLiteral("XModem") : QStringLiteral("XonXoff"));
    settings_->sync();
}

QString FernportSettings::system() const
{
    const QString stored = settings_->value(kSystem).toString();
    return stored.isEmpty() ? QString::fromLatin1(kControllerModels[0]) : stored;
}

void FernportSettings::storeSystem(const QString& model)
{
    settings_->setValue(kSystem, model);
    settings_->sync();
}

dnc::HeaderMode FernportSettings::dncHeaderMode() const
{
    const QString stored = settings_->value(kDncHeader).toString();
    if (stored == QLatin1String("None"))
        return dnc::HeaderMode::None;
    if (stored == QLatin1String("Custom"))
        return dnc::HeaderMode::Custom;
    return dnc::HeaderMode::ProgramStart;
}

void FernportSettings::storeDncHeaderMode(dnc::HeaderMode mode)
{
    const char* text = mode == dnc::HeaderMode::None ? "None" : mode == dnc::HeaderMode::Custom ? "Custom" : "ProgramStart";
    settings_->setValue(kDncHeader, QString::fromLatin1(text));
    settings_->sync();
}

QString FernportSettings::dncCustomHeader() const
{
    return settings_->value(kDncHeaderText).toString();
}

void FernportSettings::storeDncCustomHeader(const QString& header)
{
    settings_->setValue(kDncHeaderText, header);
    settings_->sync();
}

DncRestartPoint FernportSettings::dncRestartPoint() const
{
    DncRestartPoint point;
    point.path = settings_->value(kDncRestartFile).toString();
    bool ok = false;
    const qint64 line = settings_->value(kDncRestartLine).toString().toLongLong(&ok);
    point.line = ok && line > 0 ? line : 0;
    point.bytesSent = settings_->value(kDncRestartBytes).toString().toLongLong();
    return point;
}

void FernportSettings::storeDncRestartPoint(const DncRestartPoint& point)
{
    if (!point.valid()) {
        settings_->remove(kDncRestartFile);
        settings_->remove(kDncRestartLine);
        settings_->remove(kDncRestartBytes);
    } else {
        settings_->setValue(kDncRestartFile, point.path);
        settings_->setValue(kDncRestartLine, QString::number(point.line));
        settings_->setValue(kDncRestartBytes, QString::number(point.bytesSent));
    }
    settings_->sync();
}

}  // namespace vantor::fernport
