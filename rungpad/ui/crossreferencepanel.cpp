// SPDX-License-Identifier: GPL-3.0-or-later
#include "rungpad/ui/crossreferencepanel.h"

#include "rungpad/review/reviewtexts.h"

#include <QHeaderView>
#include <QLineEdit>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace rungpad::ui {

namespace {
constexpr int kLineRole = Qt::UserRole;
constexpr int kColumnRole = Qt::UserRole + 1;
constexpr int kAddressRole = Qt::UserRole + 2;
constexpr int kEntryRole = Qt::UserRole + 3;

void setPlace(QTreeWidgetItem* item, const Place& place)
{
    item->setData(0, kLineRole, place.line);
    item->setData(0, kColumnRole, place.column);
}
}  // namespace

CCrossReferencePanel::CCrossReferencePanel(QWidget* parent)
    : QWidget(parent), m_filter(new QLineEdit(this)), m_tree(new QTreeWidget(this))
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->addWidget(m_filter);
    layout->addWidget(m_tree);
    m_filter->setClearButtonEnabled(true);
    m_tree->setColumnCount(3);
    m_tree->setUniformRowHeights(true);
    m_tree->setRootIsDecorated(true);
    m_tree->header()->setStretchLastSection(true);
    connect(m_filter, &QLineEdit::textChanged, this, &CCrossReferencePanel::applyFilter);
    connect(m_tree, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem* item) { activate(item); });
    connect(m_tree, &QTreeWidget::itemExpanded, this, &CCrossReferencePanel::listUses);
    retranslate(0);
}

void CCrossReferencePanel::retranslate(int language)
{
    m_language = language;
    m_filter->setPlaceholderText(reviewText(ReviewText::CrossReferenceAll, language));
    const QStringList columns = reviewText(ReviewText::XrefColumns, language).split(QLatin1Char(','));
    m_tree->setHeaderLabels({columns.value(0), columns.value(1), columns.value(4)});
}

void CCrossReferencePanel::rebuild(const LadderProgram* ladder, const CommentTables* comments, int language)
{
    if (language != m_language)
        retranslate(language);
    m_tree->setUpdatesEnabled(false);
    m_tree->clear();
    m_xref = ladder && comments ? buildProgramCrossReference(*ladder, *comments) : ProgramCrossReference{};
    if (!ladder) {
        m_tree->setUpdatesEnabled(true);
        return;
    }
    QList<QTreeWidgetItem*> top;
    auto* warnings = new QTreeWidgetItem({QStringLiteral("%1 (%2)")
                                              .arg(reviewText(ReviewText::XrefWarningsHeading, language))
                                              .arg(m_xref.warnings.size())});
    for (const XrefWarning& w : m_xref.warnings) {
        auto* item = new QTreeWidgetItem(warnings, {warningText(w, language)});
        item->setData(0, kAddressRole, QString::fromLatin1(w.subject));
        item->setToolTip(0, item->text(0));
        if (!w.places.empty())
            setPlace(item, w.places.front());
        for (const Place& p : w.places)
            setPlace(new QTreeWidgetItem(item, {placeText(p)}), p);
    }
    top << warnings;
    for (const AddressEntry& e : m_xref.entries) {
        const QString address = QString::fromLatin1(e.address.text());
        auto* item = new QTreeWidgetItem({address, e.comment, QStringLiteral("R %1  W %2").arg(e.reads()).arg(e.writes())});
        item->setData(0, kAddressRole, address);
        if (!e.comment.isEmpty())
            item->setToolTip(1, e.comment);
        // The uses are listed when the address is opened: a full ladder has tens of
        // thousands of them, and the list is rebuilt after edits.
        item->setData(0, kEntryRole, int(&e - m_xref.entries.data()));
        item->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
        if (!e.uses.empty())
            setPlace(item, {e.uses.front().line, e.uses.front().column});
        top << item;
    }
    m_tree->addTopLevelItems(top);
    // Warnings are sentences: they take the whole width.
    warnings->setFirstColumnSpanned(true);
    for (int i = 0; i < warnings->childCount(); ++i) {
        warnings->child(i)->setFirstColumnSpanned(true);
        for (int j = 0; j < warnings->child(i)->childCount(); ++j)
            warnings->child(i)->child(j)->setFirstColumnSpanned(true);
    }
    warnings->setExpanded(!m_xref.warnings.empty());
    applyFilter();
    m_tree->setUpdatesEnabled(true);
}

QTreeWidgetItem* CCrossReferencePanel::warningsItem() const { return m_tree->topLevelItem(0); }

QTreeWidgetItem* CCrossReferencePanel::addressItem(QByteArrayView address) const
{
    const QString wanted = QString::fromLatin1(address);
    for (int i = 1; i < m_tree->topLevelItemCount(); ++i)
        if (m_tree->topLevelItem(i)->data(0, kAddressRole).toString() == wanted)
            return m_tree->topLevelItem(i);
    return nullptr;
}

void CCrossReferencePanel::listUses(QTreeWidgetItem* item)
{
    const QVariant entry = item ? item->data(0, kEntryRole) : QVariant();
    if (!entry.isValid() || item->childCount() > 0 || entry.toInt() >= int(m_xref.entries.size()))
        return;
    for (const AddressUse& u : m_xref.entries[size_t(entry.toInt())].uses) {
        auto* use = new QTreeWidgetItem(
            item, {placeText({u.line, u.column}),
                   reviewText(isWrite(u.kind) ? ReviewText::AccessWrite : ReviewText::AccessRead, m_language),
                   useText(u, m_language)});
        setPlace(use, {u.line, u.column});
    }
}

void CCrossReferencePanel::applyFilter()
{
    const QString f = m_filter->text().trimmed();
    for (int i = 1; i < m_tree->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = m_tree->topLevelItem(i);
        item->setHidden(!f.isEmpty() && !item->text(0).contains(f, Qt::CaseInsensitive)
                        && !item->text(1).contains(f, Qt::CaseInsensitive));
    }
}

void CCrossReferencePanel::activate(QTreeWidgetItem* item)
{
    if (!item || !item->data(0, kLineRole).isValid())
        return;
    Q_EMIT jumpRequested(item->data(0, kLineRole).toInt(), item->data(0, kColumnRole).toInt());
}

}  // namespace rungpad::ui
