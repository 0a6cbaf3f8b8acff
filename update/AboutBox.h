// TForm9, the About box (modal).
#pragma once

#include "platform/Forms.h"

namespace update {

class TForm9 final : public platform::TForm {
    Q_OBJECT
public:
    explicit TForm9(QWidget* parent = nullptr);
};

}  // namespace update
