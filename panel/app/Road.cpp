#include "panel/app/Road.h"

#include <QCheckBox>
#include <QScreen>

#include <algorithm>

#include "lib/control/Client.h"
#include "lib/platform/widgets/MessageBox.h"
#include "panel/app/Program.h"
#include "panel/lock/EnterPasswordDialog.h"
#include "panel/lock/FirstPasswordDialog.h"
#include "panel/schedule/ScheduleGrid.h"
#include "panel/schedule/TodayDialogs.h"
#include "panel/settings/ChildSettings.h"

namespace app {

Road ChooseRoad() {
    const control::Reply r = control::Ask({"status"}, 5000);
    if (!r.ok() || r.fields.size() < 3) return Road::OwnStore;
    if (r.fields[1] == "member") return Road::Child;
    if (r.fields[1] == "parent") return Road::Parent;
    return Road::OwnStore;
}

FamilyRoad::FamilyRoad(Windows& windows)
    : windows_(windows), form_(std::make_unique<family::TFamilyForm>()) {
    form_->OnOpen([this](const family::MemberState& m) { Open(m); });
    form_->OnClosing([this] { CloseChild(); });
    form_->OnAnswer([this](const family::MemberState& m, bool grant) { Answer(m, grant); });
    QObject::connect(windows_.form1.get(), &platform::TForm::Closed, form_.get(),
                     [this] { platform::Guarded([this] { form_->Refresh(); }); });
}

FamilyRoad::~FamilyRoad() = default;

void FamilyRoad::CloseChild() {
    // The child's windows close first: what the parent changed there is sealed at the close.
    for (platform::TForm* form : {static_cast<platform::TForm*>(windows_.form6.get()),
                                  static_cast<platform::TForm*>(windows_.form7.get()),
                                  static_cast<platform::TForm*>(windows_.form8.get())})
        if (form->Showing()) form->Close();
    if (windows_.form1->Showing()) windows_.form1->Close();
}

void FamilyRoad::Open(const family::MemberState& chosen) {
    const family::MemberState member = chosen;  // the list is read anew when a window closes
    CloseChild();
    // The main window as it was designed, so nothing of the child before shows for this one.
    for (int n = 1; n <= schedule::kBoxes; ++n) windows_.form1->Grid().Box(n)->setChecked(true);
    windows_.form1->CheckBox169->setChecked(true);
    // The statistics show the log as it is now, not as it was when the program started.
    platform::Guarded([this] { windows_.form7->FormCreate(); });
    std::string remembered;
    if (auto* before = dynamic_cast<settings::ChildSettings*>(&settings::Current()))
        remembered = before->Password();
    settings::Choose(
        std::make_unique<settings::ChildSettings>(member.account, member.sealed, remembered));
    settings::Wipe(remembered);
    windows_.form1->setWindowTitle(QString::fromStdString("Veltrix (for kids): " + member.account));
    windows_.form2->ForChild(member.account);
    windows_.form4->ForChild(member.account);
    windows_.form1->Show();
    Beside(*windows_.form1);
}

void FamilyRoad::Beside(QWidget& window) {
    // Beside the list where the screen has room, not over it: the children's requests, their
    // last alerts and Close stay in sight.
    const QScreen* screen = form_->screen();
    if (!screen || !window.isVisible()) return;
    const QRect room = screen->availableGeometry();
    const QRect list = form_->frameGeometry();
    const int width = window.frameGeometry().width();
    int x = list.right() + 8;
    if (x + width > room.right()) x = list.left() - 8 - width;
    if (x >= room.left()) window.move(x, std::max(room.top(), list.top()));
}

void FamilyRoad::Answer(const family::MemberState& member, bool grant) {
    if (!member.request) return;
    Open(member);
    if (!windows_.form1->Showing()) return;  // the password was not given
    if (grant) {
        windows_.form1->Moretime1Click(member.request->minutes);
    } else {
        schedule::RefuseDialog dialog(windows_.form1.get(),
                                      member.account + " " + member.request->Text());
        dialog.exec();
    }
    form_->Refresh();
}

}  // namespace app
