// Program entry's work: creates every window once, in the designed order, and wires the main
// window to its dialogs. The windows live until the program ends.
#pragma once

#include <memory>

#include "panel/app/MainWindow.h"
#include "panel/blocking/BlockedAppsDialog.h"
#include "panel/blocking/StatisticsWindow.h"
#include "panel/lock/ChangePasswordDialog.h"
#include "panel/lock/EnterPasswordDialog.h"
#include "panel/lock/FirstPasswordDialog.h"
#include "panel/update/AboutBox.h"
#include "panel/update/UpdateChecker.h"

namespace app {

struct Windows {
    Windows();
    ~Windows();
    std::unique_ptr<TForm1> form1;
    std::unique_ptr<lock::TForm2> form2;
    std::unique_ptr<lock::TForm3> form3;
    std::unique_ptr<lock::TForm4> form4;
    std::unique_ptr<blocking::TForm6> form6;
    std::unique_ptr<blocking::TForm7> form7;
    std::unique_ptr<update::TForm8> form8;
    std::unique_ptr<update::TForm9> form9;
};

// Sets the application's title and its main form.
void InitialiseApplication(Windows& windows);

}  // namespace app
