#include "panel/child/AskDialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "lib/enforce/Asking.h"
#include "lib/platform/widgets/MessageBox.h"

namespace child {

AskDialog::AskDialog(Asker asker, QWidget* parent) : QDialog(parent), ask_(std::move(asker)) {
    setObjectName(QStringLiteral("AskDialog"));
    setWindowTitle(QStringLiteral("Ask for more time"));
    minutes = new QComboBox(this);
    minutes->setObjectName(QStringLiteral("Minutes"));
    minutes->addItem(QStringLiteral("15 minutes"), QStringLiteral("15"));
    minutes->addItem(QStringLiteral("30 minutes"), QStringLiteral("30"));
    minutes->addItem(QStringLiteral("60 minutes"), QStringLiteral("60"));
    minutes->addItem(QStringLiteral("until the end of this hour"), QStringLiteral("hour"));
    minutes->setCurrentIndex(1);
    reason = new QLineEdit(this);
    reason->setObjectName(QStringLiteral("Reason"));
    reason->setMaxLength(static_cast<int>(enforce::kReasonMost));
    reason->setPlaceholderText(QStringLiteral("What for? (a few words for your parents)"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("More time today:"), this));
    layout->addWidget(minutes);
    layout->addWidget(reason);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    ok = buttons->button(QDialogButtonBox::Ok);
    ok->setText(QStringLiteral("Ask"));
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(buttons, &QDialogButtonBox::accepted, this, [this] { Send(); });
}

void AskDialog::Send() {
    const control::Reply r = ask_(
        {"ask", minutes->currentData().toString().toStdString(), reason->text().toStdString()});
    if (!r.ok()) {
        platform::ShowMessage(r.Text());
        return;
    }
    accept();
}

}  // namespace child
