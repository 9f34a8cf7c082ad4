#include "platform/qt/list_view_binding.h"

#include "platform/qt/qt_text.h"

#include <QItemSelectionModel>
#include <QTableView>

namespace tavrin::platform {

ListStoreModel::ListStoreModel(ListStore& store, QStringList headers, QObject* parent)
    : QAbstractTableModel(parent)
    , store_(store)
    , headers_(std::move(headers))
{}

int ListStoreModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : shownRows_;
}

int ListStoreModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ListStore::kColumnCount;
}

QVariant ListStoreModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid())
        return {};
    switch (role) {
    case Qt::ToolTipRole:
        // Over a mark, what the check found; elsewhere (and before any check) the cell itself.
        if (index.column() == kNoteColumn) {
            const Text note = store_.note(index.row());
            if (!note.empty())
                return toQString(note).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        }
        [[fallthrough]];
    case Qt::DisplayRole:
        // Between a deletion and the next catch-up the store may hold fewer rows than shown;
        // cell() then gives empty text, which shows as a blank row for an instant.
        return toQString(store_.cell(index.row(), index.column()));
    case Qt::TextAlignmentRole:
        return index.column() == 1 ? QVariant(Qt::AlignCenter) : QVariant(Qt::AlignLeft | Qt::AlignVCenter);
    default:
        return {};
    }
}

QVariant ListStoreModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= headers_.size())
        return {};
    if (role == Qt::DisplayRole)
        return headers_.at(section);
    if (role == Qt::TextAlignmentRole)
        return section == 1 ? QVariant(Qt::AlignCenter) : QVariant(Qt::AlignLeft | Qt::AlignVCenter);
    return {};
}

ListStore::Changes ListStoreModel::catchUp()
{
    ListStore::Changes changes = store_.takeChanges();
    if (changes.reset) {
        beginResetModel();
        shownRows_ = changes.rowCount;
        endResetModel();
        return changes;
    }
    if (changes.rowCount > shownRows_) {
        beginInsertRows({}, shownRows_, changes.rowCount - 1);
        shownRows_ = changes.rowCount;
        endInsertRows();
    }
    const int lastDirty = std::min(changes.lastDirty, shownRows_ - 1);
    if (changes.firstDirty <= lastDirty)
        emit dataChanged(index(changes.firstDirty, 0), index(lastDirty, ListStore::kColumnCount - 1));
    return changes;
}

ListViewBinding::ListViewBinding(ListStore& store, QTableView* view, QStringList headers)
    : QObject(view)
    , store_(store)
    , view_(view)
    , model_(new ListStoreModel(store, std::move(headers), this))
{
    view->setModel(model_);
    flushTimer_.setSingleShot(true);
    connect(&flushTimer_, &QTimer::timeout, this, &ListViewBinding::flush);
    connect(view->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &ListViewBinding::copySelectionToStore);
    sinceFlush_.start();
    // The store calls this from whatever thread changed it; hop to ours.
    store_.setObserver([this] {
        QMetaObject::invokeMethod(
            this, [this] { changesPending(); }, Qt::QueuedConnection);
    });
    flush();
}

ListViewBinding::~ListViewBinding()
{
    store_.setObserver({});
}

void ListViewBinding::changesPending()
{
    const auto elapsed = std::chrono::milliseconds(sinceFlush_.elapsed());
    if (elapsed >= kFlushInterval) {
        flush();
        return;
    }
    if (!flushTimer_.isActive())
        flushTimer_.start(kFlushInterval - elapsed);
}

void ListViewBinding::flush()
{
    flushTimer_.stop();
    sinceFlush_.restart();
    const ListStore::Changes changes = model_->catchUp();
    if (!view_)
        return;
    if (changes.reset || changes.selectionChanged) {
        showingStoreSelection_ = true;
        if (changes.selection >= 0) {
            view_->selectionModel()->setCurrentIndex(model_->index(changes.selection, 0),
                                                     QItemSelectionModel::ClearAndSelect |
                                                         QItemSelectionModel::Rows);
        } else {
            view_->selectionModel()->clearSelection();
        }
        showingStoreSelection_ = false;
    }
    if (changes.scrollTo >= 0 && changes.scrollTo < model_->rowCount())
        view_->scrollTo(model_->index(changes.scrollTo, 0));
}

void ListViewBinding::copySelectionToStore()
{
    if (showingStoreSelection_ || !view_)
        return;
    const QModelIndexList rows = view_->selectionModel()->selectedRows();
    // The store reports this back as a selection change on the next flush; showing it again
    // is a no-op for the view.
    store_.setSelection(rows.isEmpty() ? -1 : rows.first().row());
}

} // namespace tavrin::platform
