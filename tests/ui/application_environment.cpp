// One application object for every test of a test program, as in the real program.
#include <gtest/gtest.h>

#include <memory>

#include "ui/application.h"

namespace {

class ApplicationEnvironment : public ::testing::Environment {
 public:
  void SetUp() override { application_ = std::make_unique<kestrova::ui::TApplication>(argc_, argv_); }
  void TearDown() override { application_.reset(); }

 private:
  int argc_ = 1;
  char name_[16] = "kestrova-tests";
  char* argv_[2] = {name_, nullptr};
  std::unique_ptr<kestrova::ui::TApplication> application_;
};

const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new ApplicationEnvironment);

}  // namespace
