// Helpers shared by the data-access tests: temporary folders, databases made through the
// engine's own calls, a dataset whose open state the test controls, and cursor hooks that
// record what the layer shows.
#ifndef VELDA_TESTS_ADS_TEST_SUPPORT_H
#define VELDA_TESTS_ADS_TEST_SUPPORT_H

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "ads/adscnnct.h"
#include "ads/adsdata.h"
#include "engine/ace.h"
#include "rtl/busycursor.h"
#include "tests/support/engine_test_helpers.h"

namespace adstest {

namespace fs = std::filesystem;

using TempFolder = testsupport::TempFolder;
using testsupport::u8;

inline void writeFile(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

inline std::string engineLastError() {
    return testsupport::lastError();
}

// Makes folder/name.ADD with user "velda", password "s3cret", and returns its path.
inline std::string makeDictionary(const std::string& folder, const std::string& name) {
    std::string path = folder + "/" + name;
    ADSHANDLE h = 0;
    EXPECT_EQ(AdsDDCreate(u8(path), 0, nullptr, &h), AE_SUCCESS) << engineLastError();
    EXPECT_EQ(AdsDDCreateUser(h, nullptr, u8("velda"), u8("s3cret"), nullptr), AE_SUCCESS)
        << engineLastError();
    (void)AdsDisconnect(h);
    return path;
}

// A dataset whose opening takes a connection handle as a table does, and which records what the
// connection asks of it. It opens no engine table: open, it simply shows no rows.
class TestDataSet : public ads::TAdsDataSet {
  public:
    using ads::TAdsDataSet::GetConnectionHandle;
    using ads::TAdsDataSet::TAdsDataSet;
    ~TestDataSet() override { Destroying(); }

    void ReleaseConnectionHandles() override { ++released; }
    void RefreshDefaultIndex() override { ++refreshed; }

    bool active = false;
    ADSHANDLE handle = 0;
    int released = 0;
    int refreshed = 0;

  protected:
    ADSHANDLE OpenCursorHandle() override { return 0; }
    bool IsCursorOpen() const override { return active; }
    void InternalOpen() override {
        handle = GetConnectionHandle();
        BindFields(true);
        SetBookmarkSize(4);
        active = true;
    }
    void InternalClose() override {
        ads::TAdsDataSet::InternalClose();
        handle = 0;
        active = false;
    }
};

// A plain component standing in for a form.
class TestForm : public rtl::TComponent {
  public:
    explicit TestForm(const std::string& name) : rtl::TComponent(nullptr) { SetName(name); }
};

// Records every cursor the layer sets; installed for the lifetime of the object.
class RecordingCursor : public rtl::BusyCursorHooks {
  public:
    RecordingCursor() : previous_(rtl::SetBusyCursorHooks(this)) {}
    ~RecordingCursor() override { rtl::SetBusyCursorHooks(previous_); }
    RecordingCursor(const RecordingCursor&) = delete;
    RecordingCursor& operator=(const RecordingCursor&) = delete;

    rtl::TCursor current() const override { return cursor; }
    void set(rtl::TCursor value) override {
        cursor = value;
        history.push_back(value);
    }

    rtl::TCursor cursor = rtl::crDefault;
    std::vector<rtl::TCursor> history;

  private:
    rtl::BusyCursorHooks* previous_;
};

// Runs the test in a given current folder (for the bare "ADS.INI" name).
class ScopedCurrentFolder {
  public:
    explicit ScopedCurrentFolder(const std::string& folder) : previous_(fs::current_path()) {
        fs::current_path(folder);
    }
    ~ScopedCurrentFolder() { fs::current_path(previous_); }
    ScopedCurrentFolder(const ScopedCurrentFolder&) = delete;
    ScopedCurrentFolder& operator=(const ScopedCurrentFolder&) = delete;

  private:
    fs::path previous_;
};

}  // namespace adstest

#endif
