#pragma once

#include "text/text.h"

#include <QAbstractListModel>
#include <QListView>

#include <cstdint>
#include <vector>

namespace ui {

// Items of a list box kept as code page 936 bytes; only the rows the view asks for are
// converted, so a list of a million keywords costs its bytes and nothing per row.
class TextListModel : public QAbstractListModel {
public:
    explicit TextListModel(QObject* parent = nullptr);

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

private:
    std::vector<Text> m_items;
    uint64_t m_generation = 0;
};

// A list box: multiple selection, one pixel more per line than the style's default, and a
// right-button press that is reported instead of being handled as a click, so that showing
// the context menu never changes the selection.
class ListBox : public QListView {
    Q_OBJECT
public:
    explicit ListBox(QWidget* parent);

signals:
    void rightButtonPressed(QPoint globalPos);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
};

} // namespace ui
