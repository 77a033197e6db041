#include "ui/list_box.h"

#include "text/codec.h"

#include <QMouseEvent>
#include <QTimerEvent>
#include <QStyledItemDelegate>

#include <algorithm>
#include <limits>
#include <thread>

namespace ui {

namespace {

// Below this a layout is cheap enough to follow every append at once.
constexpr qint64 kCheapLayout = 2; // ms
// Announcements wait at least this many layout times, which bounds the share of the UI
// thread spent in layouts while a long list grows to about 1 / (kLayoutSpacing + 1).
constexpr qint64 kLayoutSpacing = 4;
// And never longer than this, so the view does not look stuck.
constexpr qint64 kLongestWait = 250; // ms

// Freeing a big list means one deallocation per long keyword; past this size it is done on
// a thread of its own so that clearing a huge list does not stall the window.
constexpr size_t kBackgroundReleaseSize = 100000;

void Release(std::vector<Text>&& doomed) {
    if (doomed.size() < kBackgroundReleaseSize) {
        std::vector<Text>().swap(doomed);
        return;
    }
    std::thread([items = std::move(doomed)]() mutable { std::vector<Text>().swap(items); })
        .detach();
}

class TallerLineDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        return QStyledItemDelegate::sizeHint(option, index) + QSize(0, 1);
    }
};

} // namespace

TextListModel::TextListModel(QObject* parent) : QAbstractListModel(parent) {
    m_sinceAnnounced.start();
}

TextListModel::~TextListModel() = default;

int TextListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_announced;
}

QVariant TextListModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= m_announced)
        return {};
    return ToQString(m_items[static_cast<size_t>(index.row())]);
}

int TextListModel::count() const {
    return static_cast<int>(m_items.size());
}

Text TextListModel::item(int index) const {
    if (index < 0 || index >= count())
        return {};
    return m_items[static_cast<size_t>(index)];
}

std::vector<Text> TextListModel::items() const {
    return m_items;
}

void TextListModel::append(const Text& item) {
    ++m_generation;
    if (m_items.size() >= static_cast<size_t>(std::numeric_limits<int>::max()))
        return;
    m_items.push_back(item);
    announceWhenDue();
}

void TextListModel::append(std::vector<Text> items) {
    ++m_generation;
    const size_t room = static_cast<size_t>(std::numeric_limits<int>::max()) - m_items.size();
    if (items.size() > room)
        items.resize(room);
    if (items.empty())
        return;
    if (m_items.empty())
        m_items = std::move(items);
    else
        m_items.insert(m_items.end(), std::make_move_iterator(items.begin()),
                       std::make_move_iterator(items.end()));
    announceWhenDue();
}

void TextListModel::setViewLayoutCost(qint64 milliseconds) {
    m_viewLayoutCost = milliseconds;
}

// The rows are in m_items already; the views learn of them only between begin and end,
// where rowCount() changes, so they always see a consistent model.
void TextListModel::announceAppended() {
    m_announceTimer.stop();
    m_sinceAnnounced.restart();
    if (m_announced == count())
        return;
    beginInsertRows({}, m_announced, count() - 1);
    m_announced = count();
    endInsertRows();
}

void TextListModel::announceWhenDue() {
    if (m_announceTimer.isActive())
        return;
    const qint64 due = std::min(kLayoutSpacing * m_viewLayoutCost, kLongestWait);
    const qint64 wait = due - m_sinceAnnounced.elapsed();
    if (m_viewLayoutCost < kCheapLayout || wait <= 0)
        announceAppended();
    else
        m_announceTimer.start(static_cast<int>(wait), this);
}

void TextListModel::timerEvent(QTimerEvent* event) {
    if (event->timerId() != m_announceTimer.timerId()) {
        QAbstractListModel::timerEvent(event);
        return;
    }
    announceAppended();
}

void TextListModel::clear() {
    replace({});
}

void TextListModel::replace(std::vector<Text> items) {
    ++m_generation;
    if (items.size() > static_cast<size_t>(std::numeric_limits<int>::max()))
        items.resize(static_cast<size_t>(std::numeric_limits<int>::max()));
    beginResetModel();
    m_items.swap(items);
    m_announced = count();
    m_announceTimer.stop();
    endResetModel();
    Release(std::move(items));
}

ListBox::ListBox(QWidget* parent) : QListView(parent) {
    setUniformItemSizes(true);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setTextElideMode(Qt::ElideNone);
    setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    // Every right-button press must reach mousePressEvent; no context-menu event of its own.
    setContextMenuPolicy(Qt::PreventContextMenu);
    setItemDelegate(new TallerLineDelegate(this));
    QPalette colours = palette();
    colours.setColor(QPalette::Base, Qt::white);
    colours.setColor(QPalette::Text, Qt::black);
    setPalette(colours);
}

// Tells the model what a layout of all rows costs, so it can space its announcements.
void ListBox::doItemsLayout() {
    QElapsedTimer layout;
    layout.start();
    QListView::doItemsLayout();
    if (auto* items = dynamic_cast<TextListModel*>(model()))
        items->setViewLayoutCost(layout.elapsed());
}

void ListBox::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::RightButton) {
        QListView::mousePressEvent(event);
        return;
    }
    event->accept();
    emit rightButtonPressed(event->globalPosition().toPoint());
}

void ListBox::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::RightButton) {
        event->accept();
        return;
    }
    QListView::mouseReleaseEvent(event);
}

// A quick second right press arrives as a double click; it is a press all the same.
void ListBox::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::RightButton) {
        mousePressEvent(event);
        return;
    }
    QListView::mouseDoubleClickEvent(event);
}

} // namespace ui
