// The "Time a day" dialog on real widgets over a store of the test's own: what it shows of the
// stored minutes, and what OK stores.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>

#include "lib/store/ValueNames.h"
#include "panel/schedule/TimeADayDialog.h"
#include "tests/support/TempEnv.h"

using testing_support::Get;
using testing_support::Set;

TEST(TimeADay, ShowsWhatIsStoredAndStoresEveryDayOnOk) {
    testing_support::TempEnv env;
    Set(store::MinutesADayName(3), "90");
    Set(store::MinutesADayName(5), "nonsense");
    schedule::TimeADayDialog dialog;
    dialog.show();
    const auto& wednesday = dialog.rows[3];
    EXPECT_TRUE(wednesday.limit->isChecked());
    EXPECT_EQ(wednesday.hours->value(), 1);
    EXPECT_EQ(wednesday.minutes->value(), 30);
    EXPECT_FALSE(dialog.rows[5].limit->isChecked());  // what is no number is no limit
    EXPECT_FALSE(dialog.rows[0].limit->isChecked());
    EXPECT_FALSE(dialog.rows[0].hours->isEnabled());

    // Monday 2 h 15 for every day, then Sunday without a limit, as a parent clicks it.
    QTest::mouseClick(dialog.rows[1].limit, Qt::LeftButton, {}, QPoint(4, 4));
    ASSERT_TRUE(dialog.rows[1].limit->isChecked());
    dialog.rows[1].hours->setValue(2);
    dialog.rows[1].minutes->setValue(15);
    QTest::mouseClick(dialog.sameEveryDay, Qt::LeftButton);
    QTest::mouseClick(dialog.rows[0].limit, Qt::LeftButton, {}, QPoint(4, 4));
    // 24 hours is the whole day.
    dialog.rows[6].hours->setValue(24);
    EXPECT_EQ(dialog.rows[6].minutes->value(), 0);
    dialog.grab().save(QStringLiteral("/tmp/time-a-day.png"));
    QTest::mouseClick(dialog.ok, Qt::LeftButton);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(Get(store::MinutesADayName(0)), "");
    for (int day : {1, 2, 3, 4, 5}) EXPECT_EQ(Get(store::MinutesADayName(day)), "135") << day;
    EXPECT_EQ(Get(store::MinutesADayName(6)), "1440");
}
