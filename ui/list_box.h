#pragma once

#include "text/text.h"

#include <QAbstractListModel>
#include <QBasicTimer>
#include <QElapsedTimer>
#include <QListView>

#include <cstdint>
#include <vector>

namespace ui {

// The items of a list in chunks that never grow past their capacity, so appending never
// moves the items already stored (at a million items a vector's regrowth would move them
// all into freshly faulted memory, a stall of a tenth of a second). The first chunk may be
// a whole vector taken over as it is; the others hold kChunkSize items each.
class TextChunks {
public:
    static constexpr size_t kChunkSize = 65536;

    size_t size() const { return m_size; }
    const Text& operator[](size_t index) const;
    void push_back(Text item);
    // Replaces everything by items without copying them; returns the old chunks.
    std::vector<std::vector<Text>> adopt(std::vector<Text> items);
    std::vector<Text> copy() const;

private:
    std::vector<std::vector<Text>> m_chunks;
    size_t m_size = 0;
};

// Items of a list box kept as code page 936 bytes; only the rows the view asks for are
// converted, so a list of a million keywords costs its bytes and nothing per row.
//
// A list view lays out all its rows again after every insertion. Once that gets expensive,
// appended items are announced to the views together, no sooner than four layout times
// after the last announcement, so a stream of appends into a long list leaves the window
// most of its time. count(), item() and items() always hold every item; rowCount(), what
// the views see, may lag behind by the items of the last few milliseconds.
class TextListModel : public QAbstractListModel {
public:
    explicit TextListModel(QObject* parent = nullptr);
    ~TextListModel() override;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

    int count() const;
    // An empty text for an index outside the list.
    Text item(int index) const;
    std::vector<Text> items() const;
    void append(const Text& item);
    void append(std::vector<Text> items);
    void clear();
    void replace(std::vector<Text> items);
    uint64_t generation() const { return m_generation; }

    // How long a view of this model took for its last layout of all rows.
    void setViewLayoutCost(qint64 milliseconds);
    // Announces the items appended since the last announcement now.
    void announceAppended();

protected:
    void timerEvent(QTimerEvent* event) override;

private:
    void announceWhenDue();

    TextChunks m_items;
    int m_announced = 0; // rows the views know of: a prefix of m_items
    uint64_t m_generation = 0;
    qint64 m_viewLayoutCost = 0; // ms
    QElapsedTimer m_sinceAnnounced;
    QBasicTimer m_announceTimer;
};

// A list box: multiple selection, one pixel more per line than the style's default, and a
// right-button press that is reported instead of being handled as a click, so that showing
// the context menu never changes the selection.
class ListBox : public QListView {
    Q_OBJECT
public:
    explicit ListBox(QWidget* parent);

    // Also tells a TextListModel what the layout of all rows cost.
    void doItemsLayout() override;

signals:
    void rightButtonPressed(QPoint globalPos);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
};

} // namespace ui
