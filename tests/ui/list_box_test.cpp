#include "text/codec.h"
#include "ui/list_box.h"

#include <QAbstractItemModelTester>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QtTest>

#include <atomic>
#include <limits>

using ui::ListBox;
using ui::TextListModel;

namespace {

std::vector<Text> Numbered(int count) {
    std::vector<Text> items;
    items.reserve(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i)
        items.push_back("keyword " + std::to_string(i));
    return items;
}

// Counts how many rows the view had converted for display.
class CountingModel : public TextListModel {
public:
    QVariant data(const QModelIndex& index, int role) const override {
        if (role == Qt::DisplayRole)
            ++displayed;
        return TextListModel::data(index, role);
    }
    mutable int displayed = 0;
};

} // namespace

class ListBoxTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void appendOneItemIsOneInsertion();
    void appendBatchIsOneInsertion_data();
    void appendBatchIsOneInsertion();
    void clearAndReplaceAreOneReset_data();
    void clearAndReplaceAreOneReset();
    void itemOutsideTheListIsEmpty_data();
    void itemOutsideTheListIsEmpty();
    void itemsAreKeptAsBytesAndShownConverted();
    void generationChangesOnEveryChange();
    void itemsAcrossChunkBoundaries_data();
    void itemsAcrossChunkBoundaries();
    void costlyLayoutsGetAppendsAnnouncedTogether();
    void replaceWhileAppendsWaitLeavesNoStaleAnnouncement();
    void viewReachesItsLastRowsWhileItemsStreamIn();
    void viewConvertsOnlyVisibleRowsOfAMillion();
    void lineIsOnePixelTallerThanTheDefault();
    void shiftAndCtrlExtendTheSelection();

private:
    std::unique_ptr<TextListModel> m_model;
    std::unique_ptr<QAbstractItemModelTester> m_tester;
};

void ListBoxTest::init() {
    m_model = std::make_unique<TextListModel>();
    // Checks every change signal against the model's contents as it happens.
    m_tester = std::make_unique<QAbstractItemModelTester>(
        m_model.get(), QAbstractItemModelTester::FailureReportingMode::QtTest);
}

void ListBoxTest::appendOneItemIsOneInsertion() {
    QSignalSpy inserted(m_model.get(), &QAbstractItemModel::rowsInserted);
    m_model->append("a");
    m_model->append("b");
    QCOMPARE(inserted.count(), 2);
    QCOMPARE(inserted.at(1).at(1).toInt(), 1);
    QCOMPARE(inserted.at(1).at(2).toInt(), 1);
    QCOMPARE(m_model->count(), 2);
    QCOMPARE(m_model->item(1), Text("b"));
}

void ListBoxTest::appendBatchIsOneInsertion_data() {
    QTest::addColumn<int>("before");
    QTest::addColumn<int>("batch");
    QTest::newRow("into an empty list") << 0 << 10;
    QTest::newRow("behind items") << 3 << 10;
    QTest::newRow("one item") << 3 << 1;
    QTest::newRow("empty batch") << 3 << 0;
}

void ListBoxTest::appendBatchIsOneInsertion() {
    QFETCH(int, before);
    QFETCH(int, batch);
    m_model->append(Numbered(before));
    QSignalSpy inserted(m_model.get(), &QAbstractItemModel::rowsInserted);
    m_model->append(Numbered(batch));
    QCOMPARE(inserted.count(), batch > 0 ? 1 : 0);
    if (batch > 0) {
        QCOMPARE(inserted.at(0).at(1).toInt(), before);
        QCOMPARE(inserted.at(0).at(2).toInt(), before + batch - 1);
    }
    QCOMPARE(m_model->count(), before + batch);
    std::vector<Text> expected = Numbered(before);
    for (Text& item : Numbered(batch))
        expected.push_back(item);
    QCOMPARE(m_model->items(), expected);
}

void ListBoxTest::clearAndReplaceAreOneReset_data() {
    QTest::addColumn<int>("before");
    QTest::addColumn<int>("after"); // -1: cleared
    QTest::newRow("clear") << 5 << -1;
    QTest::newRow("clear an empty list") << 0 << -1;
    QTest::newRow("replace") << 5 << 3;
    QTest::newRow("replace by nothing") << 5 << 0;
    // Big enough that the old items are freed away from the UI thread.
    QTest::newRow("clear a big list") << 300000 << -1;
    QTest::newRow("replace a big list") << 300000 << 200000;
}

void ListBoxTest::clearAndReplaceAreOneReset() {
    QFETCH(int, before);
    QFETCH(int, after);
    m_model->append(Numbered(before));
    QSignalSpy reset(m_model.get(), &QAbstractItemModel::modelReset);
    QSignalSpy removed(m_model.get(), &QAbstractItemModel::rowsRemoved);
    QSignalSpy inserted(m_model.get(), &QAbstractItemModel::rowsInserted);
    if (after < 0)
        m_model->clear();
    else
        m_model->replace(Numbered(after));
    QCOMPARE(reset.count(), 1);
    QCOMPARE(removed.count(), 0);
    QCOMPARE(inserted.count(), 0);
    QCOMPARE(m_model->items(), Numbered(std::max(after, 0)));
}

void ListBoxTest::itemOutsideTheListIsEmpty_data() {
    QTest::addColumn<int>("index");
    QTest::newRow("-1") << -1;
    QTest::newRow("count") << 3;
    QTest::newRow("far") << std::numeric_limits<int>::max();
    QTest::newRow("most negative") << std::numeric_limits<int>::min();
}

void ListBoxTest::itemOutsideTheListIsEmpty() {
    QFETCH(int, index);
    m_model->append(Numbered(3));
    QCOMPARE(m_model->item(index), Text());
    QVERIFY(!m_model->data(m_model->index(index, 0), Qt::DisplayRole).isValid());
}

void ListBoxTest::itemsAreKeptAsBytesAndShownConverted() {
    const Text related = "\xCF\xE0\xB9\xD8"; // 相关 in code page 936
    m_model->append(related);
    m_model->append(Text());
    m_model->append("  x");
    QCOMPARE(m_model->item(0), related);
    QCOMPARE(m_model->index(0, 0).data().toString(), QString::fromUtf8("相关"));
    QCOMPARE(m_model->item(1), Text());
    QCOMPARE(m_model->index(1, 0).data().toString(), QString());
    QCOMPARE(m_model->index(2, 0).data().toString(), QStringLiteral("  x"));
    QVERIFY(!m_model->index(0, 0).data(Qt::EditRole).isValid());
    QVERIFY(!(m_model->flags(m_model->index(0, 0)) & Qt::ItemIsEditable));
}

void ListBoxTest::generationChangesOnEveryChange() {
    uint64_t last = m_model->generation();
    const auto changed = [&] {
        const bool moved = m_model->generation() != last;
        last = m_model->generation();
        return moved;
    };
    m_model->append("a");
    QVERIFY(changed());
    m_model->append(std::vector<Text>{"b", "c"});
    QVERIFY(changed());
    m_model->append(std::vector<Text>{});
    QVERIFY(changed());
    m_model->count();
    m_model->item(0);
    m_model->items();
    QVERIFY(!changed());
    m_model->replace(m_model->items()); // same items, still a change of the list
    QVERIFY(changed());
    m_model->clear();
    QVERIFY(changed());
    m_model->clear();
    QVERIFY(changed());
}

void ListBoxTest::itemsAcrossChunkBoundaries_data() {
    QTest::addColumn<int>("adopted"); // items of the vector the list starts from
    QTest::addColumn<int>("spare");   // its unused capacity
    QTest::addColumn<int>("appendedSingly");
    QTest::addColumn<int>("appendedInBatch");
    const int chunk = static_cast<int>(ui::TextChunks::kChunkSize);
    QTest::newRow("from empty, past two chunks") << 0 << 0 << 2 * chunk + 5 << 0;
    QTest::newRow("behind an adopted vector") << 70000 << 0 << chunk + 1 << 0;
    QTest::newRow("into an adopted vector's spare room") << 1000 << 500 << 2000 << 0;
    QTest::newRow("batch across a boundary") << 10 << 0 << chunk - 20 << 50;
}

void ListBoxTest::itemsAcrossChunkBoundaries() {
    QFETCH(int, adopted);
    QFETCH(int, spare);
    QFETCH(int, appendedSingly);
    QFETCH(int, appendedInBatch);
    m_tester.reset(); // it would check every one of the many single insertions
    std::vector<Text> start = Numbered(adopted);
    start.reserve(start.size() + static_cast<size_t>(spare));
    m_model->replace(std::move(start));
    std::vector<Text> expected = Numbered(adopted);
    for (int i = 0; i < appendedSingly; ++i) {
        const Text item = "single " + std::to_string(i);
        m_model->append(item);
        expected.push_back(item);
    }
    std::vector<Text> batch;
    for (int i = 0; i < appendedInBatch; ++i)
        batch.push_back("batch " + std::to_string(i));
    expected.insert(expected.end(), batch.begin(), batch.end());
    m_model->append(std::move(batch));

    QCOMPARE(m_model->count(), static_cast<int>(expected.size()));
    QVERIFY(m_model->items() == expected);
    for (const size_t at :
         {size_t{0}, static_cast<size_t>(adopted), expected.size() / 2, expected.size() - 1}) {
        if (at < expected.size())
            QCOMPARE(m_model->item(static_cast<int>(at)), expected[at]);
    }
}

void ListBoxTest::costlyLayoutsGetAppendsAnnouncedTogether() {
    m_model->append(Numbered(3));
    m_model->setViewLayoutCost(20); // a view that needs 20 ms to lay out all rows
    QSignalSpy inserted(m_model.get(), &QAbstractItemModel::rowsInserted);
    for (int i = 0; i < 50; ++i)
        m_model->append(std::vector<Text>{"a", "b"});
    // Everything is stored at once; the views hear of it shortly after.
    QCOMPARE(m_model->count(), 103);
    QCOMPARE(m_model->item(102), Text("b"));
    QVERIFY(m_model->rowCount() < 103);
    QTRY_COMPARE(m_model->rowCount(), 103);
    QVERIFY(inserted.count() <= 2);
    QCOMPARE(inserted.last().at(2).toInt(), 102);

    m_model->setViewLayoutCost(0);
    m_model->append("c");
    QCOMPARE(m_model->rowCount(), 104);
}

void ListBoxTest::replaceWhileAppendsWaitLeavesNoStaleAnnouncement() {
    m_model->setViewLayoutCost(20);
    m_model->append(Numbered(5));
    m_model->append(Numbered(5)); // waits for its announcement
    m_model->replace(Numbered(2));
    QCOMPARE(m_model->rowCount(), 2);
    QSignalSpy inserted(m_model.get(), &QAbstractItemModel::rowsInserted);
    QTest::qWait(150);
    QCOMPARE(inserted.count(), 0);
    QCOMPARE(m_model->rowCount(), 2);
}

// While a run appends, the user can still scroll down to what was found last, however
// long the list is.
void ListBoxTest::viewReachesItsLastRowsWhileItemsStreamIn() {
    m_tester.reset();
    QWidget window;
    ListBox list(&window);
    list.setGeometry(8, 16, 160, 296);
    list.setModel(m_model.get());
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    m_model->append(Numbered(200000));
    QTRY_VERIFY(list.verticalScrollBar()->maximum() > 190000);

    QTimer feed;
    connect(&feed, &QTimer::timeout, &feed, [this] { m_model->append(Numbered(10)); });
    feed.start(2);
    QTest::qWait(600);
    const int count = m_model->count();
    const int reachable = list.verticalScrollBar()->maximum();
    feed.stop();
    QVERIFY2(reachable > count - 2000,
             qPrintable(QStringLiteral("%1 of %2 rows reachable").arg(reachable).arg(count)));
}

void ListBoxTest::viewConvertsOnlyVisibleRowsOfAMillion() {
    m_tester.reset();
    CountingModel model;
    QWidget window;
    ListBox list(&window);
    list.setGeometry(8, 16, 160, 296);
    list.setModel(&model);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    std::vector<Text> million(1000000, "\xCF\xE0\xB9\xD8");
    model.append(std::move(million));
    for (int i = 0; i < 100; ++i)
        model.append(Numbered(10));
    // The view lays rows out in batches, so the last row is reachable once it caught up.
    const auto lastRowShown = [&] {
        list.scrollToBottom();
        return list.viewport()->rect().contains(list.visualRect(model.index(model.count() - 1, 0)));
    };
    QTRY_VERIFY_WITH_TIMEOUT(lastRowShown(), 20000);
    QCOMPARE(model.count(), 1001000);
    QVERIFY(model.displayed > 0);
    QVERIFY2(model.displayed < 2000, qPrintable(QString::number(model.displayed)));
}

void ListBoxTest::lineIsOnePixelTallerThanTheDefault() {
    m_model->append(Numbered(3));
    QWidget window;
    ListBox list(&window);
    list.setModel(m_model.get());
    QListView plain(&window);
    plain.setItemDelegate(new QStyledItemDelegate(&plain));
    plain.setModel(m_model.get());
    QCOMPARE(list.sizeHintForRow(0), plain.sizeHintForRow(0) + 1);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QCOMPARE(list.visualRect(m_model->index(1, 0)).top() -
                 list.visualRect(m_model->index(0, 0)).top(),
             plain.visualRect(m_model->index(1, 0)).top() -
                 plain.visualRect(m_model->index(0, 0)).top() + 1);
}

void ListBoxTest::shiftAndCtrlExtendTheSelection() {
    m_model->append(Numbered(6));
    QWidget window;
    ListBox list(&window);
    list.setGeometry(0, 0, 160, 296);
    list.setModel(m_model.get());
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const auto centre = [&](int row) { return list.visualRect(m_model->index(row, 0)).center(); };
    const auto selectedRows = [&] {
        QList<int> rows;
        for (const QModelIndex& index : list.selectionModel()->selectedIndexes())
            rows << index.row();
        std::sort(rows.begin(), rows.end());
        return rows;
    };
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, centre(0));
    QTest::mouseClick(list.viewport(), Qt::LeftButton, Qt::ControlModifier, centre(2));
    QCOMPARE(selectedRows(), (QList<int>{0, 2}));
    QTest::mouseClick(list.viewport(), Qt::LeftButton, Qt::ShiftModifier, centre(4));
    QCOMPARE(selectedRows(), (QList<int>{0, 2, 3, 4}));
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, centre(5));
    QCOMPARE(selectedRows(), (QList<int>{5}));
}

QTEST_MAIN(ListBoxTest)
#include "list_box_test.moc"
