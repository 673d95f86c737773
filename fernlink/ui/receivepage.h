// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The receive page (CNC -> PC): the controller's file list (its own areas, or its USB disk
// over Ethernet), receiving the selected files into a folder, deleting them on the controller.
#include "fernlink/link/deleterun.h"
#include "fernlink/ui/linkhub.h"
#include "fernlink/ui/pageflows.h"

#include <map>
#include <QWidget>

#include <functional>

class QMenu;

namespace vantor::fernlink::ui {

class SortableList;
class TransferProgress;

class ReceivePage : public QWidget, public LinkReceiver, private EthernetObserver {
    Q_OBJECT
public:
    enum Column { ColNumber, ColName, ColSize, ColPartition, ColState };

    explicit ReceivePage(LinkHub& hub, QWidget* parent = nullptr);
    ~ReceivePage() override;

    SortableList* list() const { return list_; }
    TransferProgress* progressFields() const { return progress_; }

    // The folder browser, replaceable so tests can answer it; empty means cancelled.
    std::function<QString()> chooseFolder;

    // The list's context menu, its entries greyed where they would be refused.
    void fillContextMenu(QMenu& menu);

    // LinkReceiver
    void linkBytes(QByteArrayView chunk) override;
    void linkTimer(int id) override;
    void linkClosed() override;
    void linkReadError() override;
    void serialLost() override;

public Q_SLOTS:
    void getCncList();
    void getUsbList();
    void deleteFromList();
    void deleteFiles();
    void receive();
    void selectAll();
    void stop();

private:
    enum class Job { None, List, Receive, Delete };

    // EthernetObserver
    void rowChanged(int row) override;
    void rowRemoved(int row) override;
    void listChanged() override;
    void currentFile(const QString& path) override;
    void progress(const TransferStatistics& stats) override;
    void log(LogEntry entry, const QString& text) override;
    void finished(bool completed) override;
    void dropLink() override;
    void transferred(const TransferRecord& record) override { hub_.record(record); }

    void getList(bool usb);
    std::vector<RemoteFileRow> rowsFromList() const;
    std::vector<RemoteFileRow>& jobRows();
    void showRows(const std::vector<RemoteFileRow>& rows);
    bool mayBegin(Job job, LinkType link);
    bool begin(Job job, LinkType link);
    void refused();

    // The hub's prompter; what a delete shows under its own caption is why it ended short.
    class DeletePrompter : public Prompter {
    public:
        DeletePrompter(LinkHub& hub, DeleteRun& run) : hub_(hub), run_(run) {}
        Answer ask(const QString& text, Buttons buttons) override { return hub_.prompter.ask(text, buttons); }
        Answer ask(const QString& text, Buttons buttons, const QString& caption) override
        {
            return hub_.prompter.ask(text, buttons, caption);
        }
        void inform(Severity severity, const QString& text) override { hub_.prompter.inform(severity, text); }
        void inform(Severity severity, const QString& text, const QString& caption) override
        {
            if (caption == hub_.text(Msg::DeleteFileCaption))
                run_.shown(text);
            hub_.prompter.inform(severity, text, caption);
        }
        std::optional<QString> askText(const QString& prompt, const QString& initial) override
        {
            return hub_.prompter.askText(prompt, initial);
        }
        std::optional<QString> askText(const QString& prompt, const QString& initial, const QString& caption) override
        {
            return hub_.prompter.askText(prompt, initial, caption);
        }

    private:
        LinkHub& hub_;
        DeleteRun& run_;
    };

    LinkHub& hub_;
    DeleteRun deleteRun_;
    DeletePrompter prompter_;
    PageFlows flows_;
    Job job_ = Job::None;
    std::map<int, QString> batch_;  // rows of the running receive whose state changed
    int batchSelected_ = 0;
    LinkReceiver* previousReceiver_ = nullptr;
    bool waitCursor_ = false;

    SortableList* list_;
    TransferProgress* progress_;
};

}  // namespace vantor::fernlink::ui
