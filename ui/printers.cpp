#include "ui/printers.h"

#include <QPrinterInfo>
#include <QStringList>

#include "rtl/exception.h"
#include "ui/qtext.h"

namespace ui {

std::vector<std::string> TPrinter::Printers() const {
    if (pretend_) return *pretend_;
    std::vector<std::string> names;
    for (const QString& name : QPrinterInfo::availablePrinterNames())
        names.push_back(FromQString(name));
    return names;
}

void TPrinter::SetPrinterIndex(int index) {
    if (index < -1 || index >= PrinterCount()) throw rtl::Exception("Printer index out of range");
    index_ = index;
}

std::string TPrinter::PrinterName() const {
    if (index_ >= 0) {
        std::vector<std::string> names = Printers();
        if (index_ < static_cast<int>(names.size())) return names[static_cast<size_t>(index_)];
    }
    if (pretend_) return pretend_->empty() ? std::string() : pretend_->front();
    return FromQString(QPrinterInfo::defaultPrinterName());
}

void TPrinter::PretendPrinters(int count) {
    std::vector<std::string> names;
    for (int i = 1; i <= count; ++i) names.push_back("Printer " + std::to_string(i));
    PretendPrinters(std::move(names));
}

void TPrinter::PretendPrinters(std::vector<std::string> names) {
    pretend_ = std::move(names);
    index_ = -1;
}

}  // namespace ui
