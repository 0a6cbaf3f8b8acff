#include "panel/lock/FirstPasswordDialog.h"

#include <QGroupBox>
#include <QLabel>

#include "panel/lock/NewPassword.h"
#include "panel/lock/PasswordField.h"

namespace lock {
namespace {

constexpr const char* kCaption = "Please enter password: ";

}  // namespace

TForm2::TForm2(QWidget* parent) : TForm(parent) {
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral("Veltrix"));
    resize(388, 172);
    GroupBox1 = new QGroupBox(QString::fromLatin1(kCaption), this);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    GroupBox1->setGeometry(8, 8, 369, 121);
    Label1 = new QLabel(QStringLiteral("Password:"), GroupBox1);
    Label1->move(40, 43);
    Label2 = new QLabel(QStringLiteral("Re-enter:"), GroupBox1);
    Label2->move(40, 75);
    Edit1 = MaskedField(GroupBox1, "Edit1", 104, 40, 217, 21);
    Edit2 = MaskedField(GroupBox1, "Edit2", 104, 72, 217, 21);
    SpeedButton1 = SpeedButton(this, "SpeedButton1", "OK", 112, 144, 89, 22);
    On(SpeedButton1, &QPushButton::clicked, [this] { SpeedButton1Click(); });
    OnKeyDown(Edit2, [this](int key) { Edit2KeyDown(key); });
    CentreOnScreen();
}

void TForm2::ForChild(const std::string& account) {
    SetCaption(GroupBox1, account.empty() ? QString::fromLatin1(kCaption)
                                          : QString::fromStdString("Choose a password for " +
                                                                   account + "'s settings: "));
}

void TForm2::SpeedButton1Click() {
    if (ConfirmNewPassword(Edit1, Edit2, true)) Close();
}

void TForm2::Edit2KeyDown(int key) {
    if (key == 13) SpeedButton1Click();
}

}  // namespace lock
