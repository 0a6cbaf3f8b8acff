#include "panel/update/AboutBox.h"

#include <QLabel>

#include "lib/platform/widgets/Controls.h"
#include "lib/store/ValueNames.h"
#include "panel/settings/Settings.h"

namespace update {

TForm9::TForm9(QWidget* parent) : TForm(parent) {
    setObjectName(QStringLiteral("Form9"));
    setWindowTitle(QStringLiteral("About"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(273, 273);
    Label1 = new QLabel(QStringLiteral("Veltrix"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    QFont title = platform::DialogFont();
    title.setBold(true);
    title.setPixelSize(19);
    Label1->setFont(title);
    Label1->adjustSize();
    Label1->move(56, 32);
    Label2 = new QLabel(this);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setGeometry(72, 64, 273 - 72 - 8, 16);
    SpeedButton1 = platform::SpeedButton(this, "SpeedButton1", "OK", 72, 216, 89, 22);
    On(SpeedButton1, &QPushButton::clicked, [this] { SpeedButton1Click(); });
    CentreOnScreen();
}

void TForm9::FormShow() {
    settings::With([this](settings::Values& reg) {
        Label2->setText(QStringLiteral("Version: ") +
                        QString::fromStdString(reg.ReadString(store::kThisVersion)));
    });
}

}  // namespace update
