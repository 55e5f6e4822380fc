// The layout preview: a window that describes the four download layouts to the user in fixed
// text. The download dialog's "Format Spec." button shows it modally. The file itself is
// written by the layouts in leavedownload.h, which rule wherever the two read differently.
#ifndef VELDA_DOWNLOAD_PREVIEWOUTPUT_H
#define VELDA_DOWNLOAD_PREVIEWOUTPUT_H

#include <string>
#include <vector>

#include "ui/extctrls.h"
#include "ui/forms.h"

namespace download {

// The 48 lines of the preview, as shown.
const std::vector<std::string>& PreviewLines();

class TfmOutput : public ui::TForm {
  public:
    explicit TfmOutput(rtl::TComponent* owner = nullptr);
    ~TfmOutput() override;

    ui::TRichEdit* PreviewWindow = nullptr;  // read-only, fills the window
};

}  // namespace download

#endif
