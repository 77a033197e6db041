#include "ui/list_box.h"

#include "text/codec.h"

#include <QMouseEvent>
#include <QStyledItemDelegate>
#include <QTimerEvent>

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

constexpr size_t kMostItems = static_cast<size_t>(std::numeric_limits<int>::max());

// Freeing a big list means one deallocation per long keyword; past this size it is done on
// a thread of its own so that clearing a huge list does not stall the window.
constexpr size_t kBackgroundReleaseSize = 100000;

void Release(std::vector<std::vector<Text>>&& doomed) {
    size_t items = 0;
    for (const std::vector<Text>& chunk : doomed)
        items += chunk.size();
    if (items < kBackgroundReleaseSize) {
        std::vector<std::vector<Text>>().swap(doomed);
        return;
    }
    std::thread([chunks = std::move(doomed)]() mutable {
        std::vector<std::vector<Text>>().swap(chunks);
    }).detach();
}

class TallerLineDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        return QStyledItemDelegate::sizeHint(option, index) + QSize(0, 1);
    }
};

} // namespace

const Text& TextChunks::operator[](size_t index) const {
    const size_t first = m_chunks.front().size();
    if (index < first)
        return m_chunks.front()[index];
    index -= first;
    return m_chunks[1 + index / kChunkSize][index % kChunkSize];
}

void TextChunks::push_back(Text item) {
    if (m_chunks.empty())
        m_chunks.emplace_back();
    if (m_chunks.back().size() == m_chunks.back().capacity()) {
        // Only ever the first chunk when it is empty; a full chunk is never regrown.
        if (!m_chunks.back().empty())
            m_chunks.emplace_back();
        m_chunks.back().reserve(kChunkSize);
    }
    m_chunks.back().push_back(std::move(item));
    ++m_size;
}

std::vector<std::vector<Text>> TextChunks::adopt(std::vector<Text> items) {
    std::vector<std::vector<Text>> old;
    old.swap(m_chunks);
    m_size = items.size();
    m_chunks.push_back(std::move(items));
    return old;
}

std::vector<Text> TextChunks::copy() const {
    std::vector<Text> all;
    all.reserve(m_size);
    for (const std::vector<Text>& chunk : m_chunks)
        all.insert(all.end(), chunk.begin(), chunk.end());
    return all;
}

TextListModel::TextListModel(QObject* parent) : QAbstractListModel(parent) {
    m_sinceAnnounced.start();
}

TextListModel::~TextListModel() {
    Release(m_items.adopt({}));
}

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
    return m_items.copy();
}

void TextListModel::append(const Text& item) {
    ++m_generation;
    if (m_items.size() >= kMostItems)
        return;
    m_items.push_back(item);
    announceWhenDue();
}

void TextListModel::append(std::vector<Text> items) {
    ++m_generation;
    if (items.size() > kMostItems - m_items.size())
        items.resize(kMostItems - m_items.size());
    if (items.empty())
        return;
    if (m_items.size() == 0) {
        Release(m_items.adopt(std::move(items)));
    } else {
        for (Text& item : items)
            m_items.push_back(std::move(item));
    }
    announceWhenDue();
}

void TextListModel::clear() {
    replace({});
}

void TextListModel::replace(std::vector<Text> items) {
    ++m_generation;
    if (items.size() > kMostItems)
        items.resize(kMostItems);
    beginResetModel();
    std::vector<std::vector<Text>> old = m_items.adopt(std::move(items));
    m_announced = count();
    m_announceTimer.stop();
    endResetModel();
    Release(std::move(old));
}

void TextListModel::setViewLayoutCost(qint64 milliseconds) {
    m_viewLayoutCost = milliseconds;
}

// The rows are stored already; the views learn of them only between begin and end, where
// rowCount() changes, so they always see a consistent model.
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

// Laid out in one pass, so the view always reaches its last row; the model spaces its
// announcements by what this costs.
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
