// SPDX-License-Identifier: GPL-3.0-or-later
#include "fernport/settings.h"

namespace vantor::fernport {

namespace {
const QString kPort = QStringLiteral("Port");
const QString kBaudrate = QStringLiteral("Baudrate");
const QString kDncProtocol = QStringLiteral("DNCProtocol");
const QString kSystem = QStringLiteral("System");
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

}  // namespace vantor::fernport
