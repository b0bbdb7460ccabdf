// A test fixture that captures what the diagnostics service writes to the
// console, with the catalogs registered and a fresh run state per test.
#pragma once

#include "diag/catalog.h"
#include "diag/i18nerrgest.h"

#include <gtest/gtest.h>

#include <string>

namespace qvm::testing {

class ConsoleTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        diag::registerBuiltinCatalogs();
        diag::resetRun();
        diag::setConsoleSink([this](std::string_view text) { console += text; });
    }
    void TearDown() override
    {
        diag::resetRun();
        diag::setConsoleSink(nullptr);
    }

    // The status of a call that must end the run (-100, and a failure, when it returns).
    template <typename Call>
    int statusOf(Call call)
    {
        try {
            call();
        } catch (const RunAbort& abort) {
            return abort.status;
        }
        ADD_FAILURE() << "the call did not end the run";
        return -100;
    }

    std::string console;
};

}  // namespace qvm::testing
