#include "tools/velda-export/output.h"

#include <algorithm>

#include "tools/velda-export/company.h"

namespace veldaexport {

namespace {

[[noreturn]] void Raise(const download::EOutputFileError& error, bool stream) {
    if (stream) throw RunError("standard output: " + error.Problem() + " (" + error.Reason() + ")");
    throw RunError(error.what());
}

}  // namespace

Output::Output(const std::string& target, const download::TProtectedFiles& protect) {
    try {
        file_ = std::make_unique<download::TOutputFile>(target, protect);
    } catch (const download::EOutputFileError& e) {
        Raise(e, false);
    }
}

void Output::Write(std::string_view bytes) {
    lines_ += static_cast<std::size_t>(std::count(bytes.begin(), bytes.end(), '\n'));
    try {
        file_->Write(bytes);
    } catch (const download::EOutputFileError& e) {
        Raise(e, file_->IsStream());
    }
}

void Output::Commit() {
    try {
        file_->Commit();
    } catch (const download::EOutputFileError& e) {
        Raise(e, file_->IsStream());
    }
}

std::string Output::Describe() const {
    return file_->IsStream() ? "standard output" : file_->Target();
}

}  // namespace veldaexport
