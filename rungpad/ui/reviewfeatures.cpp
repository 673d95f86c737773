// SPDX-License-Identifier: GPL-3.0-or-later
#include "rungpad/ui/reviewfeatures.h"

#include "common/archive.h"
#include "common/datapaths.h"
#include "rungpad/files/compilerconversion.h"
#include "rungpad/files/ladderfile.h"
#include "rungpad/files/languagesetting.h"
#include "rungpad/review/annotations.h"
#include "rungpad/review/crossreference.h"
#include "rungpad/review/reviewtexts.h"
#include "rungpad/ui/comparewindow.h"
#include "rungpad/ui/crossreferencepanel.h"
#include "rungpad/ui/mainframe.h"
#include "rungpad/ui/outputwindows.h"
#include "rungpad/ui/rungpaddoc.h"
#include "rungpad/ui/rungpadview.h"

#include <QAction>
#include <QDir>
#include <QDockWidget>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QHelpEvent>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QSettings>
#include <QTimer>
#include <QToolTip>

namespace rungpad::ui {

namespace {

const char* kShowCommentsKey = "VANTORQ5RUNGPAD/ShowComments";
const char* kPrintAppendixKey = "VANTORQ5RUNGPAD/PrintCrossReference";
const char* kAutosaveSecondsKey = "VANTORQ5RUNGPAD/AutosaveSeconds";
// How often the copies are looked at; a copy is made once its document's interval ran out.
constexpr int kAutosaveCheckMs = 5000;

QSettings profile()
{
    return QSettings(QString::fromLatin1(kSettingsOrganization), QString::fromLatin1(kSettingsApplication));
}

QString autosaveFolderFor(const FrameOptions& options)
{
    // Never beside the user's files: the program's own data folder (a test's own folder
    // when it gives one).
    const QString base = options.programFolder.isEmpty() ? vantor::userDataFolder(QStringLiteral("rungpad"))
                                                         : options.programFolder;
    return QDir(base).filePath(QStringLiteral("autosave"));
}

std::function<qint64()> clockFor(const FrameOptions& options)
{
    if (options.clock)
        return options.clock;
    auto timer = std::make_shared<QElapsedTimer>();
    timer->start();
    return [timer] { return timer->elapsed(); };
}

QByteArray documentBytes(const LadderDocument& d)
{
    return formatLadderPart(d.editLadder, d.info, NumberField::FromText) + formatCommentRecords(d.editLadder, d.comments);
}

}  // namespace

ReviewFeatures::ReviewFeatures(CMainFrame* frame, const FrameOptions& options)
    : QObject(frame), m_frame(frame), m_clock(clockFor(options)),
      m_store(options.autosaveFolder.isEmpty() ? autosaveFolderFor(options) : options.autosaveFolder),
      m_schedule(qint64(kDefaultAutosaveSeconds) * 1000), m_autosaveTimer(new QTimer(this)), m_xrefTimer(new QTimer(this)),
      m_showComments(new QAction(this)), m_printAppendix(new QAction(this)), m_compare(new QAction(this)),
      m_exportXref(new QAction(this)), m_viewXref(new QAction(this)), m_dock(new QDockWidget(frame)),
      m_panel(new CCrossReferencePanel(m_dock))
{
    const QSettings settings = profile();
    m_schedule.setInterval(qint64(settings.value(QLatin1String(kAutosaveSecondsKey), kDefaultAutosaveSeconds).toInt()) * 1000);
    m_showComments->setCheckable(true);
    m_showComments->setChecked(settings.value(QLatin1String(kShowCommentsKey), false).toBool());
    m_printAppendix->setCheckable(true);
    m_printAppendix->setChecked(settings.value(QLatin1String(kPrintAppendixKey), false).toBool());
    connect(m_showComments, &QAction::toggled, this, [this](bool on) {
        profile().setValue(QLatin1String(kShowCommentsKey), on);
        for (CRungpadView* v : m_frame->views())
            v->setCommentsShown(on);
    });
    connect(m_printAppendix, &QAction::toggled, this, [](bool on) { profile().setValue(QLatin1String(kPrintAppendixKey), on); });
    connect(m_compare, &QAction::triggered, this, &ReviewFeatures::compareCommand);
    connect(m_exportXref, &QAction::triggered, this, &ReviewFeatures::exportCrossReferenceCommand);

    // Menus: the option beside the other view choices, the print choice and the report with
    // printing, Compare in the Window menu.
    m_frame->m_viewMenu->addSeparator();
    m_frame->m_viewMenu->addAction(m_showComments);
    m_frame->m_viewMenu->addAction(m_viewXref);
    const QList<QAction*> fileActions = m_frame->m_fileMenu->actions();
    const qsizetype pdfAt = fileActions.indexOf(m_frame->action(CMainFrame::ExportPdf));
    QAction* before = pdfAt >= 0 && pdfAt + 1 < fileActions.size() ? fileActions[pdfAt + 1] : nullptr;
    m_frame->m_fileMenu->insertAction(before, m_printAppendix);
    m_frame->m_fileMenu->insertAction(before, m_exportXref);
    m_frame->m_windowMenu->addSeparator();
    m_frame->m_windowMenu->addAction(m_compare);

    m_dock->setObjectName(QStringLiteral("programCrossReferenceWindow"));
    m_dock->setWidget(m_panel);
    m_frame->addDockWidget(Qt::RightDockWidgetArea, m_dock);
    m_frame->tabifyDockWidget(m_frame->m_xrefDock, m_dock);
    // The cursor's list stays in front; the whole program's is one tab away.
    m_frame->m_xrefDock->raise();
    m_viewXref->setCheckable(true);
    m_viewXref->setChecked(true);
    connect(m_viewXref, &QAction::triggered, this, [this](bool on) { m_dock->setVisible(on); });
    connect(m_dock, &QDockWidget::visibilityChanged, this, [this](bool visible) {
        m_viewXref->setChecked(!m_dock->isHidden());
        if (visible)
            scheduleCrossReference();
    });
    connect(m_panel, &CCrossReferencePanel::jumpRequested, this, &ReviewFeatures::jumpTo);
    m_xrefTimer->setSingleShot(true);
    m_xrefTimer->setInterval(250);
    connect(m_xrefTimer, &QTimer::timeout, this, &ReviewFeatures::refreshCrossReference);
    connect(m_frame->m_mdi, &QMdiArea::subWindowActivated, this, [this] { scheduleCrossReference(); });

    connect(m_autosaveTimer, &QTimer::timeout, this, &ReviewFeatures::autosaveTick);
    if (m_schedule.interval() > 0)
        m_autosaveTimer->start(kAutosaveCheckMs);
    // Once the frame is up: what a crashed session left.
    QTimer::singleShot(0, this, [this] { offerRecovery(); });
}

ReviewFeatures::~ReviewFeatures() = default;

void ReviewFeatures::retranslate()
{
    const int lang = m_frame->m_language;
    m_showComments->setText(reviewText(ReviewText::ShowComments, lang));
    m_printAppendix->setText(reviewText(ReviewText::PrintCrossReference, lang));
    m_compare->setText(reviewText(ReviewText::CompareCommand, lang));
    m_exportXref->setText(reviewText(ReviewText::CrossReferenceReport, lang));
    m_viewXref->setText(reviewText(ReviewText::XrefWindowCommand, lang));
    m_dock->setWindowTitle(reviewText(ReviewText::XrefHeading, lang));
    m_panel->retranslate(lang);
    scheduleCrossReference();
}

void ReviewFeatures::viewAdded(CRungpadView* view)
{
    CRungpadDoc* doc = view->document();
    view->setCommentsShown(m_showComments->isChecked());
    view->viewport()->installEventFilter(this);
    DocumentState state;
    state.key = m_store.newKey();
    if (doc->hasPath())
        state.stamp = stampOf(doc->path());
    m_documents.insert(doc, state);
    connect(doc, &CRungpadDoc::modifiedChanged, this, [this, doc] { documentChanged(doc); });
    connect(doc, &CRungpadDoc::edited, this, [this, doc] { documentChanged(doc); });
    connect(doc, &CRungpadDoc::ladderChanged, this, [this, view] {
        if (view == m_xrefView || view == m_frame->activeView())
            scheduleCrossReference();
    });
    // However the document goes (saved, closed unsaved, the frame closing), its copy goes
    // with it; only a crash leaves one.
    connect(view, &QObject::destroyed, this, [this, doc] {
        const auto it = m_documents.constFind(doc);
        if (it == m_documents.constEnd())
            return;
        m_store.remove(it->key);
        m_schedule.clear(quintptr(doc));
        m_documents.erase(it);
    });
    if (doc->isModified())
        m_schedule.modified(quintptr(doc), m_clock());
    scheduleCrossReference();
}

void ReviewFeatures::documentChanged(CRungpadDoc* doc)
{
    if (doc->isModified())
        m_schedule.modified(quintptr(doc), m_clock());
}

QString ReviewFeatures::autosaveKey(CRungpadView* view) const
{
    return m_documents.value(view->document()).key;
}

void ReviewFeatures::setAutosaveInterval(qint64 milliseconds)
{
    m_schedule.setInterval(milliseconds);
    if (milliseconds > 0)
        m_autosaveTimer->start(kAutosaveCheckMs);
    else
        m_autosaveTimer->stop();
}

void ReviewFeatures::autosaveTick()
{
    const std::vector<quintptr> due = m_schedule.due(m_clock());
    for (CRungpadView* view : m_frame->views()) {
        CRungpadDoc* doc = view->document();
        if (std::find(due.begin(), due.end(), quintptr(doc)) == due.end() || !doc->isModified())
            continue;
        const auto it = m_documents.constFind(doc);
        if (it == m_documents.constEnd())
            continue;
        const vantor::ArchiveFileResult r = m_store.write(it->key, documentBytes(doc->data()), doc->path(),
                                                          doc->displayName(m_frame->m_language), QDateTime::currentDateTime(),
                                                          it->stamp);
        if (!r.ok) {
            m_frame->m_output->outputLine(reviewText(ReviewText::AutosaveFailed, m_frame->m_language).arg(r.error));
            m_schedule.modified(quintptr(doc), m_clock());   // try again after another interval
        }
    }
}

int ReviewFeatures::offerRecovery()
{
    int recovered = 0;
    const int lang = m_frame->m_language;
    for (const AutosaveEntry& e : m_store.leftovers()) {
        const QString name = e.displayName.isEmpty() ? QFileInfo(e.originalPath).fileName() : e.displayName;
        const vantor::Answer answer = m_frame->m_prompter->ask(
            reviewText(ReviewText::RecoverQuestion, lang).arg(name, QLocale().toString(e.savedAt, QLocale::ShortFormat)),
            vantor::Buttons::YesNo);
        if (answer != vantor::Answer::Yes) {
            m_store.remove(e.key);
            continue;
        }
        auto doc = std::make_unique<CRungpadDoc>(e.originalPath.isEmpty() ? ++m_frame->m_untitledCount : 0);
        if (!doc->open(e.ladderFile, m_frame->env())) {
            m_frame->m_prompter->inform(vantor::Severity::Error, reviewText(ReviewText::RecoverFailed, lang).arg(name));
            continue;   // the copy stays for another try
        }
        // Back under its own name, and unsaved: the user decides where it goes.
        doc->data().pathName = e.originalPath;
        doc->data().setModified(true);
        CRungpadDoc* raw = doc.release();
        m_frame->addChild(raw);
        // What the file was when the lost session read it, not what it is now.
        if (e.originalStamp.exists)
            m_documents[raw].stamp = e.originalStamp;
        Q_EMIT raw->pathChanged(e.originalPath);
        Q_EMIT raw->modifiedChanged(true);
        m_store.remove(e.key);
        ++recovered;
    }
    return recovered;
}

bool ReviewFeatures::confirmOverwrite(CRungpadView* view, const QString& path)
{
    CRungpadDoc* doc = view->document();
    const auto it = m_documents.constFind(doc);
    if (it == m_documents.constEnd() || !doc->hasPath() || !it->stamp.exists
        || QFileInfo(path).absoluteFilePath() != QFileInfo(doc->path()).absoluteFilePath())
        return true;
    if (stampOf(path) == it->stamp)
        return true;
    return m_frame->m_prompter->ask(reviewText(ReviewText::ChangedOnDisk, m_frame->m_language).arg(doc->displayName(m_frame->m_language)),
                                    vantor::Buttons::YesNo)
        == vantor::Answer::Yes;
}

void ReviewFeatures::documentSaved(CRungpadView* view)
{
    CRungpadDoc* doc = view->document();
    auto it = m_documents.find(doc);
    if (it == m_documents.end())
        return;
    it->stamp = stampOf(doc->path());
    m_schedule.clear(quintptr(doc));
    m_store.remove(it->key);
}

PrintJob ReviewFeatures::printJobFor(CRungpadView* view) const
{
    PrintJob job;
    const CRungpadDoc* doc = view->document();
    job.ladder = &doc->ladder();
    job.comments = &doc->data().comments;
    job.info = doc->data().info;
    job.fileName = doc->displayName(m_frame->m_language);
    job.printDate = QDate::currentDate();
    job.showComments = m_showComments->isChecked();
    job.language = m_frame->m_language;
    if (m_printAppendix->isChecked())
        job.appendix = crossReferenceAppendix(doc->ladder(), doc->data().comments, job.language);
    return job;
}

void ReviewFeatures::scheduleCrossReference()
{
    // Only while its tab is shown: a 5000-line list need not be refilled behind another.
    if (m_dock->isVisible())
        m_xrefTimer->start();
}

void ReviewFeatures::refreshCrossReference()
{
    CRungpadView* view = m_frame->activeView();
    m_xrefView = view;
    if (!view) {
        m_panel->rebuild(nullptr, nullptr, m_frame->m_language);
        return;
    }
    m_panel->rebuild(&view->document()->ladder(), &view->document()->data().comments, m_frame->m_language);
}

void ReviewFeatures::jumpTo(int line, int column)
{
    CRungpadView* view = m_xrefView;
    if (!view)
        return;
    for (QMdiSubWindow* w : m_frame->m_mdi->subWindowList())
        if (w->widget() == view)
            m_frame->m_mdi->setActiveSubWindow(w);
    view->setCursorCell({line, column});
    view->setFocus();
}

bool ReviewFeatures::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::ToolTip)
        return QObject::eventFilter(watched, event);
    for (CRungpadView* view : m_frame->views()) {
        if (view->viewport() != watched)
            continue;
        auto* help = static_cast<QHelpEvent*>(event);
        const CellPos cell = view->cellAt(help->pos());
        const LadderProgram& ladder = view->document()->ladder();
        QString tip;
        if (help->pos().x() > view->cellRect(cell.line, kColumns - 1).right() + 2)
            tip = ladder.note(cell.line);   // the whole note, however long
        else
            tip = cellToolTip(ladder, view->document()->data().comments, cell.line, cell.column, m_frame->m_language);
        if (tip.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), tip, view->viewport(), view->cellRect(cell.line, cell.column));
        return true;
    }
    return QObject::eventFilter(watched, event);
}

CCompareWindow* ReviewFeatures::compareWith(const QString& path)
{
    CRungpadView* view = m_frame->activeView();
    const int lang = m_frame->m_language;
    if (!view) {
        m_frame->m_prompter->inform(vantor::Severity::Information, reviewText(ReviewText::CompareNeedsDocument, lang));
        return nullptr;
    }
    LadderDocument other;
    CompilerConversion conversion(lang);
    if (!LadderFileCommands(other, conversion, m_frame->env()).open(path))
        return nullptr;
    auto* window = new CCompareWindow(view->document()->ladder(), view->document()->displayName(lang), other.editLadder,
                                      QFileInfo(path).fileName(), lang, m_frame);
    window->show();
    return window;
}

void ReviewFeatures::compareCommand()
{
    if (!m_frame->activeView()) {
        compareWith(QString());
        return;
    }
    const QString path = m_frame->m_dialogs->openFileName(m_frame, reviewText(ReviewText::CompareChooseFile, m_frame->m_language),
                                                          fileMessage(FileMessage::OpenLadderFilter, m_frame->m_language));
    if (!path.isEmpty())
        compareWith(path);
}

bool ReviewFeatures::exportCrossReference(CRungpadView* view, const QString& path)
{
    const int lang = m_frame->m_language;
    const ProgramCrossReference xref = buildProgramCrossReference(view->document()->ladder(), view->document()->data().comments);
    const bool csv = path.endsWith(QLatin1String(".csv"), Qt::CaseInsensitive);
    const QString text = csv ? formatCrossReferenceCsv(xref, lang) : formatCrossReference(xref, lang);
    const vantor::ArchiveFileResult r = vantor::saveFileAtomically(path, text.toUtf8());
    if (!r.ok) {
        m_frame->m_prompter->inform(vantor::Severity::Error, r.error);
        return false;
    }
    m_frame->m_output->outputLine(QDir::toNativeSeparators(path));
    return true;
}

void ReviewFeatures::exportCrossReferenceCommand()
{
    CRungpadView* view = m_frame->activeView();
    if (!view)
        return;
    const QString base = view->document()->hasPath()
        ? view->document()->path()
        : QDir(m_frame->defaultFolder(view)).filePath(view->document()->displayName(m_frame->m_language) + QStringLiteral(".plf"));
    const QString path = m_frame->m_dialogs->saveFileName(
        m_frame, reviewText(ReviewText::CrossReferenceReport, m_frame->m_language).remove(QLatin1Char('&')),
        withExtension(base, QStringLiteral(".txt")),
        QStringLiteral("Text file (*.txt)|*.txt|CSV (*.csv)|*.csv||"), QStringLiteral("txt"));
    if (!path.isEmpty())
        exportCrossReference(view, path);
}

}  // namespace rungpad::ui
