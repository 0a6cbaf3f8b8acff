#include "panel/child/WeekPlan.h"

#include <QPainter>

#include "lib/enforce/Clock.h"

namespace child {

namespace {

constexpr int kLabelWidth = 90;
constexpr int kCell = 20;
constexpr int kHeader = 16;

const QColor kAllowed(170, 215, 160);
const QColor kBlocked(180, 40, 40);

}  // namespace

WeekPlan::WeekPlan(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("WeekPlan"));
    setMinimumSize(sizeHint());
}

QSize WeekPlan::sizeHint() const {
    return {kLabelWidth + 24 * kCell + 2, kHeader + 7 * kCell + 2};
}

void WeekPlan::Show(const std::array<bool, 168>& blocked, int weekday, int hour) {
    blocked_ = blocked;
    weekday_ = weekday;
    hour_ = hour;
    update();
}

void WeekPlan::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), palette().window());
    const QColor text = palette().windowText().color();
    for (int h = 0; h < 24; h += 3) {
        p.setPen(text);
        p.drawText(QRect(kLabelWidth + h * kCell, 0, 3 * kCell, kHeader),
                   Qt::AlignLeft | Qt::AlignVCenter, QString::number(h));
    }
    for (int day = 0; day < 7; ++day) {
        const int top = kHeader + day * kCell;
        QFont font = p.font();
        font.setBold(day == weekday_);
        p.setFont(font);
        p.setPen(text);
        p.drawText(QRect(0, top, kLabelWidth - 6, kCell), Qt::AlignRight | Qt::AlignVCenter,
                   QString::fromUtf8(enforce::DayName(day)));
        for (int h = 0; h < 24; ++h) {
            const QRect cell(kLabelWidth + h * kCell, top, kCell, kCell);
            const bool blocks =
                blocked_.at(static_cast<std::size_t>(day) * 24 + static_cast<std::size_t>(h));
            p.fillRect(cell, blocks ? palette().base().color() : kAllowed);
            if (blocks) p.fillRect(cell, QBrush(kBlocked, Qt::BDiagPattern));
            p.setPen(palette().mid().color());
            p.drawRect(cell);
        }
    }
    if (weekday_ >= 0 && hour_ >= 0) {
        p.setPen(QPen(text, 2));
        p.drawRect(QRect(kLabelWidth + hour_ * kCell, kHeader + weekday_ * kCell, kCell, kCell)
                       .adjusted(1, 1, -1, -1));
    }
}

}  // namespace child
