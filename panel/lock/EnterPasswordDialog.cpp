#include "panel/lock/EnterPasswordDialog.h"

#include <QGroupBox>
#include <QGuiApplication>
#include <QLineEdit>
#include <QScreen>
#include <QTimer>

#include "lib/platform/core/Application.h"
#include "lib/platform/widgets/MessageBox.h"
#include "lib/rtl/Convert.h"
#include "lib/store/ValueNames.h"
#include "panel/lock/PasswordField.h"
#include "panel/settings/Settings.h"

namespace lock {
namespace {

constexpr const char* kCaption = " Please enter password: ";

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
    GroupBox1 = new QGroupBox(QString::fromLatin1(kCaption), this);
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

void TForm4::ForChild(const std::string& account) {
    SetCaption(GroupBox1, account.empty()
                              ? QString::fromLatin1(kCaption)
                              : QString::fromStdString(" Password for " + account + ": "));
}

void TForm4::FormShow() {
    Edit1->setFocus();
    settings::Current().PrepareUnlock();
    if (settings::Current().Unlocked())
        QTimer::singleShot(0, this, [this] { platform::Guarded([this] { Unlocked(); }); });
}

void TForm4::SpeedButton1Click() {
    std::string typed = Edit1->text().toStdString();
    // A password sent to the service leaves the field (and this process's memory) at once.
    if (settings::Current().ThroughService()) Edit1->clear();
    const settings::Verdict verdict = settings::Current().Unlock(typed);
    settings::Wipe(typed);
    if (!verdict.ok) {
        platform::ShowMessage(verdict.message);
        return;
    }
    Unlocked();
}

void TForm4::Unlocked() {
    if (!Showing()) return;
    if (onUnlock_) onUnlock_();
    // A position that cannot be read (a value of another type, a store fault) is logged and
    // gives the design position: the right password always unlocks.
    std::string left, top;
    if (!platform::Guarded([&] {
            settings::With([&](settings::Values& reg) {
                left = reg.ReadString(store::kFormLeft);
                top = reg.ReadString(store::kFormTop);
            });
        }))
        left.clear();
    if (settings::Current().ThroughService()) Edit1->clear();
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
