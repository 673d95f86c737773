// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The progress fields of the send and receive pages: current file, packets, file progress,
// elapsed and remaining time, speed and the bar.
#include "fernlink/ui/linkhub.h"

#include <QLineEdit>
#include <QProgressBar>
#include <QWidget>

namespace vantor::fernlink::ui {

class TransferProgress : public QWidget {
    Q_OBJECT
public:
    TransferProgress(LinkHub& hub, QWidget* parent = nullptr);

    void setCurrentFile(const QString& path);
    void showStatistics(const TransferStatistics& stats);
    // The transfer ended: the remaining time and the speed read zero.
    void showEnded();
    void clear();

    QLineEdit* file;
    QLineEdit* packets;
    QLineEdit* progress;
    QLineEdit* elapsed;
    QLineEdit* remaining;
    QLineEdit* speed;
    QProgressBar* bar;
};

// A read-only field of a page.
QLineEdit* makeField(QWidget* parent);

}  // namespace vantor::fernlink::ui
