// The installed printers, as Qt's print support lists them, and the one chosen for printing.
#ifndef VELDA_UI_PRINTERS_H
#define VELDA_UI_PRINTERS_H

#include <optional>
#include <string>
#include <vector>

namespace ui {

class TPrinter {
  public:
    // The installed printers, in the order the print system lists them (names in
    // Windows-1252).
    std::vector<std::string> Printers() const;
    int PrinterCount() const { return static_cast<int>(Printers().size()); }

    // The selected printer's index in Printers(); -1 while the default printer is selected.
    int PrinterIndex() const { return index_; }
    // -1 selects the default printer; an index outside the list raises rtl::Exception
    // "Printer index out of range" and keeps the selection.
    void SetPrinterIndex(int index);
    void SelectDefault() { index_ = -1; }
    // The selected printer's name; for the default printer the system's default, empty when
    // there is none.
    std::string PrinterName() const;

    // For tests: these printers stand in for the installed ones ("Printer 1" to "Printer N";
    // the first is the default). Pretending resets the selection to the default printer.
    void PretendPrinters(int count);
    void PretendPrinters(std::vector<std::string> names);

  private:
    std::optional<std::vector<std::string>> pretend_;
    int index_ = -1;
};

}  // namespace ui

#endif
