#include "activitywindow.h"

#include "clock.h"
#include "logo.h"
#include "messagebox.h"
#include "sessionstore.h"

#include <QAbstractTableModel>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QHash>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QSaveFile>
#include <QSortFilterProxyModel>
#include <QStandardPaths>
#include <QStyle>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <utility>
#include <vector>

using Activity = SessionStore::Activity;
using ActivityKind = SessionStore::ActivityKind;

namespace {

QString u(const char *text)
{
    return QString::fromUtf8(text);
}

enum Column
{
    TimeColumn,
    KindColumn,
    SubjectColumn,
    SummaryColumn,
    StateColumn,
    ColumnCount,
};

constexpr int KindRole = Qt::UserRole;

const ActivityKind allKinds[] = {ActivityKind::Signal, ActivityKind::Order, ActivityKind::Fill,
                                 ActivityKind::Report, ActivityKind::Connection};

QString kindText(ActivityKind kind)
{
    switch (kind) {
    case ActivityKind::Signal:
        return u("信号");
    case ActivityKind::Order:
        return u("报单");
    case ActivityKind::Fill:
        return u("成交");
    case ActivityKind::Report:
        return u("报告");
    case ActivityKind::Connection:
        return u("连接");
    }
    return u("其他");
}

QStringList headerTexts()
{
    return {u("时间"), u("类别"), u("对象"), u("内容"), u("状态")};
}

QDateTime eventTime(const Activity &row)
{
    return QDateTime::fromMSecsSinceEpoch(row.atMs);
}

// A field with a tab or a line break would split the row when pasted into a spreadsheet.
QString tsvField(QString text)
{
    for (QChar &c : text) {
        if (c == QLatin1Char('\t') || c == QLatin1Char('\n') || c == QLatin1Char('\r')) {
            c = QLatin1Char(' ');
        }
    }
    return text;
}

// Texts from the platform and the exchange end up in a spreadsheet: one that begins like a
// formula would be run as one when the file is opened, so it is kept as text. Plain numbers,
// negative ones included, stay numbers.
QString csvField(QString text)
{
    static const QString formulaStarts = QStringLiteral("=+-@");
    if (!text.isEmpty() && formulaStarts.contains(text.front())) {
        bool number = false;
        text.toDouble(&number);
        if (!number) {
            text.prepend(QLatin1Char('\''));
        }
    }
    if (text.contains(QLatin1Char(',')) || text.contains(QLatin1Char('"')) ||
        text.contains(QLatin1Char('\n')) || text.contains(QLatin1Char('\r'))) {
        text.replace(QLatin1String("\""), QLatin1String("\"\""));
        text = QLatin1Char('"') + text + QLatin1Char('"');
    }
    return text;
}

} // namespace

namespace ActivityWindowDetail {

// The day's rows kept in the order they first happened, shown the other way round, so a new
// row lands on top without moving the rows already indexed.
class ActivityModel : public QAbstractTableModel
{
public:
    using QAbstractTableModel::QAbstractTableModel;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override
    {
        return parent.isValid() ? 0 : static_cast<int>(rows.size());
    }

    int columnCount(const QModelIndex &parent = QModelIndex()) const override
    {
        return parent.isValid() ? 0 : ColumnCount;
    }

    QVariant data(const QModelIndex &index, int role) const override
    {
        if (!index.isValid() || index.row() >= rowCount()) {
            return {};
        }
        const Activity &row = at(index.row());
        if (role == KindRole) {
            return static_cast<int>(row.kind);
        }
        if (role != Qt::DisplayRole && role != Qt::ToolTipRole) {
            return {};
        }
        switch (index.column()) {
        case TimeColumn:
            return eventTime(row).toString(QStringLiteral("hh:mm:ss"));
        case KindColumn:
            return kindText(row.kind);
        case SubjectColumn:
            return row.subject;
        case SummaryColumn:
            return row.summary;
        case StateColumn:
            return row.state;
        default:
            return {};
        }
    }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 &&
            section < ColumnCount) {
            return headerTexts().at(section);
        }
        return QAbstractTableModel::headerData(section, orientation, role);
    }

    // Newest first.
    const Activity &at(int modelRow) const { return rows[rows.size() - 1 - modelRow]; }

    void clear()
    {
        if (rows.empty()) {
            return;
        }
        beginResetModel();
        rows.clear();
        positions.clear();
        endResetModel();
    }

    // The changes come oldest first, at most one per row; a row already shown takes its new
    // state where it stands.
    void merge(const std::vector<Activity> &changes)
    {
        std::vector<Activity> fresh;
        QHash<Key, std::size_t> freshPositions;
        for (const Activity &change : changes) {
            const Key key = keyOf(change);
            const auto shown = positions.constFind(key);
            if (shown != positions.constEnd()) {
                Activity &row = rows[*shown];
                row.seq = change.seq;
                row.summary = change.summary;
                row.state = change.state;
                const int modelRow = static_cast<int>(rows.size() - 1 - *shown);
                emit dataChanged(index(modelRow, SubjectColumn), index(modelRow, StateColumn));
                continue;
            }
            const auto pending = freshPositions.constFind(key);
            if (pending != freshPositions.constEnd()) {
                fresh[*pending] = change;
            } else {
                freshPositions.insert(key, fresh.size());
                fresh.push_back(change);
            }
        }
        if (fresh.empty()) {
            return;
        }
        const auto earlier = [](const Activity &a, const Activity &b) { return a.atMs < b.atMs; };
        std::stable_sort(fresh.begin(), fresh.end(), earlier);
        if (rows.empty() || fresh.front().atMs >= rows.back().atMs) {
            // The common case: what is new happened after everything shown.
            beginInsertRows(QModelIndex(), 0, static_cast<int>(fresh.size()) - 1);
            for (Activity &row : fresh) {
                positions.insert(keyOf(row), rows.size());
                rows.push_back(std::move(row));
            }
            endInsertRows();
            return;
        }
        // A clock set back puts a new row among the old ones.
        beginResetModel();
        rows.insert(rows.end(), fresh.begin(), fresh.end());
        std::stable_sort(rows.begin(), rows.end(), earlier);
        positions.clear();
        for (std::size_t i = 0; i < rows.size(); ++i) {
            positions.insert(keyOf(rows[i]), i);
        }
        endResetModel();
    }

private:
    using Key = QPair<int, QString>;
    static Key keyOf(const Activity &row) { return {static_cast<int>(row.kind), row.subject}; }

    std::vector<Activity> rows;
    QHash<Key, std::size_t> positions;
};

} // namespace ActivityWindowDetail

using ActivityWindowDetail::ActivityModel;

ActivityWindow::ActivityWindow(QWidget *parent) : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("ActivityWindow"));
    setWindowTitle(u("运行记录"));
    setWindowIcon(Logo::icon());
    // Closing the main window ends the program, whether or not this one is still open.
    setAttribute(Qt::WA_QuitOnClose, false);
    resize(1000, 600);

    QFont buttonFont = font();
    buttonFont.setPointSize(12);

    auto *kindCaption = new QLabel(u("类别："), this);
    kindCaption->setFont(buttonFont);
    kindFilter = new QComboBox(this);
    kindFilter->setObjectName(QStringLiteral("kindFilter"));
    kindFilter->setFont(buttonFont);
    kindFilter->addItem(u("全部"), -1);
    for (ActivityKind kind : allKinds) {
        kindFilter->addItem(kindText(kind), static_cast<int>(kind));
    }
    kindCaption->setBuddy(kindFilter);

    countLabel = new QLabel(this);
    countLabel->setObjectName(QStringLiteral("countLabel"));

    auto *copyButton = new QPushButton(u("复制"), this);
    copyButton->setObjectName(QStringLiteral("copyButton"));
    copyButton->setFont(buttonFont);
    auto *exportButton = new QPushButton(u("导出CSV…"), this);
    exportButton->setObjectName(QStringLiteral("exportButton"));
    exportButton->setFont(buttonFont);
    for (QPushButton *button : {copyButton, exportButton}) {
        button->setMinimumSize(110, 30);
    }

    noticeLabel = new QLabel(u("尚未登录，没有运行记录"), this);
    noticeLabel->setObjectName(QStringLiteral("noticeLabel"));
    noticeLabel->setStyleSheet(QStringLiteral("color:red;"));
    noticeLabel->hide();

    model = new ActivityModel(this);
    filtered = new QSortFilterProxyModel(this);
    filtered->setSourceModel(model);
    filtered->setFilterRole(KindRole);

    view = new QTableView(this);
    view->setObjectName(QStringLiteral("activityView"));
    view->setModel(filtered);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    // Tab moves between cells by default, which would keep the keyboard inside the table.
    view->setTabKeyNavigation(false);
    view->setWordWrap(false);
    view->setAlternatingRowColors(true);
    view->verticalHeader()->hide();
    QHeaderView *header = view->horizontalHeader();
    // A time and a kind are always of one width, measured here from the font: the view would
    // measure only rows it has laid out, and a window filled as it is first shown has none, so
    // these columns would keep the width of their captions.
    const QFontMetrics metrics(view->font());
    const int padding =
        4 * view->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, view) +
        metrics.averageCharWidth();
    int kindWidth = 0;
    for (ActivityKind kind : allKinds) {
        kindWidth = std::max(kindWidth, metrics.horizontalAdvance(kindText(kind)));
    }
    header->resizeSection(TimeColumn, std::max(header->sectionSizeHint(TimeColumn),
                                               metrics.horizontalAdvance(u("00:00:00")) + padding));
    header->resizeSection(KindColumn,
                          std::max(header->sectionSizeHint(KindColumn), kindWidth + padding));
    header->resizeSection(SubjectColumn, 220);
    header->resizeSection(SummaryColumn, 420);
    header->setStretchLastSection(true);

    copyAction = new QAction(u("复制"), this);
    copyAction->setObjectName(QStringLiteral("copyAction"));
    // The view would otherwise take Ctrl+C itself and copy the one cell under the cursor.
    copyAction->setShortcut(QKeySequence::Copy);
    copyAction->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    view->addAction(copyAction);
    addAction(copyAction);
    view->setContextMenuPolicy(Qt::ActionsContextMenu);

    auto *bar = new QHBoxLayout;
    bar->addWidget(kindCaption);
    bar->addWidget(kindFilter);
    bar->addSpacing(12);
    bar->addWidget(noticeLabel);
    bar->addStretch(1);
    bar->addWidget(countLabel);
    bar->addSpacing(12);
    bar->addWidget(copyButton);
    bar->addWidget(exportButton);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(10, 10, 10, 10);
    layout->setSpacing(6);
    layout->addLayout(bar);
    layout->addWidget(view);

    refreshTimer = new QTimer(this);
    refreshTimer->setObjectName(QStringLiteral("refreshTimer"));
    refreshTimer->setInterval(1000);

    connect(refreshTimer, &QTimer::timeout, this, &ActivityWindow::refresh);
    connect(kindFilter, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &ActivityWindow::applyFilter);
    connect(copyAction, &QAction::triggered, this, &ActivityWindow::copySelection);
    connect(copyButton, &QPushButton::clicked, this, &ActivityWindow::copySelection);
    connect(exportButton, &QPushButton::clicked, this, &ActivityWindow::exportDay);
    updateCount();
}

ActivityWindow::~ActivityWindow() = default;

QDateTime ActivityWindow::tradingDayStart(const QDateTime &now)
{
    const QTime evening(16, 0);
    const QDateTime local = now.toLocalTime();
    QDate day = local.date();
    if (local.time() < evening) {
        day = day.addDays(-1);
    }
    // No night session opens on a Saturday or a Sunday: the evening that begins the day is the
    // Friday's.
    while (day.dayOfWeek() > 5) {
        day = day.addDays(-1);
    }
    return QDateTime(day, evening);
}

void ActivityWindow::refresh()
{
    const std::shared_ptr<SessionStore> store = SessionStore::current();
    const std::int64_t dayStartMs = tradingDayStart(Clock::now()).toMSecsSinceEpoch();
    if (store != shownStore.lock() || dayStartMs != shownDayStartMs) {
        model->clear();
        shownStore = store;
        shownDayStartMs = dayStartMs;
        lastSeq = 0;
        exportedTo.clear();
    }
    noticeLabel->setVisible(!store);
    if (store) {
        const std::vector<Activity> changes = store->activitySince(lastSeq, dayStartMs);
        for (const Activity &change : changes) {
            lastSeq = std::max(lastSeq, change.seq);
        }
        model->merge(changes);
    }
    updateCount();
}

void ActivityWindow::applyFilter(int comboIndex)
{
    const int kind = kindFilter->itemData(comboIndex).toInt();
    filtered->setFilterRegularExpression(
        kind < 0 ? QRegularExpression() : QRegularExpression(QStringLiteral("^%1$").arg(kind)));
    updateCount();
}

void ActivityWindow::updateCount()
{
    QString text = u("共 %1 条").arg(filtered->rowCount());
    if (!exportedTo.isEmpty()) {
        text += u("，已导出到 ") + QDir::toNativeSeparators(exportedTo);
    }
    countLabel->setText(text);
}

void ActivityWindow::copySelection()
{
    QModelIndexList selected = view->selectionModel()->selectedRows();
    if (selected.isEmpty()) {
        return;
    }
    std::sort(selected.begin(), selected.end(),
              [](const QModelIndex &a, const QModelIndex &b) { return a.row() < b.row(); });
    QStringList lines;
    for (const QModelIndex &rowIndex : selected) {
        QStringList fields;
        for (int column = 0; column < ColumnCount; ++column) {
            fields << tsvField(filtered->index(rowIndex.row(), column).data().toString());
        }
        lines << fields.join(QLatin1Char('\t'));
    }
    QGuiApplication::clipboard()->setText(lines.join(QLatin1Char('\n')) + QLatin1Char('\n'));
}

void ActivityWindow::exportDay()
{
    refresh();
    QDate tradingDay = QDateTime::fromMSecsSinceEpoch(shownDayStartMs).date().addDays(1);
    while (tradingDay.dayOfWeek() > 5) {
        tradingDay = tradingDay.addDays(1);
    }
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    const QString suggested = QDir(folder).filePath(
        u("运行记录-%1.csv").arg(tradingDay.toString(QStringLiteral("yyyyMMdd"))));
    const QString path =
        QFileDialog::getSaveFileName(this, u("导出运行记录"), suggested, u("CSV 文件 (*.csv)"));
    if (!path.isEmpty()) {
        exportCsv(path);
    }
}

bool ActivityWindow::exportCsv(const QString &filePath)
{
    QByteArray text("\xEF\xBB\xBF"); // spreadsheet programs take a file without it for ANSI
    const auto appendLine = [&text](const QStringList &fields) {
        QStringList quoted;
        for (const QString &field : fields) {
            quoted << csvField(field);
        }
        text += quoted.join(QLatin1Char(',')).toUtf8() + "\r\n";
    };
    appendLine(headerTexts());
    const int count = model->rowCount();
    for (int i = 0; i < count; ++i) {
        const Activity &row = model->at(i);
        appendLine({eventTime(row).toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")),
                    kindText(row.kind), row.subject, row.summary, row.state});
    }

    QSaveFile file(filePath);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.commit()) {
        MessageBox::information(this, u("提示信息"),
                                u("运行记录未能导出到 %1：%2")
                                    .arg(QDir::toNativeSeparators(filePath), file.errorString()));
        return false;
    }
    exportedTo = filePath;
    updateCount();
    return true;
}

void ActivityWindow::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    refresh();
    refreshTimer->start();
}

void ActivityWindow::hideEvent(QHideEvent *event)
{
    refreshTimer->stop();
    QWidget::hideEvent(event);
}

void ActivityWindow::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}
