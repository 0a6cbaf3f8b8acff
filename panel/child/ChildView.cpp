#include "panel/child/ChildView.h"

#include <QDateTime>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "lib/store/HourBoxes.h"
#include "panel/child/AskDialog.h"
#include "panel/child/MyDay.h"
#include "panel/child/WeekPlan.h"
#include "panel/schedule/Plan.h"

namespace child {

namespace {

constexpr int kRefreshMs = 5000;  // an answer shows within seconds

QLabel* Line(QWidget* parent, const char* name) {
    auto* label = new QLabel(parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setWordWrap(true);
    label->setTextFormat(Qt::PlainText);  // a reason is the child's own text
    return label;
}

}  // namespace

ChildView::ChildView(Asker asker, QWidget* parent) : QWidget(parent), ask_(std::move(asker)) {
    setObjectName(QStringLiteral("ChildView"));
    setWindowTitle(QStringLiteral("Veltrix: your time"));
    today = Line(this, "Today");
    QFont big = today->font();
    if (big.pointSizeF() > 0)
        big.setPointSizeF(big.pointSizeF() * 1.3);
    else
        big.setPixelSize(big.pixelSize() * 4 / 3);
    big.setBold(true);
    today->setFont(big);
    now = Line(this, "Now");
    request = Line(this, "Request");
    plan = new WeekPlan(this);
    ask = new QPushButton(QStringLiteral("&Ask for more time..."), this);
    ask->setObjectName(QStringLiteral("Ask"));
    close = new QPushButton(QStringLiteral("Close"), this);
    close->setObjectName(QStringLiteral("Close"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(today);
    layout->addWidget(now);
    layout->addWidget(request);
    layout->addWidget(new QLabel(QStringLiteral("This week (hatched hours are blocked):"), this));
    layout->addWidget(plan);
    auto* note = new QLabel(
        QStringLiteral("Your parents change these settings in Veltrix in their own account."),
        this);
    note->setWordWrap(true);
    layout->addWidget(note);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(ask);
    buttons->addStretch();
    buttons->addWidget(close);
    layout->addLayout(buttons);
    connect(ask, &QPushButton::clicked, this, [this] { AskForMoreTime(); });
    connect(close, &QPushButton::clicked, this, &QWidget::close);
    timer_ = new QTimer(this);
    connect(timer_, &QTimer::timeout, this, [this] { Refresh(); });
    timer_->start(kRefreshMs);
    Refresh();
}

void ChildView::Refresh() {
    const control::Reply r = ask_({"mine"});
    const auto day = r.ok() ? ParseMine(r.fields) : std::nullopt;
    if (!day) {
        today->setText(QStringLiteral("Veltrix's service does not answer now."));
        now->setText(QString::fromStdString(r.ok() ? "" : r.Text()));
        request->hide();
        ask->setEnabled(false);
    } else {
        today->setText(QString::fromStdString(TodayWords(*day)));
        now->setText(QString::fromStdString(NowWords(*day)));
        const std::string open = RequestWords(*day);
        request->setText(QString::fromStdString(open));
        request->setVisible(!open.empty());
        ask->setEnabled(open.empty());
        ask->setToolTip(open.empty()
                            ? QString()
                            : QStringLiteral("One request at a time: wait for the answer."));
    }
    enforce::GuardSettings schedule;
    enforce::Allowance allowance;
    schedule::ReadPlan(schedule, allowance);
    std::array<bool, 168> blocked{};
    for (int day = 0; day < 7; ++day)
        for (int hour = 0; hour < 24; ++hour)
            blocked.at(static_cast<std::size_t>(day) * 24 + static_cast<std::size_t>(hour)) =
                schedule.blocked.at(static_cast<std::size_t>(store::HourBox(day, hour) - 1));
    const QDateTime local = QDateTime::currentDateTime();
    plan->Show(blocked, local.date().dayOfWeek() % 7, local.time().hour());
}

void ChildView::AskForMoreTime() {
    AskDialog dialog(ask_, this);
    dialog.exec();
    Refresh();
}

}  // namespace child
