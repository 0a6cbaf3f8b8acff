#include "panel/schedule/UseWindow.h"

#include <QDate>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <map>

#include "lib/enforce/Allowance.h"
#include "lib/enforce/Clock.h"
#include "lib/enforce/Settings.h"
#include "lib/store/ValueNames.h"
#include "panel/schedule/Plan.h"
#include "panel/settings/Settings.h"

namespace schedule {

namespace {

constexpr int kLabelWidth = 96;  // the day names left of the grid
constexpr int kCell = 22;
constexpr int kHeader = 18;  // the hours above the grid
constexpr int kBarsHeight = 120;

const QColor kUsed(30, 90, 200);
const QColor kOver(214, 96, 20);
const QColor kBlockedHatch(180, 40, 40);

QString DayLabel(const UseDay& d) {
    const QDate date = QDate::fromString(QString::fromStdString(d.date), Qt::ISODate);
    return QString::fromUtf8(enforce::DayName(d.weekday)).left(3) +
           date.toString(QStringLiteral(" d MMM"));
}

}  // namespace

UseChart::UseChart(const QString& name, QWidget* parent) : QWidget(parent) {
    setObjectName(name);
}

void UseChart::Show(const UseOverview& overview) {
    overview_ = overview;
    update();
}

UseGrid::UseGrid(QWidget* parent) : UseChart(QStringLiteral("UseGrid"), parent) {
    setMinimumSize(sizeHint());
}

QSize UseGrid::sizeHint() const {
    return {kLabelWidth + 24 * kCell + 2, kHeader + kUseDays * kCell + 2};
}

void UseGrid::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), palette().base());
    p.setPen(palette().text().color());
    for (int h = 0; h < 24; h += 3)
        p.drawText(QRect(kLabelWidth + h * kCell, 0, 3 * kCell, kHeader),
                   Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("%1:00").arg(h));
    for (std::size_t row = 0; row < overview_.week.size(); ++row) {
        const UseDay& d = overview_.week[row];
        const int top = kHeader + static_cast<int>(row) * kCell;
        QFont font = p.font();
        font.setBold(d.date == overview_.today);
        p.setFont(font);
        p.setPen(palette().text().color());
        p.drawText(QRect(0, top, kLabelWidth - 4, kCell), Qt::AlignRight | Qt::AlignVCenter,
                   DayLabel(d));
        for (int h = 0; h < 24; ++h) {
            const QRect cell(kLabelWidth + h * kCell, top, kCell, kCell);
            const int s = d.seconds[static_cast<std::size_t>(h)];
            // White for none to full blue for a whole hour.
            const double share = std::clamp(s / 3600.0, 0.0, 1.0);
            QColor shade = palette().base().color();
            if (s > 0)
                shade = QColor::fromRgbF(1.0 - share * (1.0 - kUsed.redF()),
                                         1.0 - share * (1.0 - kUsed.greenF()),
                                         1.0 - share * (1.0 - kUsed.blueF()));
            p.fillRect(cell, shade);
            if (d.blocked[static_cast<std::size_t>(h)])
                p.fillRect(cell, QBrush(kBlockedHatch, Qt::BDiagPattern));
            p.setPen(palette().mid().color());
            p.drawRect(cell);
        }
    }
}

UseTotals::UseTotals(QWidget* parent) : UseChart(QStringLiteral("UseTotals"), parent) {
    setMinimumSize(sizeHint());
}

QSize UseTotals::sizeHint() const {
    return {kLabelWidth + 24 * kCell + 2, kBarsHeight + 2 * kHeader};
}

void UseTotals::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), palette().window());
    if (overview_.totals.empty()) return;
    // The scale: the longest day or allowance, at least an hour, in whole hours.
    int most = 3600;
    for (const UseDay& d : overview_.totals)
        most = std::max({most, d.total, d.allowed > 0 ? d.allowed * 60 : 0});
    most = (most + 3599) / 3600 * 3600;
    const int left = kLabelWidth, top = kHeader / 2, height = kBarsHeight;
    const int width = 24 * kCell;
    const double slot = static_cast<double>(width) / static_cast<double>(overview_.totals.size());
    const auto y = [&](int seconds) { return top + height - seconds * height / most; };
    p.setPen(palette().mid().color());
    for (int h = 0; h <= most / 3600; ++h) {
        p.drawLine(left, y(h * 3600), left + width, y(h * 3600));
        p.setPen(palette().text().color());
        p.drawText(QRect(0, y(h * 3600) - 8, left - 4, 16), Qt::AlignRight | Qt::AlignVCenter,
                   QStringLiteral("%1 h").arg(h));
        p.setPen(palette().mid().color());
    }
    for (std::size_t i = 0; i < overview_.totals.size(); ++i) {
        const UseDay& d = overview_.totals[i];
        const int x = left + static_cast<int>(static_cast<double>(i) * slot);
        const int w = std::max(2, static_cast<int>(slot) - 3);
        const bool over = d.allowed >= 0 && d.total >= d.allowed * 60;
        if (d.total > 0)
            p.fillRect(QRect(x + 1, y(d.total), w, top + height - y(d.total)),
                       over ? kOver : kUsed);
        if (d.allowed >= 0) {
            p.setPen(QPen(palette().text().color(), 2));
            p.drawLine(x, y(d.allowed * 60), x + w + 2, y(d.allowed * 60));
        }
        // Each Monday named below its bar.
        if (d.weekday == 1 || i == 0) {
            p.setPen(palette().text().color());
            const QDate date = QDate::fromString(QString::fromStdString(d.date), Qt::ISODate);
            p.drawText(QRect(x, top + height + 2, 60, kHeader), Qt::AlignLeft | Qt::AlignTop,
                       date.toString(QStringLiteral("d MMM")));
        }
    }
}

UseWindow::UseWindow(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("Use"));
    setWindowTitle(QStringLiteral("Use"));
    auto* layout = new QVBoxLayout(this);
    today = new QLabel(this);
    today->setObjectName(QStringLiteral("Today"));
    QFont bold = today->font();
    bold.setBold(true);
    today->setFont(bold);
    layout->addWidget(today);
    layout->addWidget(new QLabel(
        QStringLiteral("The last 7 days, hour by hour: the darker, the more minutes of browsers "
                       "and blocked applications. Hatched hours are blocked by the schedule."),
        this));
    grid = new UseGrid(this);
    layout->addWidget(grid);
    layout->addWidget(new QLabel(
        QStringLiteral("The last 4 weeks, day by day; the line is the day's allowance."), this));
    totals = new UseTotals(this);
    layout->addWidget(totals);
    layout->addWidget(new QLabel(QStringLiteral("Today's programs:"), this));
    programs = new QTableWidget(0, 2, this);
    programs->setObjectName(QStringLiteral("Programs"));
    programs->setHorizontalHeaderLabels({QStringLiteral("Program"), QStringLiteral("Time")});
    programs->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    programs->verticalHeader()->hide();
    programs->setEditTriggers(QAbstractItemView::NoEditTriggers);
    programs->setMinimumHeight(100);
    programs->setMaximumHeight(160);
    layout->addWidget(programs);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    auto* refresh = buttons->addButton(QStringLiteral("&Refresh"), QDialogButtonBox::ActionRole);
    connect(refresh, &QPushButton::clicked, this, [this] { Load(); });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

void UseWindow::Load() {
    std::string why;
    const auto use = settings::Current().ReadUse(&why);
    if (!use) {
        Show({});
        today->setText(QString::fromStdString("The time used cannot be shown: " + why));
        return;
    }
    Show(*use);
}

void UseWindow::Show(const settings::UseRead& use) {
    enforce::GuardSettings schedule;
    enforce::Allowance allowance;
    ReadPlan(schedule, allowance);
    const UseOverview o =
        MakeOverview(use.today, enforce::UseRecord::Parse(use.lines), schedule, allowance);
    grid->Show(o);
    totals->Show(o);
    if (!o.totals.empty()) {
        const UseDay& d = o.totals.back();
        std::string text = "Today: ";
        text.append(enforce::HoursMinutes(d.total));
        if (d.allowed >= 0)
            text.append(" of ").append(enforce::HoursMinutes(d.allowed * 60LL));
        else
            text.append(" (no limit)");
        today->setText(QString::fromStdString(text));
    }
    programs->setRowCount(static_cast<int>(o.programs.size()));
    for (std::size_t i = 0; i < o.programs.size(); ++i) {
        const int row = static_cast<int>(i);
        programs->setItem(row, 0,
                          new QTableWidgetItem(QString::fromStdString(o.programs[i].first)));
        auto* time = new QTableWidgetItem(
            QString::fromStdString(enforce::HoursMinutes(o.programs[i].second)));
        time->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        programs->setItem(row, 1, time);
    }
}

}  // namespace schedule
