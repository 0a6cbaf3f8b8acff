#include "panel/blocking/BlockedAppsDialog.h"

#include <QEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>

#include "lib/platform/core/Shell.h"
#include "lib/platform/widgets/Controls.h"
#include "lib/rtl/ScopeExit.h"
#include "lib/store/ProductSite.h"
#include "lib/store/ValueNames.h"
#include "panel/settings/Settings.h"

namespace blocking {
namespace {
constexpr int kRowPitch = 32;

// A label that acts on a left click, as a link does.
class ClickFilter : public QObject {
  public:
    ClickFilter(QObject* parent, std::function<void()> onClick)
        : QObject(parent), onClick_(std::move(onClick)) {}

  protected:
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::MouseButtonRelease &&
            static_cast<QMouseEvent*>(e)->button() == Qt::LeftButton) {
            platform::Guarded(onClick_);
            return true;
        }
        return false;
    }

  private:
    std::function<void()> onClick_;
};
}  // namespace

TForm6::TForm6(QWidget* parent) : TForm(parent) {
    setObjectName(QStringLiteral("Form6"));
    setWindowTitle(QStringLiteral("Block applications"));
    Label1 = new QLabel(QStringLiteral("Block applications Tips and Tricks Online"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    QFont link = platform::DialogFont();
    link.setBold(true);
    link.setUnderline(true);
    Label1->setFont(link);
    Label1->setStyleSheet(QStringLiteral("color: blue"));
    Label1->setCursor(Qt::PointingHandCursor);
    Label1->adjustSize();
    Label1->move(176, 8);
    Label1->installEventFilter(new ClickFilter(Label1, [this] { Label1Click(); }));

    // Nine rows, one below the other, each stored as "App<n>".
    const int groupHeight = kRowPitch * 9 + 21 + 12;
    GroupBox1 = new QGroupBox(QStringLiteral("This is Blocked applications: "), this);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    GroupBox1->setGeometry(8, 24, 417, groupHeight);
    QWidget* previous = nullptr;
    for (int n = 1; n <= 9; ++n) {
        auto* field = new QLineEdit(GroupBox1);
        field->setObjectName(QStringLiteral("Edit%1").arg(n));
        field->setGeometry(24, kRowPitch * n, 369, 21);
        if (previous) QWidget::setTabOrder(previous, field);
        previous = field;
        Edit[static_cast<std::size_t>(n - 1)] = field;
    }
    const int buttonsTop = 24 + groupHeight + 7;
    SpeedButton1 = platform::SpeedButton(this, "SpeedButton1", "OK", 208, buttonsTop, 89, 22);
    SpeedButton2 = platform::SpeedButton(this, "SpeedButton2", "Cancel", 312, buttonsTop, 89, 22);
    resize(434, buttonsTop + 22 + 12);
    On(SpeedButton1, &QPushButton::clicked, [this] { SpeedButton1Click(); });
    On(SpeedButton2, &QPushButton::clicked, [this] { SpeedButton2Click(); });
    CentreOnScreen();
}

void TForm6::FormShow() {
    settings::With([this](settings::Values& reg) {
        for (int n = 1; n <= 9; ++n)
            Edit[static_cast<std::size_t>(n - 1)]->setText(
                QString::fromStdString(reg.ReadString(store::AppName(n))));
    });
}

void TForm6::SpeedButton1Click() {
    // Close whatever happens to the store; a failed write is still logged.
    const rtl::ScopeExit closeAfter([this] { Close(); });
    settings::With([this](settings::Values& reg) {
        for (int n = 1; n <= 9; ++n)
            reg.WriteString(store::AppName(n),
                            Edit[static_cast<std::size_t>(n - 1)]->text().toStdString());
    });
}

void TForm6::Label1Click() {
    platform::ShellExecute(store::ProductUrl("/english/veltrix/tips.html"));
}

}  // namespace blocking
