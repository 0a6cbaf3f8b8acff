// The About box reads the installed version at every showing.
#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>
#include <QTest>

#include "panel/update/AboutBox.h"
#include "tests/support/Gui.h"
#include "tests/support/TempEnv.h"

using testing_support::Set;
using testing_support::TempEnv;
using testing_support::WhenModal;

TEST(AboutBox, ShowsTheVersionReadAfreshAtEveryShowing) {
    TempEnv env;
    update::TForm9 form;
    auto showAndRead = [&] {
        std::string text;
        WhenModal(&form, [&] {
            text = form.Label2->text().toStdString();
            QTest::mouseClick(form.SpeedButton1, Qt::LeftButton);
        });
        form.ShowModal();
        return text;
    };
    EXPECT_EQ(showAndRead(), "Version: ");
    Set("thisversion", "Veltrix v1.0");
    EXPECT_EQ(showAndRead(), "Version: Veltrix v1.0");
    Set("thisversion", "Veltrix v2.0 beta");
    EXPECT_EQ(showAndRead(), "Version: Veltrix v2.0 beta");
    EXPECT_EQ(form.Label1->text(), "Veltrix");
    EXPECT_TRUE(form.Label1->font().bold());
    // A wrong-typed value leaves the line as it was.
    testing_support::SetDword("thisversion", 2);
    EXPECT_EQ(showAndRead(), "Version: Veltrix v2.0 beta");
}
