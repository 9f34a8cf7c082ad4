// Shows a ListStore in a QTableView and keeps the two in step.
//
// Rows are appended and cells written from any thread; the store wakes this binding once per
// burst, and the binding catches the view up on the user-interface thread at most every
// kFlushInterval: appended rows become one insertion, written cells one dataChanged range, and
// deletions one reset. The selection lives in the store (the logic reads it from any thread);
// clicks in the view are copied into it and selections made by the logic are shown.
#pragma once

#include "base/list_store.h"

#include <QAbstractTableModel>
#include <QElapsedTimer>
#include <QPointer>
#include <QStringList>
#include <QTimer>

#include <chrono>

class QTableView;

namespace tavrin::platform {

using base::ListStore;
using text::Text;

class ListStoreModel final : public QAbstractTableModel
{
public:
    // The column whose tooltip shows a row's note (the marks).
    static constexpr int kNoteColumn = 2;

    ListStoreModel(ListStore& store, QStringList headers, QObject* parent);

    [[nodiscard]] int rowCount(const QModelIndex& parent = {}) const override;
    [[nodiscard]] int columnCount(const QModelIndex& parent = {}) const override;
    [[nodiscard]] QVariant data(const QModelIndex& index, int role) const override;
    [[nodiscard]] QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // Applies the store's pending changes to the model; user-interface thread. Returns them so
    // the caller can apply selection and scrolling.
    ListStore::Changes catchUp();

private:
    ListStore& store_;
    QStringList headers_;
    int shownRows_ = 0;
};

class ListViewBinding final : public QObject
{
public:
    static constexpr std::chrono::milliseconds kFlushInterval{40};

    ListViewBinding(ListStore& store, QTableView* view, QStringList headers);
    ~ListViewBinding() override;

    // Brings the view up to date now (tests, screenshots).
    void flush();

private:
    void changesPending();
    void copySelectionToStore();

    ListStore& store_;
    QPointer<QTableView> view_;
    ListStoreModel* model_;
    QTimer flushTimer_;
    QElapsedTimer sinceFlush_;
    bool showingStoreSelection_ = false;
};

} // namespace tavrin::platform
