// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The DNC page: streams the editor's program from a chosen line while the controller runs
// it, over whichever link is up, and shows how far it got.
#include "fernlink/link/dncflow.h"
#include "fernlink/ui/linkhub.h"

#include <QWidget>

class QLineEdit;
class QProgressBar;

namespace vantor::fernlink::ui {

class DncPage : public QWidget, public LinkReceiver, private EthernetObserver {
    Q_OBJECT
public:
    explicit DncPage(LinkHub& hub, QWidget* parent = nullptr);
    ~DncPage() override;

    DncFlow& flow() { return flow_; }

    QLineEdit* file;
    QLineEdit* packets;
    QLineEdit* errorCheck;
    QLineEdit* retries;
    QLineEdit* totalErrors;
    QLineEdit* progressField;
    QLineEdit* elapsed;
    QLineEdit* remaining;
    QLineEdit* speed;
    QProgressBar* bar;

    // LinkReceiver
    void linkBytes(QByteArrayView chunk) override;
    void linkTimer(int id) override;
    void linkClosed() override;
    void linkReadError() override;
    void serialLost() override;

public Q_SLOTS:
    void start();
    void stop();

private:
    // EthernetObserver
    void currentFile(const QString& path) override;
    void progress(const TransferStatistics& stats) override;
    void log(LogEntry entry, const QString& text) override;
    void finished(bool completed) override;
    void dropLink() override;
    void transferred(const TransferRecord& record) override { hub_.record(record); }

    void refresh();
    void clearFields();

    LinkHub& hub_;
    DncFlow flow_;
    bool ethernet_ = false;
};

}  // namespace vantor::fernlink::ui
