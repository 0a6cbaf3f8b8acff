#include "panel/update/UpdateChecker.h"

#include <QGroupBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>

#include "lib/net/HttpClient.h"
#include "lib/platform/core/Shell.h"
#include "lib/platform/widgets/Controls.h"
#include "lib/platform/widgets/MessageBox.h"
#include "lib/rtl/ScopeExit.h"
#include "lib/store/ProductSite.h"
#include "lib/store/ValueNames.h"
#include "panel/settings/Settings.h"

namespace update {
namespace {
QPushButton* FlatButton(QWidget* parent, const char* name, const char* caption, int left, int top,
                        int width) {
    QPushButton* b = platform::SpeedButton(parent, name, caption, left, top, width, 22);
    b->setFlat(true);
    return b;
}
}  // namespace

TForm8::TForm8(QWidget* parent) : TForm(parent) {
    setObjectName(QStringLiteral("Form8"));
    setWindowTitle(QStringLiteral("Check up of updating"));
    resize(352, 297);
    GroupBox1 = new QGroupBox(QStringLiteral(" Information: "), this);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    GroupBox1->setGeometry(8, 8, 337, 145);
    Memo1 = new QPlainTextEdit(GroupBox1);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setGeometry(8, 16, 321, 121);
    Memo1->setPlainText(
        QStringLiteral("To check up of updating make the following:\n"
                       "1. Whether check up you are connected to internet.\n\n"));
    SpeedButton2 = FlatButton(this, "SpeedButton2", "To check up connection", 24, 160, 193);
    SpeedButton1 = FlatButton(this, "SpeedButton1", "What last version?", 24, 184, 193);
    SpeedButton3 = FlatButton(this, "SpeedButton3", "Download new version", 24, 208, 193);
    SpeedButton4 = FlatButton(this, "SpeedButton4", "Close", 216, 264, 81);
    SpeedButton1->setVisible(false);
    SpeedButton3->setVisible(false);
    Edit1 = new QLineEdit(this);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Edit1->setGeometry(0, 240, 121, 21);
    platform::PlaceLeft(Edit1, platform::kOffScreen);

    HttpClient1 = std::make_unique<net::THttpClient>();
    HttpClient1->Name = "HttpClient1";
    HttpClient1->TimeOut = kFetchTimeOutMs;

    On(SpeedButton1, &QPushButton::clicked, [this] { SpeedButton1Click(); });
    On(SpeedButton2, &QPushButton::clicked, [this] { SpeedButton2Click(); });
    On(SpeedButton3, &QPushButton::clicked, [this] { SpeedButton3Click(); });
    On(SpeedButton4, &QPushButton::clicked, [this] { SpeedButton4Click(); });
    CentreOnScreen();
}

TForm8::~TForm8() = default;

void TForm8::AppendLine(const std::string& line) {
    Memo1->appendPlainText(QString::fromStdString(line));
}

bool TForm8::FetchIntoMemo(const std::string& path, bool errorStatusFails) {
    Memo1->clear();
    AppendLine("Begin ...");
    net::THttpClient& client = *HttpClient1;
    client.InputFileMode = false;
    client.OutputFileMode = false;
    client.ReportLevel = 2;
    // The client's time-out counts silence only; a server that trickles forever is cut off
    // here, so every fetch ends within the deadline whatever the server does.
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, [&client] { client.Interrupt(); });
    deadline.start(FetchDeadlineMs);
    try {
        client.HeaderInfo.Cookie.clear();
        client.HeaderInfo.LocalMailAddress = store::kProductVersion;
        client.HeaderInfo.LocalProgram = store::kProductVersion;
        client.HeaderInfo.Referer = store::kProductVersion;
        client.HeaderInfo.UserId.clear();
        client.HeaderInfo.Password.clear();
        client.Get(store::ProductUrl(path));
        AppendLine("");
        AppendLine("Begin Analyse ...");
        Memo1->setPlainText(
            QString::fromUtf8(client.Body.data(), static_cast<qsizetype>(client.Body.size())));
        if (errorStatusFails && client.ReplyNumber >= 400)
            throw net::ESockError("HTTP status " + std::to_string(client.ReplyNumber));
    } catch (const std::exception&) {
        deadline.stop();
        platform::ShowMessage("Connection Failed");
        return false;
    }
    return true;
}

void TForm8::OneStepAtATime(const std::function<void()>& step) {
    if (fetching_) return;  // the client is not built for two transactions at once
    fetching_ = true;
    const rtl::ScopeExit done([this] { fetching_ = false; });
    step();
}

void TForm8::SpeedButton2Click() {
    OneStepAtATime([this] { ConnectionTest(); });
}

void TForm8::SpeedButton1Click() {
    OneStepAtATime([this] { VersionComparison(); });
}

void TForm8::ConnectionTest() {
    settings::With([this](settings::Values& reg) {
        Edit1->setText(QString::fromStdString(reg.ReadString(store::kThisVersion)));
    });
    if (!FetchIntoMemo("/english/veltrix/conect.html", false)) return;
    if (HttpClient1->Body != "Yes you connected.") return;
    AppendLine("");
    AppendLine("2. Press the button \"What last version?\"");
    SpeedButton1->setVisible(true);
}

void TForm8::VersionComparison() {
    if (!FetchIntoMemo("/english/veltrix/update.html", true)) return;
    if (HttpClient1->Body != Edit1->text().toStdString()) {
        AppendLine("");
        AppendLine("Yes! New version availably for download!");
        SpeedButton3->setVisible(true);
    } else {
        AppendLine("");
        AppendLine("No new version");
        SpeedButton1->setVisible(true);
    }
}

void TForm8::SpeedButton3Click() {
    platform::ShellExecute(store::ProductUrl("/english/download.html"));
}

}  // namespace update
