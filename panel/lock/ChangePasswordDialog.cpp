#include "panel/lock/ChangePasswordDialog.h"

#include <QGroupBox>
#include <QLabel>

#include "panel/lock/NewPassword.h"
#include "panel/lock/PasswordField.h"

namespace lock {

TForm3::TForm3(QWidget* parent) : TForm(parent) {
    setObjectName(QStringLiteral("Form3"));
    setWindowTitle(QStringLiteral("Veltrix"));
    resize(313, 172);
    GroupBox1 = new QGroupBox(QStringLiteral(" Change password: "), this);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    GroupBox1->setFont(platform::LargeFont());
    GroupBox1->setGeometry(8, 8, 297, 121);
    Label1 = new QLabel(QStringLiteral("New password:"), GroupBox1);
    Label1->setFont(platform::DialogFont());
    Label1->move(24, 37);
    Label2 = new QLabel(QStringLiteral("Re-enter password:"), GroupBox1);
    Label2->setFont(platform::DialogFont());
    Label2->move(24, 77);
    Edit1 = MaskedField(GroupBox1, "Edit1", 152, 32, 121, 24);
    Edit2 = MaskedField(GroupBox1, "Edit2", 152, 72, 121, 24);
    Edit1->setFont(platform::DialogFont());
    Edit2->setFont(platform::DialogFont());
    SpeedButton1 = SpeedButton(this, "SpeedButton1", "OK", 96, 144, 89, 22);
    SpeedButton2 = SpeedButton(this, "SpeedButton2", "Cancel", 192, 144, 89, 22);
    On(SpeedButton1, &QPushButton::clicked, [this] { SpeedButton1Click(); });
    On(SpeedButton2, &QPushButton::clicked, [this] { SpeedButton2Click(); });
    OnKeyDown(Edit2, [this](int key) { Edit2KeyDown(key); });
    CentreOnScreen();
}

void TForm3::SpeedButton1Click() {
    if (ConfirmNewPassword(Edit1, Edit2, false)) Close();
}

void TForm3::SpeedButton2Click() {
    Close();
}

void TForm3::Edit2KeyDown(int key) {
    if (key == 13) SpeedButton1Click();
}

}  // namespace lock
