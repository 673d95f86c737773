#pragma once
// The file choosers and dialogs the frame's commands open, behind one interface so the
// commands run in tests with scripted answers (message boxes go through vantor::Prompter).
#include "rungpad/model/ladderdocument.h"

#include <QDialog>
#include <QString>

class QLineEdit;
class QPrinter;
class QWidget;

namespace rungpad::ui {

class RungpadDialogs {
public:
    virtual ~RungpadDialogs() = default;
    // filter in the older editor's form "text|pattern|...||"; empty result: cancelled.
    virtual QString openFileName(QWidget* parent, const QString& title, const QString& filter) = 0;
    virtual QString saveFileName(QWidget* parent, const QString& title, const QString& proposed,
                                 const QString& filter, const QString& defaultSuffix) = 0;
    // The ladder information dialog; false when cancelled.
    virtual bool editLadderInfo(QWidget* parent, LadderInfo& info, int language) = 0;
    virtual bool pageSetup(QWidget* parent, QPrinter& printer) = 0;
    virtual bool choosePrinter(QWidget* parent, QPrinter& printer) = 0;
};

// "PLC Lad file (*.plf;*.grp)|*.plf;*.grp|...||" as a Qt filter "PLC Lad file (*.plf *.grp);;...".
QString qtFileFilter(const QString& filter);

class WidgetDialogs : public RungpadDialogs {
public:
    QString openFileName(QWidget* parent, const QString& title, const QString& filter) override;
    QString saveFileName(QWidget* parent, const QString& title, const QString& proposed, const QString& filter,
                         const QString& defaultSuffix) override;
    bool editLadderInfo(QWidget* parent, LadderInfo& info, int language) override;
    bool pageSetup(QWidget* parent, QPrinter& printer) override;
    bool choosePrinter(QWidget* parent, QPrinter& printer) override;
};

// "梯形图信息": version, applicable machine and last modifier, cut to what the file holds.
class CLadderInfoDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int kVersionMax = 15;
    static constexpr int kMachineMax = 40;
    static constexpr int kModifierMax = 20;

    CLadderInfoDlg(const LadderInfo& info, int language, QWidget* parent = nullptr);
    LadderInfo info() const;
    QLineEdit* versionEdit() const { return m_version; }
    QLineEdit* machineEdit() const { return m_machine; }
    QLineEdit* modifierEdit() const { return m_modifier; }

private:
    LadderInfo m_info;
    QLineEdit* m_version;
    QLineEdit* m_machine;
    QLineEdit* m_modifier;
};

}  // namespace rungpad::ui
