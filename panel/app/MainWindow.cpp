#include "panel/app/MainWindow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QMenuBar>

#include "lib/platform/widgets/Controls.h"
#include "lib/rtl/Convert.h"
#include "lib/store/ValueNames.h"
#include "panel/app/ErrorLog.h"
#include "panel/blocking/Autostart.h"
#include "panel/blocking/GuardProgram.h"
#include "panel/schedule/DaySelector.h"
#include "panel/schedule/ScheduleGrid.h"
#include "panel/schedule/TimeADayDialog.h"
#include "panel/schedule/TodayDialogs.h"
#include "panel/schedule/UseWindow.h"
#include "panel/settings/Settings.h"

namespace app {
namespace {
constexpr int kClientWidth = 296;
constexpr int kClientHeight = 510;
}  // namespace

TForm1::TForm1(QWidget* parent) : TForm(parent) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Veltrix (for kids)"));

    MainMenu1 = new QMenuBar(this);
    MainMenu1->setObjectName(QStringLiteral("MainMenu1"));
    QMenu* file = MainMenu1->addMenu(QStringLiteral("&File"));
    Editblocked1 = file->addAction(QStringLiteral("&Block applications..."));
    Editblocked1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_B));
    file->addSeparator();
    Changepassword1 = file->addAction(QStringLiteral("&Change password..."));
    Changepassword1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_C));
    Internetoff1 = file->addAction(QStringLiteral("&Internet off at blocked hours"));
    Internetoff1->setCheckable(true);
    Internetoff1->setChecked(true);
    Internetoff1->setVisible(false);
    Timeaday1 = file->addAction(QStringLiteral("&Time a day..."));
    Timeaday1->setVisible(false);
    Use1 = file->addAction(QStringLiteral("&Use..."));
    Use1->setVisible(false);
    Moretime1 = file->addAction(QStringLiteral("&More time today..."));
    Moretime1->setVisible(false);
    Blocknow1 = file->addAction(QStringLiteral("Block &now until..."));
    Blocknow1->setVisible(false);
    file->addSeparator();
    Exit1 = file->addAction(QStringLiteral("Exit"));
    file->addSeparator();
    S1 = MainMenu1->addMenu(QStringLiteral("&View"))->addAction(QStringLiteral("&Statistics..."));
    Checkupofupdating1 = MainMenu1->addMenu(QStringLiteral("Update"))
                             ->addAction(QStringLiteral("Check up of updating.."));
    About1 = MainMenu1->addMenu(QStringLiteral("&Help"))->addAction(QStringLiteral("&About..."));
    // Shortcuts work while the window has the focus, wherever it is inside it.
    addActions({Editblocked1, Changepassword1});

    const int menuHeight = MainMenu1->sizeHint().height();
    MainMenu1->setGeometry(0, 0, kClientWidth, menuHeight);
    Client = new QWidget(this);
    Client->setObjectName(QStringLiteral("Client"));
    Client->setGeometry(0, menuHeight, kClientWidth, kClientHeight);
    setFixedSize(kClientWidth, menuHeight + kClientHeight);

    GroupBox1 = new QGroupBox(QStringLiteral(" Day of week: "), Client);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    GroupBox1->setFont(platform::LargeFont());
    GroupBox1->setGeometry(8, 8, 281, 57);
    ComboBox1 = new QComboBox(GroupBox1);
    ComboBox1->setObjectName(QStringLiteral("ComboBox1"));
    ComboBox1->setFont(platform::DialogFont());
    ComboBox1->setGeometry(8, 24, 265, 24);

    grid_ = std::make_unique<schedule::ScheduleGrid>(Client);
    days_ = std::make_unique<schedule::DaySelector>(ComboBox1, *grid_);

    CheckBox169 = new QCheckBox(QStringLiteral("Run when Windows starts"), Client);
    CheckBox169->setObjectName(QStringLiteral("CheckBox169"));
    CheckBox169->setFont(platform::LargeFont());
    CheckBox169->setGeometry(16, 416, 265, 17);
    CheckBox169->setChecked(true);

    using platform::SpeedButton;
    SpeedButton4 = SpeedButton(Client, "SpeedButton4", "Enable Veltrix", 16, 448, 177, 22);
    SpeedButton5 = SpeedButton(Client, "SpeedButton5", "Switch off", 208, 448, 73, 22);
    SpeedButton1 = SpeedButton(Client, "SpeedButton1", "Close", 200, 480, 89, 22);
    SpeedButton2 = SpeedButton(Client, "SpeedButton2", "Enable Veltrix", 0, 440, 185, 22);
    SpeedButton3 = SpeedButton(Client, "SpeedButton3", "Switch off", 0, 440, 89, 22);
    platform::PlaceLeft(SpeedButton2, platform::kOffScreen);
    platform::PlaceLeft(SpeedButton3, platform::kOffScreen);

    On(ComboBox1, &QComboBox::activated, [this] { days_->ComboBox1Change(); });
    On(SpeedButton1, &QPushButton::clicked, [this] { SpeedButton1Click(); });
    On(SpeedButton2, &QPushButton::clicked, [this] { SpeedButton2Click(); });
    On(SpeedButton3, &QPushButton::clicked, [this] { SpeedButton3Click(); });
    On(SpeedButton4, &QPushButton::clicked, [this] { SpeedButton4Click(); });
    On(SpeedButton5, &QPushButton::clicked, [this] { SpeedButton5Click(); });
    On(Editblocked1, &QAction::triggered, [this] { Editblocked1Click(); });
    On(Changepassword1, &QAction::triggered, [this] { Changepassword1Click(); });
    On(Internetoff1, &QAction::triggered, [this] { Internetoff1Click(); });
    On(Timeaday1, &QAction::triggered, [this] { Timeaday1Click(); });
    On(Use1, &QAction::triggered, [this] { Use1Click(); });
    On(Moretime1, &QAction::triggered, [this] { Moretime1Click(); });
    On(Blocknow1, &QAction::triggered, [this] { Blocknow1Click(); });
    On(Exit1, &QAction::triggered, [this] { Exit1Click(); });
    On(S1, &QAction::triggered, [this] { S1Click(); });
    On(Checkupofupdating1, &QAction::triggered, [this] { Checkupofupdating1Click(); });
    On(About1, &QAction::triggered, [this] { About1Click(); });

    MoveTo(715, 149);
    platform::Guarded([this] { FormCreate(); });
}

TForm1::~TForm1() = default;

void TForm1::FormCreate() {
    platform::Application::SetExceptionHandler(
        [this](const std::exception& e) { ErrorHandler(e); });
}

void TForm1::ErrorHandler(const std::exception& e) {
    AppendErrorLog(e.what());
}

void TForm1::FormShow() {
    using platform::Guarded;
    autostartShown_.reset();
    // Each step stands alone: a failure is logged and the lock still comes up.
    Guarded([this] { days_->WhatDayToday(); });
    Guarded([this] { grid_->WhatCheckBoxChecked(); });
    Guarded([this] { ShowInternetOff(); });
    Guarded([] {
        const std::string dir = platform::Application::ProgramDirectory();
        settings::With([&](settings::Values& reg) { reg.WriteString(store::kVeltrixDir, dir); });
    });
    launchCounter_.clear();
    Guarded([this] {
        settings::With(
            [&](settings::Values& reg) { launchCounter_ = reg.ReadString(store::kLaunchCounter); });
    });
    if (launchCounter_ == "0" && dialogs_.form2) {
        dialogs_.form2->ShowModal();
        Left(platform::kOffScreen);
    }
    Guarded([this] {
        int starts = 0;
        if (auto counted = rtl::TryStrToInt(launchCounter_)) {
            starts = *counted;
        } else {
            // An absent or malformed counter counts as 0; the conversion's failure is logged.
            Guarded([this] { rtl::StrToInt(launchCounter_); });
        }
        const std::string next = rtl::IntToStr(static_cast<long long>(starts) + 1);
        settings::With(
            [&](settings::Values& reg) { reg.WriteString(store::kLaunchCounter, next); });
    });
    Left(platform::kOffScreen);
    if (dialogs_.form4) dialogs_.form4->ShowModal();
    Guarded([this] { ShowAutostart(); });
}

// Where the service keeps the machine-wide entry (a child's settings from a parent's account),
// the box shows that entry as it is, and says it is every account's.
void TForm1::ShowAutostart() {
    if (!settings::Current().ThroughService()) {
        CheckBox169->setText(QStringLiteral("Run when Windows starts"));
        CheckBox169->setToolTip({});
        return;
    }
    CheckBox169->setText(QStringLiteral("Run at login (every account)"));
    CheckBox169->setToolTip(QStringLiteral(
        "The guard's start at login is one entry for every account of this computer."));
    autostartShown_ = settings::Current().AutostartState();
    if (autostartShown_) CheckBox169->setChecked(*autostartShown_);
}

void TForm1::FormClose() {
    using platform::Guarded;
    // The close is never vetoed: each step is logged on failure and the next one runs.
    // The own store's entry is written at every close; the machine-wide one a parent sees through
    // the service only when the box was read back and then changed.
    Guarded([this] {
        if (!settings::Current().ThroughService() ||
            (autostartShown_ && *autostartShown_ != CheckBox169->isChecked()))
            blocking::WriteAutostart(CheckBox169->isChecked());
    });
    if (Left() != platform::kOffScreen) {
        const int left = Left();
        const int top = Top();
        Guarded([&] {
            settings::With([&](settings::Values& reg) {
                reg.WriteString(store::kFormLeft, rtl::IntToStr(left));
                reg.WriteString(store::kFormTop, rtl::IntToStr(top));
            });
        });
    }
    Guarded([this] { grid_->WhatCheckBoxCheckedSaved(); });
    // What the store now holds is what the service enforces (where it enforces this account).
    Guarded([] { settings::Current().Seal(); });
}

void TForm1::SpeedButton4Click() {
    blocking::StartGuard();
    blocking::SetNeedJob(true);
    settings::Current().Seal();
}
void TForm1::SpeedButton5Click() {
    blocking::SetNeedJob(false);
    settings::Current().Seal();
}
void TForm1::SpeedButton2Click() {
    blocking::SetNeedGuard(true);
    settings::Current().Seal();
}
void TForm1::SpeedButton3Click() {
    blocking::SetNeedGuard(false);
    settings::Current().Seal();
}

void TForm1::SealedSettingsShown() {
    platform::Guarded([this] { grid_->WhatCheckBoxChecked(); });
    platform::Guarded([this] { ShowInternetOff(); });
}

void TForm1::ShowInternetOff() {
    // Only the system service cuts an account's network and counts its time a day; without it
    // the options would do nothing.
    Internetoff1->setVisible(settings::Current().ThroughService());
    Timeaday1->setVisible(settings::Current().ThroughService());
    Use1->setVisible(settings::Current().ThroughService());
    Moretime1->setVisible(settings::Current().ThroughService());
    Blocknow1->setVisible(settings::Current().ThroughService());
    std::string value;
    settings::With([&](settings::Values& reg) { value = reg.ReadString(store::kInternetOff); });
    Internetoff1->setChecked(value != "No");
}

void TForm1::Internetoff1Click() {
    const bool off = Internetoff1->isChecked();
    settings::With(
        [&](settings::Values& reg) { reg.WriteString(store::kInternetOff, off ? "Yes" : "No"); });
    settings::Current().Seal();
}

void TForm1::Timeaday1Click() {
    schedule::TimeADayDialog dialog(this);
    dialog.exec();
}

void TForm1::Use1Click() {
    schedule::UseWindow window(this);
    window.Load();
    window.exec();
}

void TForm1::Moretime1Click(const std::string& asked) {
    schedule::MoreTimeDialog dialog(this);
    if (!asked.empty()) dialog.Preset(asked);
    dialog.exec();
}

void TForm1::Blocknow1Click() {
    schedule::BlockNowDialog dialog(this);
    dialog.exec();
}

void TForm1::Editblocked1Click() {
    if (dialogs_.form6) dialogs_.form6->Show();
}
void TForm1::Changepassword1Click() {
    if (dialogs_.form3) dialogs_.form3->ShowModal();
}
void TForm1::S1Click() {
    if (dialogs_.form7) dialogs_.form7->Show();
}
void TForm1::Checkupofupdating1Click() {
    if (dialogs_.form8) dialogs_.form8->Show();
}
void TForm1::About1Click() {
    if (dialogs_.form9) dialogs_.form9->ShowModal();
}

}  // namespace app
