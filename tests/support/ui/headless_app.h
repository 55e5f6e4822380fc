// The test program's one application object: headless (offscreen unless QT_QPA_PLATFORM says
// otherwise), every prompt answered by ui::Script(). Including this header registers it, once
// for the whole test program.
#ifndef VELDA_TESTS_SUPPORT_UI_HEADLESS_APP_H
#define VELDA_TESTS_SUPPORT_UI_HEADLESS_APP_H

#include <gtest/gtest.h>

#include <QByteArray>
#include <QtGlobal>
#include <memory>

#include "tests/support/ui/script.h"
#include "ui/application.h"

namespace testsupport {

class HeadlessApplication : public ::testing::Environment {
  public:
    void SetUp() override {
        if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", QByteArray("offscreen"));
        app_ = std::make_unique<ui::TApplication>();
        app_->SetStandIn(&ui::Script());
    }
    void TearDown() override { app_.reset(); }

  private:
    std::unique_ptr<ui::TApplication> app_;
};

inline ::testing::Environment* const kHeadlessApplication =
    ::testing::AddGlobalTestEnvironment(new HeadlessApplication);

}  // namespace testsupport

#endif
