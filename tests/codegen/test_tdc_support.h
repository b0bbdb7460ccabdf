// What the TDC tests share: the scripts they run (the bundled examples and
// the small scripts of tests/data/codegen/tdc), runs of qvmprepro on a copy
// of a script's directory, and the masking of what changes from run to run.
#pragma once

#include "support/process.h"

#include <algorithm>
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

namespace qvm::testing::tdc {

namespace fs = std::filesystem;

inline const fs::path kTdcData = fs::path(QVM_TESTDATA_DIR) / "codegen" / "tdc";
inline const std::string kStdDefine = std::string(QVM_SHARE_DIR) + "/lib/x86_64-linux-gnu.def";

// A script with its interface file of the same name, in a directory that is
// copied whole (a script may include others beside it).
struct Script {
    fs::path directory;
    std::string name;
};

// The bundled examples: every examples/**/NAME.pts with a NAME.h beside it.
inline std::vector<Script> bundledExamples()
{
    std::vector<Script> found;
    for (const auto& entry : fs::recursive_directory_iterator(fs::path(QVM_SOURCE_DIR) / "examples")) {
        fs::path header = entry.path();
        header.replace_extension(".h");
        if (entry.path().extension() == ".pts" && fs::exists(header)) {
            found.push_back({entry.path().parent_path(), entry.path().stem().string()});
        }
    }
    std::sort(found.begin(), found.end(), [](const Script& a, const Script& b) { return a.name < b.name; });
    return found;
}

inline Script handScript(const std::string& name)
{
    return {kTdcData, name};
}

// A copy of the script's directory in dir, with out/ holding the _Init
// functions of a TRIGGER script as its user filled them in: without them the
// run writes the template with a warning.
inline void prepareCopy(const Script& script, const fs::path& dir)
{
    fs::copy(script.directory, dir, fs::copy_options::recursive | fs::copy_options::overwrite_existing);
    fs::create_directories(dir / "out");
    writeFile(dir / "out" / "fctri_c.c", "/* the _Init functions of the telegrams */\n");
}

// The arguments of a run on the script writing out/NAME, with the host's
// standard definitions.
inline std::vector<std::string> scriptArguments(const Script& script)
{
    return {script.name + ".pts", script.name + ".h", "out/" + script.name, "-STD_DEFINE=" + kStdDefine};
}

// The files of a run, read back before its directory goes.
struct TdcOutputs {
    RunResult result;
    std::string tdc;          // "" when not written
    std::string probeHeader;  // "" when not written
    bool probeHeaderWritten = false;
};

inline TdcOutputs runScript(const Script& script, const std::vector<std::string>& options, const EnvChanges& extraEnv = {})
{
    TempDir dir;
    prepareCopy(script, dir.path());
    std::vector<std::string> arguments{script.name + ".pts", script.name + ".h", "out/" + script.name};
    arguments.insert(arguments.end(), options.begin(), options.end());
    EnvChanges env{{"USER", "tester"}, {"TDC_SHIFT", "night \"shift\""}};
    for (const auto& [name, value] : extraEnv) {
        env[name] = value;
    }
    TdcOutputs run;
    run.result = runPrepro(arguments, env, dir.path());
    const fs::path tdc = dir / ("out/" + script.name + ".tdc");
    const fs::path header = dir / ("out/" + script.name + ".h");
    run.tdc = fs::exists(tdc) ? readFile(tdc) : std::string();
    run.probeHeaderWritten = fs::exists(header);
    run.probeHeader = run.probeHeaderWritten ? readFile(header) : std::string();
    return run;
}

// The date text and process identifier of the generation stamp, the program
// path and the bundled share directory replaced by fixed marks.
inline std::string masked(std::string text)
{
    static const std::regex date(R"([A-Z][a-z]{2} [A-Z][a-z]{2} [ 0-9][0-9] [0-9]{2}:[0-9]{2}:[0-9]{2} [0-9]{4})");
    static const std::regex pid(R"(@DATE@ [0-9]+)");
    text = std::regex_replace(text, date, "@DATE@");
    text = std::regex_replace(text, pid, "@DATE@ @PID@");
    for (const auto& [path, mark] : {std::pair<std::string, std::string>{QVM_PREPRO_BIN, "@QVMPREPRO@"},
                                     std::pair<std::string, std::string>{QVM_SHARE_DIR, "@SHARE@"}}) {
        for (std::size_t at = text.find(path); at != std::string::npos; at = text.find(path, at + mark.size())) {
            text.replace(at, path.size(), mark);
        }
    }
    return text;
}

// The probe header up to the TDC writer's last line: the program writer adds
// its own part after it.
inline std::string tdcPartOfProbeHeader(const std::string& header)
{
    const std::string last = "#define TRV_TDC_LAST_ID ";
    const std::size_t at = header.find(last);
    if (at == std::string::npos) {
        return header;
    }
    const std::size_t end = header.find('\n', at);
    return header.substr(0, end == std::string::npos ? header.size() : end + 1);
}

}  // namespace qvm::testing::tdc
