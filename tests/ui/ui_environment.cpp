// The test program's application object: made once, headless, with every prompt scripted.
#include <gtest/gtest.h>

#include <QByteArray>
#include <QtGlobal>
#include <memory>

#include "ui/application.h"

namespace {

class UiEnvironment : public ::testing::Environment {
  public:
    void SetUp() override {
        if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", QByteArray("offscreen"));
        app_ = std::make_unique<ui::TApplication>();
        app_->SetScripted(true);
    }
    void TearDown() override { app_.reset(); }

  private:
    std::unique_ptr<ui::TApplication> app_;
};

[[maybe_unused]] ::testing::Environment* const environment =
    ::testing::AddGlobalTestEnvironment(new UiEnvironment);

}  // namespace
