#include "panel/family/FamilyWindow.h"

#include <QDate>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMetaObject>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QTextDocument>
#include <QTimer>
#include <QTreeWidget>

#include <utility>

#include "lib/platform/widgets/Controls.h"
#include "lib/platform/widgets/MessageBox.h"

namespace family {
namespace {

constexpr int kWidth = 900;
constexpr int kHeight = 320;
constexpr int kLastAlert = 6;  // the column

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

// Sizes a cell for its text wrapped to the column's width, so that a long alert gets the lines
// it needs (the tree alone measures a cell as one line).
class WrappedColumn final : public QStyledItemDelegate {
  public:
    explicit WrappedColumn(QTreeWidget* list) : QStyledItemDelegate(list), list_(list) {}
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QStyleOptionViewItem wrapped(option);
        // (The style wraps only within a valid rectangle: a height of one line will do.)
        wrapped.rect = QRect(0, 0, list_->columnWidth(index.column()), option.fontMetrics.height());
        return QStyledItemDelegate::sizeHint(wrapped, index);
    }

  private:
    QTreeWidget* list_;
};

}  // namespace

TFamilyForm::TFamilyForm(QWidget* parent) : TForm(parent) {
    setObjectName(QStringLiteral("FamilyForm"));
    setWindowTitle(QStringLiteral("Veltrix - the family"));
    setFixedSize(kWidth, kHeight);
    Label1 = new QLabel(this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setFont(platform::LargeFont());
    Label1->setGeometry(8, 8, kWidth - 16, 20);
    List = new QTreeWidget(this);
    List->setObjectName(QStringLiteral("List"));
    List->setGeometry(8, 36, kWidth - 16, kHeight - 80);
    List->setRootIsDecorated(false);
    List->setUniformRowHeights(false);  // a request's line holds buttons
    // The last alert is shown whole, wrapped over as many lines as it needs.
    List->setWordWrap(true);
    List->setTextElideMode(Qt::ElideNone);
    List->setItemDelegateForColumn(kLastAlert, new WrappedColumn(List));
    // The tree keeps each line's height: measured again when the last column gets its width.
    connect(List->header(), &QHeaderView::sectionResized, List, [this](int column) {
        if (column == kLastAlert) List->doItemsLayout();
    });
    List->setHeaderLabels({QStringLiteral("Account"), QStringLiteral("Password"),
                           QStringLiteral("Blocking"), QStringLiteral("Now"),
                           QStringLiteral("Stopped today"), QStringLiteral("Time today"),
                           QStringLiteral("Last alert")});
    const int widths[] = {170, 105, 60, 140, 90, 100};
    for (int i = 0; i < 6; ++i) List->setColumnWidth(i, widths[i]);
    List->header()->setStretchLastSection(true);
    OpenButton =
        platform::SpeedButton(this, "OpenButton", "Open...", kWidth - 200, kHeight - 34, 89, 22);
    CloseButton =
        platform::SpeedButton(this, "CloseButton", "Close", kWidth - 100, kHeight - 34, 89, 22);
    refresh_ = std::make_unique<QTimer>();
    refresh_->setInterval(kRefreshMs);
    connect(refresh_.get(), &QTimer::timeout, this,
            [this] { platform::Guarded([this] { Refresh(); }); });
    On(OpenButton, &QPushButton::clicked, [this] { OpenClick(); });
    On(CloseButton, &QPushButton::clicked, [this] { Close(); });
    On(List, &QTreeWidget::itemActivated, [this] { OpenClick(); });
    CentreOnScreen();
}

TFamilyForm::~TFamilyForm() {
    // An answer still under way goes nowhere: the ask ends within its own 5 s.
    if (asker_.joinable()) asker_.join();
}

void TFamilyForm::FormShow() {
    Refresh();
    refresh_->start();
    List->setFocus();
}

void TFamilyForm::FormClose() {
    refresh_->stop();
    if (closing_) closing_();
}

void TFamilyForm::Refresh() {
    if (asking_) {
        again_ = true;
        return;
    }
    if (asker_.joinable()) asker_.join();  // it has posted its answer: it ends at once
    asking_ = true;
    asker_ = std::thread([this] {
        std::string why;
        std::vector<MemberState> members = AskFamily(&why);
        // Delivered on the user-interface thread; dropped if the window is gone by then.
        QMetaObject::invokeMethod(
            this,
            [this, members = std::move(members), why]() mutable {
                platform::Guarded([&] { Answered(std::move(members), why); });
            },
            Qt::QueuedConnection);
    });
}

void TFamilyForm::Answered(std::vector<MemberState> members, const std::string& why) {
    asking_ = false;
    ++answers_;
    if (std::exchange(again_, false)) Refresh();
    const int chosen = List->currentItem() ? List->indexOfTopLevelItem(List->currentItem()) : 0;
    const QString chosenName = chosen >= 0 && chosen < static_cast<int>(members_.size())
                                   ? Q(members_[static_cast<std::size_t>(chosen)].account)
                                   : QString();
    members_ = std::move(members);
    List->clear();
    const std::string today = QDate::currentDate().toString(Qt::ISODate).toStdString();
    for (const MemberState& m : members_) {
        auto* item = new QTreeWidgetItem(
            List,
            {Q(ShownName(m.account)), Q(m.PasswordText()), Q(m.BlockingText()), Q(m.NowText()),
             QString::number(m.stoppedToday), Q(m.TodayText()), Q(m.LastAlert(today))});
        // The alerts name the child's programs, whose names the child chooses: plain text,
        // never markup a tooltip would render.
        std::string all;
        for (const std::string& alert : m.alerts) all += (all.empty() ? "" : "\n") + alert;
        item->setToolTip(6, Qt::convertFromPlainText(Q(all), Qt::WhiteSpaceNormal));
        if (Q(m.account) == chosenName) List->setCurrentItem(item);
        if (m.request) AddRequest(item, m);
    }
    if (!List->currentItem() && List->topLevelItemCount() > 0)
        List->setCurrentItem(List->topLevelItem(0));
    OpenButton->setEnabled(!members_.empty());
    if (!why.empty())
        Label1->setText(Q("The Veltrix service does not answer: " + why));
    else if (members_.empty())
        Label1->setText(
            QStringLiteral("No account is in group veltrix yet (sudo adduser CHILD veltrix)."));
    else
        Label1->setText(QStringLiteral("Choose a child's account and press Open:"));
}

void TFamilyForm::AddRequest(QTreeWidgetItem* memberItem, const MemberState& m) {
    auto* line = new QTreeWidgetItem(memberItem);
    line->setFirstColumnSpanned(true);
    line->setFlags(Qt::ItemIsEnabled);
    auto* row = new QWidget(List);
    row->setObjectName(Q("Request_" + m.account));
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(24, 0, 8, 0);
    auto* text = new QLabel(Q(m.account + " " + m.request->Text()), row);
    text->setTextFormat(Qt::PlainText);  // the child's own words
    QFont bold = text->font();
    bold.setBold(true);
    text->setFont(bold);
    layout->addWidget(text, 1);
    const std::string account = m.account;
    for (const bool grant : {true, false}) {
        auto* button =
            new QPushButton(grant ? QStringLiteral("&Grant...") : QStringLiteral("&Refuse"), row);
        button->setObjectName(grant ? QStringLiteral("Grant") : QStringLiteral("Refuse"));
        layout->addWidget(button);
        On(button, &QPushButton::clicked, [this, account, grant] {
            for (const MemberState& member : members_)
                if (member.account == account && answer_) {
                    // Answered after the click has ended: the password dialog waits in a loop
                    // of its own, where the list may be read anew and this button deleted.
                    QTimer::singleShot(0, this, [this, chosen = member, grant] {
                        platform::Guarded([&] { answer_(chosen, grant); });
                    });
                    return;
                }
        });
    }
    line->setSizeHint(0, QSize(0, row->sizeHint().height()));
    List->setItemWidget(line, 0, row);
    memberItem->setExpanded(true);
}

QPushButton* TFamilyForm::AnswerButton(const std::string& account, bool grant) const {
    auto* row = List->findChild<QWidget*>(Q("Request_" + account));
    return row ? row->findChild<QPushButton*>(grant ? QStringLiteral("Grant")
                                                    : QStringLiteral("Refuse"))
               : nullptr;
}

void TFamilyForm::OpenClick() {
    QTreeWidgetItem* item = List->currentItem();
    if (item && item->parent()) item = item->parent();  // a child's request: the child
    if (!item || !open_) return;
    const int at = List->indexOfTopLevelItem(item);
    if (at < 0 || at >= static_cast<int>(members_.size())) return;
    open_(members_[static_cast<std::size_t>(at)]);
}

}  // namespace family
