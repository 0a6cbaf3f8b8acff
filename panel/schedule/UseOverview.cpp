#include "panel/schedule/UseOverview.h"

#include <QDate>

#include <algorithm>

#include "lib/store/HourBoxes.h"

namespace schedule {

UseOverview MakeOverview(const std::string& today, const enforce::UseRecord& record,
                         const enforce::GuardSettings& schedule,
                         const enforce::Allowance& allowance) {
    UseOverview o;
    o.today = today;
    const QDate day = QDate::fromString(QString::fromStdString(today), Qt::ISODate);
    if (!day.isValid()) return o;
    const auto& days = record.Days();
    for (int back = kTotalDays - 1; back >= 0; --back) {
        const QDate d = day.addDays(-back);
        UseDay u;
        u.date = d.toString(Qt::ISODate).toStdString();
        u.weekday = d.dayOfWeek() % 7;  // Qt: Monday 1 .. Sunday 7
        if (const auto it = days.find(u.date); it != days.end()) {
            u.seconds = it->second.seconds;
            u.total = it->second.Total();
        }
        for (int h = 0; h < 24; ++h)
            u.blocked[static_cast<std::size_t>(h)] =
                schedule.blocked[static_cast<std::size_t>(store::HourBox(u.weekday, h) - 1)];
        u.allowed = allowance.minutes[static_cast<std::size_t>(u.weekday)];
        if (back < kUseDays) o.week.push_back(u);
        o.totals.push_back(std::move(u));
    }
    if (const auto it = days.find(today); it != days.end())
        o.programs.assign(it->second.programs.begin(), it->second.programs.end());
    std::stable_sort(o.programs.begin(), o.programs.end(),
                     [](const auto& a, const auto& b) { return a.second > b.second; });
    return o;
}

}  // namespace schedule
