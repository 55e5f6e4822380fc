#include "download/previewOutput.h"

namespace download {

namespace {

const std::string kMore = std::string(66, '-') + " More";
const std::string kEnd = std::string(66, '-') + " End";

}  // namespace

const std::vector<std::string>& PreviewLines() {
    static const std::vector<std::string> lines = {
        "Standard Format",
        "",
        "Emp No (12) - Left pad with trailing space",
        "Leave Code (8) - Left pad with traliing space",
        "Start Date (10) - dd/MM/yyyy",
        "Day (6) - Right pad with leading space",
        "End Date (10) - dd/MM/yyyy",
        "AM/PM (2)",
        "Reference (40) - Left pad with trailing space",
        "Remark (40) - Left pad with trailing space",
        "Approved (1)",
        "",
        kMore,
        "",
        "Extended Format 1",
        "",
        "Emp No (12) - Left pad with trailing space",
        "Leave Code (8) - Left pad with traliing space",
        "Start Date (10) - dd/MM/yyyy",
        "End Date (10) - dd/MM/yyyy",
        "Day (6) - Right pad with leading space",
        "AM/PM (2)",
        "Reference (40) - Left pad with trailing space",
        "Remark (40) - Left pad with trailing space",
        "Approved (1)",
        "",
        kMore,
        "",
        "Extended Format 2",
        "",
        "Emp No (12) - Left pad with trailing space",
        "Leave Code (8) - Left pad with traliing space",
        "Date (10) - dd/MM/yyyy",
        "Day (6) - Right pad with leading space",
        "Reference (40) - Left pad with trailing space",
        "Remark (40) - Left pad with trailing space",
        "",
        kMore,
        "",
        "Extended Format 3",
        "",
        "Emp No (12) - Left pad with trailing space",
        "Leave Code (8) - Left pad with traliing space",
        "Start Date (10) - dd/MM/yyyy",
        "Day (6) - Right pad with leading space",
        "End Date (10) - dd/MM/yyyy",
        "",
        kEnd,
    };
    return lines;
}

TfmOutput::TfmOutput(rtl::TComponent* owner) : ui::TForm(owner) {
    SetName("fmOutput");
    SetCaption("Preview Output Format");
    SetBorderStyle(ui::bsSizeable);
    SetBorderIcons(ui::biSystemMenu | ui::biMinimize | ui::biMaximize);
    SetPosition(ui::poDesigned);
    SetBounds(373, 29, 283, 553);
    SetFont("MS Sans Serif", 8);

    PreviewWindow = CreateOwned<ui::TRichEdit>(this);
    PreviewWindow->SetName("PreviewWindow");
    PreviewWindow->SetAlign(ui::alClient);
    PreviewWindow->SetReadOnly(true);
    PreviewWindow->SetWordWrap(true);
    PreviewWindow->SetScrollBars(ui::ssNone);
    PreviewWindow->Lines().Assign(PreviewLines());
}

TfmOutput::~TfmOutput() {
    DestroyComponents();
}

}  // namespace download
