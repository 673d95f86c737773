// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/testing/ptypair.h"

#include <QFileInfo>

namespace vantor::testing {

PtyPair::PtyPair()
{
    socat_.setProgram(QStringLiteral("socat"));
    socat_.setArguments({QStringLiteral("pty,raw,echo=0,link=%1").arg(a()),
                         QStringLiteral("pty,raw,echo=0,link=%1").arg(b())});
    socat_.start();
    if (!socat_.waitForStarted(3000))
        return;
    ok_ = waitUntil([this] { return QFileInfo::exists(a()) && QFileInfo::exists(b()); }, 5000);
}

PtyPair::~PtyPair()
{
    if (socat_.state() != QProcess::NotRunning) {
        socat_.terminate();
        if (!socat_.waitForFinished(2000)) {
            socat_.kill();
            socat_.waitForFinished(2000);
        }
    }
}

}  // namespace vantor::testing
