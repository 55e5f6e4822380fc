// The open-file dialog: always Qt's own file dialog (never the desktop's), so that a test
// script can drive it like any other window.
#ifndef VELDA_UI_DIALOGS_H
#define VELDA_UI_DIALOGS_H

#include <string>

#include "rtl/component.h"

namespace ui {

class TOpenDialog : public rtl::TComponent {
  public:
    explicit TOpenDialog(rtl::TComponent* owner = nullptr) : rtl::TComponent(owner) {}

    // "label|patterns|label|patterns...", patterns separated by ';' ("*.txt|*.txt").
    const std::string& Filter() const { return filter_; }
    void SetFilter(const std::string& filter) { filter_ = filter; }
    // Added to a chosen name that has no extension ("txt").
    const std::string& DefaultExt() const { return defaultExt_; }
    void SetDefaultExt(const std::string& ext) { defaultExt_ = ext; }
    // The folder shown first ('\' and '/' both separate folders).
    const std::string& InitialDir() const { return initialDir_; }
    void SetInitialDir(const std::string& dir) { initialDir_ = dir; }
    // The name proposed, and after Execute the full name of the file chosen.
    const std::string& FileName() const { return fileName_; }
    void SetFileName(const std::string& name) { fileName_ = name; }
    const std::string& Title() const { return title_; }
    void SetTitle(const std::string& title) { title_ = title; }
    // Off (the default): any name will do, the file need not exist.
    bool FileMustExist() const { return fileMustExist_; }
    void SetFileMustExist(bool mustExist) { fileMustExist_ = mustExist; }

    // Shows the dialog modally (or hands it to the test script). True when the user chose a
    // file (FileName then holds it); false when cancelled, with FileName unchanged. The
    // process's current folder is never changed.
    bool Execute();

  private:
    std::string filter_;
    std::string defaultExt_;
    std::string initialDir_;
    std::string fileName_;
    std::string title_;
    bool fileMustExist_ = false;
};

}  // namespace ui

#endif
