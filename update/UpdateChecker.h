// TForm8, the update checker (modeless).
#pragma once

#include "platform/Forms.h"

namespace update {

class TForm8 final : public platform::TForm {
    Q_OBJECT
public:
    explicit TForm8(QWidget* parent = nullptr);
};

}  // namespace update
