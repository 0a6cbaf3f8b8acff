// TForm7, the statistics window: the guard program's log Block.log (modeless).
#pragma once

#include "platform/Forms.h"

namespace guard {

class TForm7 final : public platform::TForm {
    Q_OBJECT
public:
    explicit TForm7(QWidget* parent = nullptr);
};

}  // namespace guard
