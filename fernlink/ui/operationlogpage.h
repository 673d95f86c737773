// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The operation log page: what the send, receive and DNC pages did, oldest first.
#include "fernlink/ui/linkhub.h"

#include <QWidget>

#include <functional>

class QPlainTextEdit;
class QTreeWidget;

namespace vantor::fernlink::ui {

class OperationLogPage : public QWidget {
    Q_OBJECT
public:
    enum Column { ColTime, ColWhat, ColName };

    explicit OperationLogPage(LinkHub& hub, QWidget* parent = nullptr);

    QTreeWidget* entries() const { return entries_; }
    QString what(LogEntry entry) const;
    // Today's transfer log as it lies on disk.
    QPlainTextEdit* transferLogView() const { return diskLog_; }
    // Where Export saves today's transfer log; replaceable so tests can answer. Empty: cancelled.
    std::function<QString()> chooseExportPath;

public Q_SLOTS:
    void append(LogEntry entry, const QString& text);
    void clear();
    void exportTransferLog();
    void showTransferLog();

private:
    LinkHub& hub_;
    QTreeWidget* entries_;
    QPlainTextEdit* diskLog_;
};

}  // namespace vantor::fernlink::ui
