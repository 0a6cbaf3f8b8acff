// TForm6, the blocked-applications dialog (modeless).
#pragma once

#include "platform/Forms.h"

namespace guard {

class TForm6 final : public platform::TForm {
    Q_OBJECT
public:
    explicit TForm6(QWidget* parent = nullptr);
};

}  // namespace guard
