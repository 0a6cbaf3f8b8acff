#include "panel/schedule/TodayDialogs.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTime>
#include <QTimeEdit>
#include <QVBoxLayout>

#include <exception>

#include "lib/enforce/Asking.h"
#include "lib/platform/widgets/MessageBox.h"
#include "panel/settings/Settings.h"

namespace schedule {

namespace {

// The next whole hour from now, at the latest 23:59.
QTime NextHour() {
    const QTime now = QTime::currentTime();
    return now.hour() == 23 ? QTime(23, 59) : QTime(now.hour() + 1, 0);
}

}  // namespace

TodayDialog::TodayDialog(QWidget* parent, const QString& name, const QString& title)
    : QDialog(parent) {
    setObjectName(name);
    setWindowTitle(title);
    words = new QLineEdit(this);
    words->setObjectName(QStringLiteral("Words"));
    words->setMaxLength(static_cast<int>(enforce::kReasonMost));
    words->setPlaceholderText(QStringLiteral("A few words for the child (optional)"));
    until = new QTimeEdit(NextHour(), this);
    until->setObjectName(QStringLiteral("Until"));
    until->setDisplayFormat(QStringLiteral("HH:mm"));
}

void TodayDialog::Finish(QWidget* choice, bool todayOnly) {
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(choice);
    layout->addWidget(words);
    if (todayOnly)
        layout->addWidget(new QLabel(QStringLiteral("Today only: the weekly schedule stays as it "
                                                    "is; everything ends at midnight."),
                                     this));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    ok = buttons->button(QDialogButtonBox::Ok);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(buttons, &QDialogButtonBox::accepted, this, [this] {
        std::vector<std::string> answer = Chosen();
        if (!words->text().isEmpty()) answer.push_back(words->text().toStdString());
        Send(answer);
    });
    layout->addWidget(buttons);
}

std::string TodayDialog::UntilText() const {
    return until->time().toString(QStringLiteral("HH:mm")).toStdString();
}

void TodayDialog::Send(const std::vector<std::string>& answer) {
    try {
        settings::Current().Answer(answer);
        accept();
    } catch (const std::exception& e) {
        platform::ShowMessage(e.what());
    }
}

MoreTimeDialog::MoreTimeDialog(QWidget* parent)
    : TodayDialog(parent, QStringLiteral("MoreTime"), QStringLiteral("More time today")) {
    auto* choice = new QWidget(this);
    auto* grid = new QGridLayout(choice);
    first = new QRadioButton(QStringLiteral("&More minutes:"), choice);
    first->setChecked(true);
    minutes = new QSpinBox(choice);
    minutes->setObjectName(QStringLiteral("Minutes"));
    minutes->setRange(1, 240);
    minutes->setSingleStep(5);
    minutes->setValue(30);
    minutes->setSuffix(QStringLiteral(" min"));
    second = new QRadioButton(QStringLiteral("Allowed &until:"), choice);
    grid->addWidget(first, 0, 0);
    grid->addWidget(minutes, 0, 1);
    grid->addWidget(second, 1, 0);
    grid->addWidget(until, 1, 1);
    Finish(choice);
    minutes->setFocus();  // the parent most often changes how many
}

std::vector<std::string> MoreTimeDialog::Chosen() const {
    return {"grant", first->isChecked() ? std::to_string(minutes->value()) : UntilText()};
}

void MoreTimeDialog::Preset(const std::string& asked) {
    if (asked == "hour") {
        second->setChecked(true);
        until->setTime(NextHour());
        return;
    }
    const int wanted = QString::fromStdString(asked).toInt();
    if (wanted > 0) minutes->setValue(wanted);
}

BlockNowDialog::BlockNowDialog(QWidget* parent)
    : TodayDialog(parent, QStringLiteral("BlockNow"), QStringLiteral("Block now")) {
    auto* choice = new QWidget(this);
    auto* grid = new QGridLayout(choice);
    first = new QRadioButton(QStringLiteral("Blocked &until:"), choice);
    first->setChecked(true);
    second = new QRadioButton(QStringLiteral("Until &midnight"), choice);
    grid->addWidget(first, 0, 0);
    grid->addWidget(until, 0, 1);
    grid->addWidget(second, 1, 0);
    Finish(choice);
}

std::vector<std::string> BlockNowDialog::Chosen() const {
    return {"pause", first->isChecked() ? UntilText() : std::string("midnight")};
}

RefuseDialog::RefuseDialog(QWidget* parent, const std::string& asked)
    : TodayDialog(parent, QStringLiteral("Refuse"), QStringLiteral("No more time")) {
    auto* request = new QLabel(QString::fromStdString(asked), this);
    request->setObjectName(QStringLiteral("Request"));
    request->setTextFormat(Qt::PlainText);  // the child's own words
    request->setWordWrap(true);
    until->hide();
    setMinimumWidth(360);
    Finish(request, false);
}

std::vector<std::string> RefuseDialog::Chosen() const {
    return {"refuse"};
}

}  // namespace schedule
