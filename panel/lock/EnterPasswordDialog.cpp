#include "panel/lock/EnterPasswordDialog.h"

#include <QGroupBox>
#include <QGuiApplication>
#include <QLineEdit>
#include <QScreen>

#include "lib/control/Client.h"
#include "lib/password/PasswordHash.h"
#include "lib/platform/core/Application.h"
#include "lib/platform/widgets/MessageBox.h"
#include "lib/rtl/Convert.h"
#include "lib/store/SettingsStore.h"
#include "panel/lock/ParentPassword.h"
#include "panel/lock/PasswordField.h"

namespace lock {
namespace {

// A saved position that is absent, malformed, or would leave the window wholly outside every
// screen gives the design position.
QPoint RestoredPosition(const std::string& leftText, const std::string& topText, QSize size) {
    auto left = rtl::TryStrToInt(leftText);
    auto top = rtl::TryStrToInt(topText);
    if (!left || !top) return {kDesignLeft, kDesignTop};
    const QRect frame(*left, *top, size.width(), size.height());
    for (QScreen* screen : QGuiApplication::screens())
        if (screen->geometry().intersects(frame)) return {*left, *top};
    return {kDesignLeft, kDesignTop};
}

}  // namespace

TForm4::TForm4(platform::TForm* mainForm, QWidget* parent) : TForm(parent), mainForm_(mainForm) {
    setObjectName(QStringLiteral("Form4"));
    setWindowTitle(QStringLiteral("Veltrix"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(281, 119);
    GroupBox1 = new QGroupBox(QStringLiteral(" Please enter password: "), this);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    GroupBox1->setFont(platform::LargeFont());
    GroupBox1->setGeometry(8, 8, 265, 65);
    Edit1 = MaskedField(GroupBox1, "Edit1", 32, 24, 201, 24);
    Edit1->setFont(platform::DialogFont());
    SpeedButton1 = SpeedButton(this, "SpeedButton1", "OK", 48, 88, 89, 22);
    SpeedButton2 = SpeedButton(this, "SpeedButton2", "Cancel", 152, 88, 89, 22);
    On(SpeedButton1, &QPushButton::clicked, [this] { SpeedButton1Click(); });
    On(SpeedButton2, &QPushButton::clicked, [this] { SpeedButton2Click(); });
    OnKeyDown(Edit1, [this](int key) { Edit1KeyDown(key); });
    CentreOnScreen();
}

void TForm4::ReadStoredPassword() {
    passwordKnown_ = store::WithSettings(
        [&](store::TRegistry& reg) { password_ = reg.ReadString(store::kPassword); });
    if (!passwordKnown_)
        throw rtl::Exception("The settings store cannot be opened: the password is unknown");
}

void TForm4::FormShow() {
    passwordKnown_ = false;
    Edit1->setFocus();
    service_ = AskService();
    ReadStoredPassword();
}

bool TForm4::Unlocks(const std::string& typed) {
    if (service_.failed) service_ = AskService();  // back again?
    if (service_.failed) {
        platform::ShowMessage(service_.why);
        return false;
    }
    if (service_.enforces && service_.sealed) {
        const control::Reply r = control::Ask({"verify", typed});
        if (r.ok()) return true;
        // Wrong, or held back after too many wrong ones: the service's words say which.
        platform::ShowMessage(r.status == control::Reply::Error && r.Text() == "wrong password"
                                  ? "You were mistaken, try again."
                                  : r.Text());
        return false;
    }
    if (!passwordKnown_) platform::Guarded([this] { ReadStoredPassword(); });  // back again?
    if (!passwordKnown_ || !MatchesStored(typed, password_)) {
        platform::ShowMessage("You were mistaken, try again.");
        return false;
    }
    // A password an older version stored as it was typed is replaced by its hash.
    if (!password::IsHash(password_)) platform::Guarded([&] { StorePasswordHash(typed); });
    // The service knows no password for this account yet (it was installed after the
    // panel was set up, or the administrator reset it): this one and the settings are sealed.
    if (service_.enforces) {
        if (!platform::Guarded([&] {
                SealNewPassword(typed, true);
                SealStoreValues();
            })) {
            platform::ShowMessage("The Veltrix service did not seal the password; see the log.");
            return false;
        }
    }
    return true;
}

void TForm4::SpeedButton1Click() {
    const std::string typed = Edit1->text().toStdString();
    if (!Unlocks(typed)) return;
    SetRunPassword(typed);
    if (service_.enforces) platform::Guarded([] { ShowSealedValues(); });
    if (onUnlock_) onUnlock_();
    // A position that cannot be read (a value of another type, a store fault) is logged and
    // gives the design position: the right password always unlocks.
    std::string left, top;
    if (!platform::Guarded([&] {
            store::WithSettings([&](store::TRegistry& reg) {
                left = reg.ReadString(store::kFormLeft);
                top = reg.ReadString(store::kFormTop);
            });
        }))
        left.clear();
    Close();
    const QPoint at = RestoredPosition(left, top, mainForm_->frameGeometry().size());
    mainForm_->MoveTo(at.x(), at.y());
}

void TForm4::SpeedButton2Click() {
    mainForm_->Close();
    Close();
}

void TForm4::Edit1KeyDown(int key) {
    if (key == 13) SpeedButton1Click();
}

}  // namespace lock
