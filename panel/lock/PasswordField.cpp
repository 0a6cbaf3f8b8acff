#include "panel/lock/PasswordField.h"

#include <QFontMetrics>
#include <QGroupBox>

#include <QProxyStyle>

namespace lock {
namespace {
class StarMaskStyle : public QProxyStyle {
  public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* data) const override {
        if (hint == SH_LineEdit_PasswordCharacter) return '*';
        if (hint == SH_LineEdit_PasswordMaskDelay) return 0;
        return QProxyStyle::styleHint(hint, option, widget, data);
    }
};
QStyle* StarStyle() {
    static StarMaskStyle* style = new StarMaskStyle;  // lives as long as the program
    return style;
}
}  // namespace

QLineEdit* MaskedField(QWidget* parent, const char* name, int left, int top, int width,
                       int height) {
    auto* field = new QLineEdit(parent);
    field->setObjectName(QString::fromUtf8(name));
    field->setStyle(StarStyle());
    field->setEchoMode(QLineEdit::Password);
    field->setGeometry(left, top, width, height);
    return field;
}

void SetCaption(QGroupBox* box, const QString& caption) {
    const QFontMetrics metrics(box->font());
    box->setTitle(metrics.elidedText(caption, Qt::ElideMiddle, box->width() - 24));
}

}  // namespace lock
