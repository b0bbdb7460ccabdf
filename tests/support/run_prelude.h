// The names the tests that run qvmprepro and compile and run its programs
// use most, for one `using namespace qvm::testing::run_prelude;` a file.
#pragma once

#include "support/process.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace qvm::testing::run_prelude {

namespace fs = std::filesystem;
using qvm::testing::readFile;
using qvm::testing::RunResult;
using qvm::testing::runProgram;
using qvm::testing::runPrepro;
using qvm::testing::TempDir;
using qvm::testing::writeFile;
using ::testing::AllOf;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;
using ::testing::SizeIs;

// The compilers every generated program is built with.
inline const std::vector<std::string> kCompilers = {"gcc", "clang"};

}  // namespace qvm::testing::run_prelude
