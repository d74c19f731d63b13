#include "searchwindow/SearchForm.h"

#include "data/ErrorReport.h"
#include "rules/Clock.h"
#include "rules/ComType.h"
#include "widgets/UiLook.h"

#include <QAccessible>
#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QStyledItemDelegate>
#include <QTextLayout>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <utility>

namespace {

// Where the words stand in a cell's text: QPoint(start, length) each.
constexpr int HitsRole = Qt::UserRole + 1;
// The match's index in the outcome.
constexpr int MatchRole = Qt::UserRole + 2;

enum Column { DateColumn, TimeColumn, KindColumn, TitleColumn, PlaceColumn, MemoColumn };

const QColor HitBackground(0xFF, 0xE0, 0x40);

// Paints a cell's text with its hits on a marker colour.
class HitDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        const QVariantList hits = index.data(HitsRole).toList();
        if (hits.isEmpty()) {
            QStyledItemDelegate::paint(painter, option, index);
            return;
        }
        QStyleOptionViewItem opt = option;
        initStyleOption(&opt, index);
        const QString text = opt.text;
        opt.text.clear();
        const QStyle* style = opt.widget ? opt.widget->style() : QApplication::style();
        style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, opt.widget);
        const QRect rect = style->subElementRect(QStyle::SE_ItemViewItemText, &opt, opt.widget)
                               .adjusted(2, 0, -2, 0);
        QTextLayout layout(text, opt.font);
        QList<QTextLayout::FormatRange> formats;
        for (const QVariant& hit : hits) {
            QTextLayout::FormatRange range;
            range.start = hit.toPoint().x();
            range.length = hit.toPoint().y();
            range.format.setBackground(HitBackground);
            range.format.setForeground(Qt::black);
            formats.append(range);
        }
        layout.setFormats(formats);
        layout.beginLayout();
        QTextLine line = layout.createLine();
        line.setLineWidth(1e6);
        layout.endLayout();
        painter->save();
        painter->setClipRect(rect);
        painter->setPen(opt.palette.color(
            opt.state & QStyle::State_Selected ? QPalette::HighlightedText : QPalette::Text));
        layout.draw(painter,
                    QPointF(rect.left(), rect.top() + (rect.height() - line.height()) / 2));
        painter->restore();
    }
};

void setField(QTreeWidgetItem* item, int column, const SearchField& field) {
    item->setText(column, field.text);
    QVariantList hits;
    for (const SearchHit& hit : field.hits)
        hits.append(QPoint(hit.start, hit.length));
    item->setData(column, HitsRole, hits);
}

QString dayText(const QDate& date) {
    if (!date.isValid())
        return QString();
    return date.toString(QStringLiteral("yyyy/MM/dd")) + QStringLiteral("(") +
           WeekdayNames.at(size_t(date.dayOfWeek() % 7)) + QStringLiteral(")");
}

QString timeText(const SearchMatch& match) {
    if (match.start.isEmpty() && match.end.isEmpty())
        return QString();
    return match.start + QStringLiteral("～") + match.end;
}

} // namespace

TSearchForm::TSearchForm(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("SearchForm"));
    setWindowTitle(QStringLiteral("検索"));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setModal(false);
    resize(720, 380);
    SetFontWhenShown(this, GothicFont(15));

    editSearch = new QLineEdit(this);
    editSearch->setObjectName(QStringLiteral("editSearch"));
    editSearch->setAccessibleName(QStringLiteral("検索する言葉"));
    editSearch->setPlaceholderText(QStringLiteral("探す言葉（空白で区切ると全部を含むもの）"));
    editSearch->setClearButtonEnabled(true);
    editSearch->installEventFilter(this);

    listResults = new QTreeWidget(this);
    listResults->setObjectName(QStringLiteral("listResults"));
    listResults->setAccessibleName(QStringLiteral("検索結果"));
    listResults->setRootIsDecorated(false);
    listResults->setUniformRowHeights(true);
    listResults->setAllColumnsShowFocus(true);
    listResults->setHeaderLabels({QStringLiteral("日付"), QStringLiteral("時刻"),
                                  QStringLiteral("種類"), QStringLiteral("予定"),
                                  QStringLiteral("場所"), QStringLiteral("内容")});
    const int widths[] = {120, 110, 70, 150, 110};
    for (int c = 0; c < 5; ++c)
        listResults->setColumnWidth(c, widths[c]);
    listResults->setItemDelegate(new HitDelegate(listResults));

    lblCount = new QLabel(this);
    lblCount->setObjectName(QStringLiteral("lblCount"));
    lblStatus = new QLabel(this);
    lblStatus->setObjectName(QStringLiteral("lblStatus"));
    lblStatus->setWordWrap(true);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(editSearch);
    layout->addWidget(listResults, 1);
    layout->addWidget(lblCount);
    layout->addWidget(lblStatus);

    m_pool.setMaxThreadCount(1);
    // What was typed before is no longer asked: its search stops, its results are dropped.
    connect(editSearch, &QLineEdit::textChanged, this,
            [this] { Guarded([this] { StartSearch(); }); });
    connect(editSearch, &QLineEdit::returnPressed, this,
            [this] { Guarded([this] { editSearchReturn(); }); });
    connect(listResults, &QTreeWidget::itemActivated, this,
            [this] { Guarded([this] { listResultsActivate(); }); });
}

TSearchForm::~TSearchForm() {
    ++*m_generation;
    m_pool.waitForDone();
}

void TSearchForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    editSearch->setFocus();
    editSearch->selectAll();
    // Shown again: the files may have changed since the last search.
    if (!editSearch->text().isEmpty())
        StartSearch();
}

bool TSearchForm::eventFilter(QObject* watched, QEvent* event) {
    // Up and down in the field move through the list, so the keyboard never has to leave it.
    if (watched == editSearch && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Up || key == Qt::Key_Down || key == Qt::Key_PageUp ||
            key == Qt::Key_PageDown) {
            QApplication::sendEvent(listResults, event);
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TSearchForm::StartSearch() {
    const int generation = ++*m_generation;
    m_searching = true;
    const QString folder = DataFolder();
    const QString typed = editSearch->text();
    const QDate today = Clock::today();
    const std::shared_ptr<std::atomic<int>> latest = m_generation;
    m_pool.start([this, folder, typed, today, latest, generation] {
        const auto stale = [&] { return latest->load() != generation; };
        // The window outlives the search (its destructor waits for it), and drops results
        // that a newer text made stale before they arrive.
        const auto post = [&](SearchOutcome outcome, bool complete) {
            QMetaObject::invokeMethod(
                this,
                [this, generation, complete, outcome = std::move(outcome)]() mutable {
                    if (m_generation->load() == generation)
                        Guarded([&] { showOutcome(std::move(outcome), complete); });
                },
                Qt::QueuedConnection);
        };
        // The nearest files' matches first, on screen while the other years are searched.
        SearchOutcome outcome =
            SearchDataFolder(folder, SearchQuery(typed), today, stale,
                             [&](const SearchOutcome& first) { post(first, false); });
        if (!stale())
            post(std::move(outcome), true);
    });
}

void TSearchForm::showOutcome(SearchOutcome outcome, bool complete) {
    m_outcome = std::move(outcome);
    listResults->clear();
    QList<QTreeWidgetItem*> items;
    items.reserve(m_outcome.matches.size());
    for (qsizetype i = 0; i < m_outcome.matches.size(); ++i) {
        const SearchMatch& match = m_outcome.matches.at(i);
        auto* item = new QTreeWidgetItem;
        item->setText(DateColumn, dayText(match.date));
        item->setText(TimeColumn, timeText(match));
        item->setText(KindColumn, SearchKindName(match.kind));
        setField(item, TitleColumn, match.title);
        setField(item, PlaceColumn, match.place);
        setField(item, MemoColumn, match.memo);
        item->setData(DateColumn, MatchRole, int(i));
        items.append(item);
    }
    listResults->addTopLevelItems(items);
    if (m_outcome.nearest >= 0) {
        QTreeWidgetItem* nearest = items.at(m_outcome.nearest);
        listResults->setCurrentItem(nearest);
        listResults->scrollToItem(nearest, QAbstractItemView::PositionAtCenter);
    }
    if (!complete)
        return;
    m_searching = false;
    const qsizetype count = m_outcome.matches.size();
    lblCount->setText(editSearch->text().trimmed().isEmpty() ? QString()
                      : count == 0 ? QStringLiteral("見つかりません")
                                   : QStringLiteral("%1件見つかりました").arg(count));
    // Heard where the focus is: in the field as the user types, with the list once the keyboard
    // moves to it. A label's change is not read out unless it has the focus.
    editSearch->setAccessibleDescription(lblCount->text());
    listResults->setAccessibleDescription(lblCount->text());
    lblStatus->setText(m_outcome.unreadable.isEmpty()
                           ? QString()
                           : QStringLiteral("読めないファイルを飛ばしました: ") +
                                 m_outcome.unreadable.join(QStringLiteral("、")));
    emit ResultsShown();
    if (std::exchange(m_openWhenShown, false))
        listResultsActivate();
}

void TSearchForm::listResultsActivate() {
    const QTreeWidgetItem* item = listResults->currentItem();
    if (!item)
        return;
    const int index = item->data(DateColumn, MatchRole).toInt();
    if (index < 0 || index >= m_outcome.matches.size())
        return;
    emit OpenMatch(m_outcome.matches.at(index));
    // The entry may have been changed or deleted in the window that showed it.
    StartSearch();
}

void TSearchForm::editSearchReturn() {
    if (m_searching) {
        m_openWhenShown = true;
        StartSearch();
        return;
    }
    listResultsActivate();
}
