// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The windows of the transfer flows: the send and receive lists, the partition and rename
// questions, and the two progress windows. They show what the flows hold and pass the
// user's commands on as signals; the flows themselves live in transferflows.h.
#include "fernport/transferflows.h"

#include <QDialog>

#include <optional>

class QCheckBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QTableWidget;

namespace vantor::fernport {

enum class PartChoice { User, Sys, Upgrade };

// "Select Part Dialog".
class CPartSelDlg : public QDialog {
    Q_OBJECT
public:
    explicit CPartSelDlg(QWidget* parent = nullptr);
    PartChoice choice() const;

private:
    QRadioButton* user_;
    QRadioButton* sys_;
    QRadioButton* upgrade_;
};

// "Rename Dialog": the refused name and a new one.
class CRenameDlg : public QDialog {
    Q_OBJECT
public:
    CRenameDlg(const QString& oldName, QWidget* parent = nullptr);
    QString newName() const;

private:
    QLineEdit* new_;
};

class CSendFileDlg : public QDialog {
    Q_OBJECT
public:
    explicit CSendFileDlg(const SendFlow& flow, QWidget* parent = nullptr);
    void refresh();
    void refreshEntry(int index);
    QList<int> selectedRows() const;
    bool editedOnly() const;
    void setEditedOnly(bool on);
    QTableWidget* list() const { return list_; }
    QString countText() const;

Q_SIGNALS:
    void addRequested();
    void sendRequested();
    void removeRequested(QList<int> rows);
    void clearRequested();

private:
    void showContextMenu(const QPoint& at);

    const SendFlow& flow_;
    QTableWidget* list_;
    QLabel* count_;
    QPushButton* add_;
    QCheckBox* editedOnly_;
};

class CReceiveFileDlg : public QDialog {
    Q_OBJECT
public:
    explicit CReceiveFileDlg(ReceiveFlow& flow, QWidget* parent = nullptr);
    void refresh();
    void refreshEntry(int index);
    QList<int> selectedRows() const;
    void setBusy(bool busy);
    QTableWidget* list() const { return list_; }

Q_SIGNALS:
    void getListRequested();
    void receiveRequested();

private:
    ReceiveFlow& flow_;
    QTableWidget* list_;
    QList<QPushButton*> buttons_;
};

// "Sending": the file on its way, its blocks and the NAKs counted.
class CProcessDlg : public QDialog {
    Q_OBJECT
public:
    explicit CProcessDlg(QWidget* parent = nullptr);
    void reset(const QString& name, const QString& partition);
    void setTotal(int total);
    void step(int position);
    void countNak();
    // A DNC run was cut off: the window keeps its figures, says why and where the program
    // can start again, and its button only closes it (until the next reset).
    void showInterrupted(const QString& text);
    bool interrupted() const { return ended_; }
    QString noteText() const;

    QString nameText() const;
    QString partitionText() const;
    QString stepText() const;
    int errors() const { return errors_; }
    int position() const;

Q_SIGNALS:
    void cancelRequested();

protected:
    void reject() override;

private:
    QLabel* note_;
    QPushButton* cancel_;
    bool ended_ = false;
    QLabel* name_;
    QLabel* partition_;
    QProgressBar* bar_;
    QLabel* steps_;
    QLabel* errorsLabel_;
    int done_ = 0;
    int total_ = 0;
    int errors_ = 0;
};

// "Receiving": the file being fetched, where it goes, its good and bad blocks.
class CReceivingDlg : public QDialog {
    Q_OBJECT
public:
    explicit CReceivingDlg(QWidget* parent = nullptr);
    void setFile(const QString& name, const QString& folder);
    void countGood();
    void countBad();
    int good() const { return good_; }
    int bad() const { return bad_; }
    QString nameText() const;

Q_SIGNALS:
    void cancelRequested();

protected:
    void reject() override { Q_EMIT cancelRequested(); }

private:
    QLabel* name_;
    QLabel* folder_;
    QLabel* goodLabel_;
    QLabel* badLabel_;
    int good_ = 0;
    int bad_ = 0;
};

}  // namespace vantor::fernport
