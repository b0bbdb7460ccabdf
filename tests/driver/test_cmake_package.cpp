// The CMake package: a project outside this tree finds qvmprepro with
// find_package(QvmPrepro), from an install prefix or from the build tree,
// generates, builds and runs two bundled examples and a script of its own
// with qvm_add_test_script(), and after a header changes rebuilds only the
// script that reads it.
#include "support/process.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace {

namespace fs = std::filesystem;

using qvm::testing::readFile;
using qvm::testing::runProgram;
using qvm::testing::RunResult;
using qvm::testing::TempDir;
using qvm::testing::writeFile;
using ::testing::HasSubstr;
using ::testing::Not;

const char* const consumerProject = R"(cmake_minimum_required(VERSION 3.20)
project(door_tests LANGUAGES C)
enable_testing()
find_package(QvmPrepro 1.0 REQUIRED)

qvm_add_test_script(TARGET demo_test SCRIPT demo.pts INTERFACES demo.h SOURCES demo_sut.c)
qvm_add_test_script(TARGET bms_test SCRIPT bms/bms_config_api.pts INTERFACES bms/bms_config_api.h
                    SOURCES bms/bms_config_api_sut.c OUTPUT_DIR generated/bms NO_SCRIPT_LINES)
qvm_add_test_script(TARGET sensor_test SCRIPT scripts/sensor.pts INTERFACES include/sensor.h
                    SOURCES sensor_sut.c DEFINES SENSOR_SCALE=2 OUTPUT_DIR generated/sensor)
if(NOT sensor_test_OUTPUTS MATCHES "generated/sensor/sensor.c")
  message(FATAL_ERROR "sensor_test_OUTPUTS: ${sensor_test_OUTPUTS}")
endif()
)";

// A second script with a header that only it reads, in directories of
// their own.
void writeSensorFiles(const fs::path& project)
{
    fs::create_directories(project / "scripts");
    fs::create_directories(project / "include");
    writeFile(project / "include" / "sensor.h", R"(#ifndef SENSOR_H
#define SENSOR_H
#define SENSOR_LIMIT 100
int sensor_read(int channel);
int sensor_scaled(int channel);
#endif
)");
    writeFile(project / "scripts" / "sensor.pts", R"(HEADER "sensor", "temperature sensor", "1.0"
#include "sensor.h"

SCENARIO sensor_reads
  SCENARIO scaled_reading
    IF (sensor_scaled(1) != SENSOR_SCALE * sensor_read(1)) THEN
      ERROR
    END IF
    IF (sensor_read(2) > SENSOR_LIMIT) THEN
      ERROR
    END IF
    PRINT scaled, sensor_scaled(1) * 0.5
  END SCENARIO
END SCENARIO
)");
    writeFile(project / "sensor_sut.c", R"(#include "sensor.h"
int sensor_read(int channel) { return 20 + channel; }
int sensor_scaled(int channel) { return SENSOR_SCALE * sensor_read(channel); }
)");
}

void writeConsumerProject(const fs::path& project)
{
    const fs::path examples = fs::path(QVM_SOURCE_DIR) / "examples";
    for (const char* file : {"demo.pts", "demo.h", "demo_sut.c", "sut_log.h"}) {
        fs::copy_file(examples / file, project / file);
    }
    fs::copy(examples / "bms_config_api", project / "bms");
    writeSensorFiles(project);
    writeFile(project / "CMakeLists.txt", consumerProject);
}

std::string shown(const RunResult& result)
{
    return result.out + result.err;
}

// The bundled examples name their author through $USER.
const qvm::testing::EnvChanges kUser = {{"USER", "tester"}};

// Configures with Ninja against the package in packageDir, builds with two
// jobs and runs the tests.
void configureBuildAndTest(const fs::path& packageDir, const fs::path& project, const fs::path& build)
{
    const auto run = qvm::testing::configureBuildTest(
        {.source = project, .build = build, .packageDir = packageDir, .jobs = {"-j2"}, .environment = kUser});
    ASSERT_EQ(run.build.status, 0) << run.shown();
    // The sensor script's PRINT of a double is a warning: its outputs are
    // complete, so the build goes on.
    EXPECT_THAT(run.build.out + run.build.err, HasSubstr("INCOMPTYP"));
    EXPECT_TRUE(fs::exists(build / "demo_test" / "demo.tdc"));
    EXPECT_TRUE(fs::exists(build / "generated" / "bms" / "bms_config_api.c"));
    EXPECT_TRUE(fs::exists(build / "generated" / "sensor" / "sensor_dyn.tsf"));
    EXPECT_FALSE(fs::exists(project / "demo.lis")) << "the list file belongs to the build tree";
    // The programs' code is placed at the script's lines unless a script is
    // told not to be.
    EXPECT_THAT(readFile(build / "demo_test" / "demo.c"), HasSubstr("\n#line 6 \"demo.pts\"\n"));
    EXPECT_THAT(readFile(build / "generated" / "bms" / "bms_config_api.c"), Not(HasSubstr("#line")));

    EXPECT_EQ(run.test.status, 0) << run.shown();
    EXPECT_THAT(run.test.out, HasSubstr("100% tests passed, 0 tests failed out of 3"));
}

TEST(CMakePackage, InstalledBuildsRunsRegens)
{
    TempDir prefix;
    const auto install = runProgram("cmake", {"--install", QVM_BINARY_DIR, "--prefix", prefix.path().string()});
    ASSERT_EQ(install.status, 0) << shown(install);
    for (const char* file : {"lib/libqvmruntime.a", "include/qvmprepro/TP.h", "include/qvmprepro/ccst.h",
                             "lib/cmake/QvmPrepro/QvmPreproConfig.cmake", "lib/cmake/QvmPrepro/QvmPreproConfigVersion.cmake",
                             "lib/cmake/QvmPrepro/QvmPrepro.cmake"}) {
        EXPECT_TRUE(fs::is_regular_file(prefix / file)) << file;
    }

    TempDir project;
    TempDir build;
    writeConsumerProject(project.path());
    configureBuildAndTest(prefix / "lib/cmake/QvmPrepro", project.path(), build.path());
    if (HasFailure()) {
        return;
    }

    const fs::path demoProgram = build / "demo_test/demo.c";
    const fs::path demoExecutable = build / "demo_test/demo_test";
    const fs::path sensorProgram = build / "generated/sensor/sensor.c";
    const fs::path bmsProgram = build / "generated/bms/bms_config_api.c";
    // The dependency file carries no generation stamp: the same inputs give
    // the same text, so it is left as it was. The other outputs all carry
    // the stamp of their run.
    const fs::path bmsDependencies = build / "generated/bms/bms_config_api.d";
    const auto demoProgramTime = fs::last_write_time(demoProgram);
    const auto demoExecutableTime = fs::last_write_time(demoExecutable);
    const auto sensorProgramTime = fs::last_write_time(sensorProgram);
    const auto bmsProgramTime = fs::last_write_time(bmsProgram);
    const auto bmsDependenciesTime = fs::last_write_time(bmsDependencies);
    const std::string bmsDependenciesText = readFile(bmsDependencies);
    EXPECT_THAT(bmsDependenciesText, HasSubstr((project / "bms/bms_types.h").string()));
    EXPECT_THAT(bmsDependenciesText, HasSubstr((project / "bms/bms_measurements.pts").string()));

    // bms_types.h is read through the example's interface file only.
    fs::last_write_time(project / "bms/bms_types.h", fs::file_time_type::clock::now());
    const auto rebuild = runProgram("ninja", {"-C", build.path().string(), "-d", "explain", "-j2"}, kUser);
    ASSERT_EQ(rebuild.status, 0) << shown(rebuild);
    EXPECT_THAT(shown(rebuild), HasSubstr("Generating the test program of bms_config_api.pts"));
    EXPECT_THAT(shown(rebuild), HasSubstr("bms_test"));
    for (const char* other : {"demo.pts", "demo_test", "sensor.pts", "sensor_test"}) {
        EXPECT_THAT(shown(rebuild), Not(HasSubstr(other)));
    }

    EXPECT_EQ(fs::last_write_time(demoProgram), demoProgramTime);
    EXPECT_EQ(fs::last_write_time(demoExecutable), demoExecutableTime);
    EXPECT_EQ(fs::last_write_time(sensorProgram), sensorProgramTime);
    EXPECT_GT(fs::last_write_time(bmsProgram), bmsProgramTime);
    EXPECT_EQ(readFile(bmsDependencies), bmsDependenciesText);
    EXPECT_EQ(fs::last_write_time(bmsDependencies), bmsDependenciesTime);

    const auto nothingLeft = runProgram("ninja", {"-C", build.path().string(), "-n", "-d", "explain"});
    EXPECT_THAT(nothingLeft.out, HasSubstr("no work to do")) << shown(nothingLeft);
}

// Many scripts of one project: each reads a header of its own and one that
// all share.
void writeManyScriptsProject(const fs::path& project, int scripts)
{
    std::string lists = "cmake_minimum_required(VERSION 3.20)\nproject(many LANGUAGES C)\nenable_testing()\n"
                        "find_package(QvmPrepro REQUIRED)\n";
    writeFile(project / "common.h", "#define COMMON_BASE 40\n");
    for (int k = 1; k <= scripts; ++k) {
        const std::string n = std::to_string(k);
        writeFile(project / ("unit" + n + ".h"), "#include \"common.h\"\nint unit" + n + "_value(void);\n");
        writeFile(project / ("unit" + n + "_sut.c"),
                  "#include \"unit" + n + ".h\"\nint unit" + n + "_value(void) { return COMMON_BASE + " + n + "; }\n");
        writeFile(project / ("unit" + n + ".pts"), "HEADER \"unit " + n + "\", \"one unit\", \"1.0\"\n#include \"unit" + n + ".h\"\n\n"
                  "SCENARIO unit" + n + "_reads\n  SCENARIO value\n    IF (unit" + n + "_value() != COMMON_BASE + " + n +
                  ") THEN\n      ERROR\n    END IF\n  END SCENARIO\nEND SCENARIO\n");
        lists += "qvm_add_test_script(TARGET unit" + n + " SCRIPT unit" + n + ".pts INTERFACES unit" + n +
                 ".h SOURCES unit" + n + "_sut.c)\n";
    }
    writeFile(project / "CMakeLists.txt", lists);
}

int countOf(const std::string& text, const std::string& part)
{
    int count = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) {
        ++count;
    }
    return count;
}

TEST(CMakePackage, ParallelRegenByHeader)
{
    constexpr int scripts = 6;
    TempDir project;
    TempDir build;
    writeManyScriptsProject(project.path(), scripts);
    const auto run = qvm::testing::configureBuildTest(
        {.source = project.path(), .build = build.path(), .packageDir = QVM_BINARY_DIR, .jobs = {"-j4"}});
    ASSERT_EQ(run.build.status, 0) << run.shown();
    EXPECT_EQ(countOf(run.build.out, "Generating the test program of unit"), scripts) << run.build.out;
    EXPECT_EQ(run.test.status, 0) << run.shown();
    EXPECT_THAT(run.test.out, HasSubstr("100% tests passed, 0 tests failed out of 6"));

    fs::last_write_time(project / "unit3.h", fs::file_time_type::clock::now());
    const auto one = runProgram("ninja", {"-C", build.path().string(), "-j4"});
    ASSERT_EQ(one.status, 0) << shown(one);
    EXPECT_EQ(countOf(one.out, "Generating the test program of"), 1) << one.out;
    EXPECT_THAT(one.out, HasSubstr("Generating the test program of unit3.pts"));

    fs::last_write_time(project / "common.h", fs::file_time_type::clock::now());
    const auto all = runProgram("ninja", {"-C", build.path().string(), "-j4"});
    ASSERT_EQ(all.status, 0) << shown(all);
    EXPECT_EQ(countOf(all.out, "Generating the test program of unit"), scripts) << all.out;
}

// A script in the TRIGGER form: the system publishes beacon telegrams on the
// channel named after their structure, and the filled-in fctri_c.c kept
// with the sources reads them.
void writeTriggerProject(const fs::path& project)
{
    writeFile(project / "CMakeLists.txt", R"(cmake_minimum_required(VERSION 3.20)
project(beacons LANGUAGES C)
enable_testing()
find_package(QvmPrepro REQUIRED)
qvm_add_test_script(TARGET beacon SCRIPT beacon.pts INTERFACES beacon.h SOURCES beacon_sut.c
                    TRIGGER_FUNCTIONS functions/fctri_c.c)
)");
    writeFile(project / "beacon.h", R"(typedef struct { int code; int count; } beacon_t;
int beacon_emit(int code);
void beacon_t_Init(beacon_t *current, int id);
)");
    writeFile(project / "beacon.pts", R"(HEADER "beacon", "telegrams in the TRIGGER form", "1.0"
TRIGGER beacon_t beacon_seen

SCENARIO beacons
  SCENARIO second_beacon
    DEF_TRIGGER(beacon_seen, 7, 2)
    CALL beacon_emit(5) @ 0
    CALL beacon_emit(7) @ 0
    WAITTIL(MATCHING(beacon_seen), WTIME > 3000)
  END SCENARIO
END SCENARIO
)");
    writeFile(project / "beacon_sut.c", R"(#include "beacon.h"
#include "TP.h"
static void listen_only(const char *c, TRV_T_INT t, const void *d, size_t s, void *u)
{ (void)c; (void)t; (void)d; (void)s; (void)u; }
void trv_sut_init(void) { trv_sut_register("beacon_t", listen_only, 0); }
int beacon_emit(int code)
{
    static int count;
    beacon_t beacon = {code, ++count};
    return (int)trv_sut_answer("beacon_t", 1, &beacon, sizeof beacon, 10);
}
)");
    fs::create_directories(project / "functions");
    writeFile(project / "functions" / "fctri_c.c", R"(#include "ccst.h"
#include "tarvo_c.h"

void beacon_t_Init DP ((current,id)) BP
   beacon_t *current SP /* structure to initialize */
   T_ENTIER id EP /* id of connection */
{
   TRV_T_INT type;
   trv_channel_receive(id, &type, current, sizeof *current);
}
)");
}

TEST(CMakePackage, TriggerKeepsFilledFunctions)
{
    TempDir project;
    TempDir build;
    writeTriggerProject(project.path());
    const auto run = qvm::testing::configureBuildTest(
        {.source = project.path(), .build = build.path(), .packageDir = QVM_BINARY_DIR});
    ASSERT_EQ(run.build.status, 0) << run.shown();
    EXPECT_THAT(run.build.out, Not(HasSubstr("NEWFFCTRI"))) << "the filled-in functions are there before generation";
    EXPECT_TRUE(fs::exists(build / "beacon" / "tarvo_c.h"));
    EXPECT_EQ(run.test.status, 0) << run.shown();

    // A header changed after the functions were filled in: qvmprepro says
    // they may be out of date, and the build goes on with them.
    const std::string functions = readFile(project / "functions" / "fctri_c.c");
    fs::last_write_time(project / "beacon.h", fs::file_time_type::clock::now());
    const auto rebuild = runProgram("cmake", {"--build", build.path().string()});
    ASSERT_EQ(rebuild.status, 0) << shown(rebuild);
    EXPECT_THAT(rebuild.out, HasSubstr("OLDFFCTRI"));
    EXPECT_EQ(readFile(build / "beacon" / "fctri_c.c"), functions);
}

TEST(CMakePackage, TheBuildTreeIsAPackageToo)
{
    TempDir project;
    TempDir build;
    writeConsumerProject(project.path());
    configureBuildAndTest(QVM_BINARY_DIR, project.path(), build.path());
}

}  // namespace
