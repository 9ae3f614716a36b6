#include "test_app.h"

#include <gtest/gtest.h>
#include <memory>

namespace {

// Ends the application object after the last test, while main still runs: Qt cannot be torn
// down among the program's static destructors.
class AppEnvironment : public testing::Environment {
  public:
    void TearDown() override { app.reset(); }
    std::unique_ptr<TApplication> app;
};

AppEnvironment* const environment =
    static_cast<AppEnvironment*>(testing::AddGlobalTestEnvironment(new AppEnvironment));

} // namespace

TApplication& TestApplication() {
    static int argc = 1;
    static char name[] = "quorvane-test";
    static char* argv[] = {name, nullptr};
    if (!environment->app) environment->app = std::make_unique<TApplication>(argc, argv);
    return *environment->app;
}
