#include "panel/app/Program.h"

namespace app {

Windows::Windows() {
    form1 = std::make_unique<TForm1>();  // installs the error handler first
    form2 = std::make_unique<lock::TForm2>();
    form3 = std::make_unique<lock::TForm3>();
    form4 = std::make_unique<lock::TForm4>(form1.get());
    form4->OnUnlock([f = form1.get()] { f->SealedSettingsShown(); });
    form6 = std::make_unique<blocking::TForm6>();
    form7 = std::make_unique<blocking::TForm7>();
    form8 = std::make_unique<update::TForm8>();
    form9 = std::make_unique<update::TForm9>();
    form1->SetDialogs({form2.get(), form3.get(), form4.get(), form6.get(), form7.get(), form8.get(),
                       form9.get()});
}

Windows::~Windows() {
    platform::Application::SetExceptionHandler({});
    if (platform::Application::MainForm() == form1.get())
        platform::Application::SetMainForm(nullptr);
}

void InitialiseApplication(Windows& windows) {
    platform::Application::SetMainForm(windows.form1.get());
}

}  // namespace app
