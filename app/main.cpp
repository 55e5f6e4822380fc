// velda: the leave-download program. The company form is its main window; the program ends
// when that form closes.
#include <exception>
#include <iostream>

#include "app/M_cpny.h"
#include "ui/application.h"

int main(int argc, char** argv) {
    try {
        ui::TApplication application(argc, argv);
        application.SetTitle(app::kApplicationTitle);
        application.CreateForm<app::TFormCompany>();
        application.Run();
        return 0;
    } catch (const std::exception& e) {
        std::cerr << "velda: " << e.what() << "\n";
        return 1;
    }
}
