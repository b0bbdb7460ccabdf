// A fixture for the native type bridge in-process: a fresh C analysis with
// a small interface declared, the diagnostics captured as located messages.
#pragma once

#include "script/ancgest.h"
#include "script/prtanac.h"
#include "support/console.h"
#include "support/messages.h"

#include <string>
#include <vector>

namespace qvm::testing::script {

class BridgeTest : public ConsoleTest {
protected:
    void SetUp() override
    {
        ConsoleTest::SetUp();
        qvm::script::resetCAnalysis();
        qvm::script::resetNativeTypes();
        qvm::script::startCAnalysis(qvm::script::CModeNeither, {}, {}, {});
    }
    void TearDown() override
    {
        qvm::script::endCAnalysis();
        qvm::script::resetNativeTypes();
        qvm::script::resetCAnalysis();
        ConsoleTest::TearDown();
    }

    // Declares C text in the global scope as the interface file "if.h".
    void declare(const std::string& text, const std::string& scope = {})
    {
        qvm::script::declareCText(text, scope, "if.h", 1);
    }

    std::vector<Message> messages() const { return messagesOf(console); }
};

}  // namespace qvm::testing::script
