// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The send page (PC -> CNC): the queue of PC files with their controller names and areas,
// saved and loaded lists, and the send over whichever link is up.
#include "fernlink/ui/linkhub.h"
#include "fernlink/ui/pageflows.h"

#include <map>
#include <QWidget>

#include <functional>
#include <optional>

class QMenu;
class QPushButton;

namespace vantor::fernlink::ui {

class SortableList;
class TransferProgress;

class SendPage : public QWidget, public LinkReceiver, private EthernetObserver {
    Q_OBJECT
public:
    enum Column { ColNumber, ColCheck, ColPath, ColTarget, ColSize, ColPartition, ColState };

    explicit SendPage(LinkHub& hub, QWidget* parent = nullptr);
    ~SendPage() override;

    SortableList* list() const { return list_; }
    TransferProgress* progressFields() const { return progress_; }

    // The dialogs, replaceable so tests can answer them.
    struct FileChoice {
        QStringList paths;
        TargetArea area = TargetArea::User;
    };
    std::function<std::optional<FileChoice>(TargetArea lastArea)> chooseFiles;
    std::function<QString()> chooseSavePath;
    std::function<QString()> chooseLoadPath;
    struct RowEdit {
        QString path;
        QString targetName;
        TargetArea area = TargetArea::User;
    };
    std::function<std::optional<RowEdit>(const RowEdit& current)> chooseRowEdit;
    // The new name for a file the controller holds already; unset, the hub's prompter asks.
    std::function<std::optional<QString>(const QString& oldName, const QString& partition)> askNewName;

    // What Add does with the files the dialog gave.
    void addFiles(const QStringList& paths, TargetArea area);
    void saveListTo(const QString& path);
    void loadListFrom(const QString& path);
    // What OK in the row editor does to the row.
    void editRow(int row, const RowEdit& edit);
    // The list's context menu, its entries greyed where they would be refused.
    void fillContextMenu(QMenu& menu);

    // LinkReceiver
    void linkBytes(QByteArrayView chunk) override;
    void linkTimer(int id) override;
    void linkClosed() override;
    void linkReadError() override;
    void serialLost() override;

public Q_SLOTS:
    void add();
    void removeSelected();
    void clearList();
    void saveList();
    void loadList();
    void selectAll();
    void editSelected();
    void send();
    void stop();

private:
    // EthernetObserver
    void rowChanged(int row) override;
    void currentFile(const QString& path) override;
    void progress(const TransferStatistics& stats) override;
    void log(LogEntry entry, const QString& text) override;
    void finished(bool completed) override;
    void dropLink() override;
    void transferred(const TransferRecord& record) override { hub_.record(record); }

    bool sending() const;
    bool refuseWhileSending(Msg text);
    std::vector<SendRow>& flowRows();
    // The rows of the running batch whose state changed, by row, with their last state.
    std::map<int, QString> batch_;
    int batchSelected_ = 0;
    bool startOn(LinkType link);
    void insertTop(const QStringList& texts);
    bool queued(const QString& path) const;

    // The hub's prompter, except that the question for a new name gets the rename dialog.
    class PagePrompter : public Prompter {
    public:
        explicit PagePrompter(SendPage& page) : page_(page) {}
        Answer ask(const QString& text, Buttons buttons) override { return page_.hub_.prompter.ask(text, buttons); }
        void inform(Severity severity, const QString& text) override { page_.hub_.prompter.inform(severity, text); }
        Answer ask(const QString& text, Buttons buttons, const QString& caption) override
        {
            return page_.hub_.prompter.ask(text, buttons, caption);
        }
        void inform(Severity severity, const QString& text, const QString& caption) override
        {
            page_.hub_.prompter.inform(severity, text, caption);
        }
        std::optional<QString> askText(const QString& prompt, const QString& initial) override;
        std::optional<QString> askText(const QString& prompt, const QString& initial, const QString& caption) override
        {
            return page_.askNewName ? askText(prompt, initial) : page_.hub_.prompter.askText(prompt, initial, caption);
        }

    private:
        SendPage& page_;
    };

    LinkHub& hub_;
    PagePrompter prompter_;
    QString currentPath_;
    PageFlows flows_;
    TargetArea lastArea_ = TargetArea::User;

    SortableList* list_;
    TransferProgress* progress_;
    QPushButton* sendButton_;
};

}  // namespace vantor::fernlink::ui
