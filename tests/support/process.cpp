#include "support/process.h"

#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <random>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

namespace qvm::testing {

namespace {

void drain(int outFd, int errFd, std::string& out, std::string& err)
{
    pollfd fds[2] = {{outFd, POLLIN, 0}, {errFd, POLLIN, 0}};
    std::string* sinks[2] = {&out, &err};
    int open = 2;
    char buffer[65536];
    while (open > 0) {
        if (poll(fds, 2, -1) < 0) {
            break;
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || (fds[i].revents & (POLLIN | POLLHUP | POLLERR)) == 0) {
                continue;
            }
            const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0) {
                sinks[i]->append(buffer, static_cast<std::size_t>(n));
            } else {
                close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            }
        }
    }
}

}  // namespace

RunResult runProgram(const std::string& program, const std::vector<std::string>& arguments, const EnvChanges& env,
                     const std::filesystem::path& workingDirectory)
{
    int outPipe[2];
    int errPipe[2];
    if (pipe(outPipe) != 0 || pipe(errPipe) != 0) {
        throw std::runtime_error("pipe failed");
    }
    const pid_t child = fork();
    if (child < 0) {
        throw std::runtime_error("fork failed");
    }
    if (child == 0) {
        dup2(outPipe[1], 1);
        dup2(errPipe[1], 2);
        close(outPipe[0]);
        close(errPipe[0]);
        close(outPipe[1]);
        close(errPipe[1]);
        const int devNull = open("/dev/null", O_RDONLY);
        dup2(devNull, 0);
        for (const auto& [name, value] : env) {
            if (value) {
                setenv(name.c_str(), value->c_str(), 1);
            } else {
                unsetenv(name.c_str());
            }
        }
        if (!workingDirectory.empty() && chdir(workingDirectory.c_str()) != 0) {
            _exit(126);
        }
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(program.c_str()));
        for (const auto& argument : arguments) {
            argv.push_back(const_cast<char*>(argument.c_str()));
        }
        argv.push_back(nullptr);
        execvp(program.c_str(), argv.data());
        _exit(127);
    }
    close(outPipe[1]);
    close(errPipe[1]);
    RunResult result;
    drain(outPipe[0], errPipe[0], result.out, result.err);
    int status = 0;
    waitpid(child, &status, 0);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return result;
}

std::vector<std::string> sanitizerFlags()
{
#ifdef QVM_TESTS_SANITIZE
    return {"-fsanitize=address,undefined", "-fno-sanitize-recover=undefined", "-fno-omit-frame-pointer"};
#else
    return {};
#endif
}

std::vector<std::string> runtimeLinkArguments()
{
    std::vector<std::string> arguments = sanitizerFlags();
    arguments.push_back(QVM_RUNTIME_LIBRARY);
    arguments.push_back("-lpthread");
    return arguments;
}

RunResult runPrepro(const std::vector<std::string>& arguments, const EnvChanges& env,
                    const std::filesystem::path& workingDirectory)
{
    EnvChanges full = env;
    full.try_emplace("FENWIRDIR", std::string(QVM_SHARE_DIR));
    full.try_emplace("LANG", std::string("C"));
    full.try_emplace("LC_ALL", std::nullopt);
    return runProgram(QVM_PREPRO_BIN, arguments, full, workingDirectory);
}

RunResult runInspect(const std::vector<std::string>& arguments, const EnvChanges& env,
                     const std::filesystem::path& workingDirectory)
{
    EnvChanges full = env;
    full.try_emplace("FENWIRDIR", std::string(QVM_SHARE_DIR));
    full.try_emplace("LANG", std::string("C"));
    full.try_emplace("LC_ALL", std::nullopt);
    return runProgram(QVM_INSPECT_BIN, arguments, full, workingDirectory);
}

ScopedEnv::ScopedEnv(const char* name, const char* value) : name_(name)
{
    if (const char* old = std::getenv(name)) {
        old_ = old;
    }
    value != nullptr ? ::setenv(name, value, 1) : ::unsetenv(name);
}

ScopedEnv::~ScopedEnv()
{
    old_ ? ::setenv(name_, old_->c_str(), 1) : ::unsetenv(name_);
}

TempDir::TempDir()
{
    std::random_device device;
    const auto base = std::filesystem::temp_directory_path();
    for (;;) {
        path_ = base / ("qvmtest-" + std::to_string(device()));
        if (std::filesystem::create_directory(path_)) {
            break;
        }
    }
}

TempDir::~TempDir()
{
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::string readFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream contents;
    contents << in.rdbuf();
    return contents.str();
}

void writeFile(const std::filesystem::path& path, const std::string& contents)
{
    if (path.has_parent_path()) {
        std::filesystem::create_directories(path.parent_path());
    }
    std::ofstream out(path, std::ios::binary);
    out << contents;
}

void writeSampleRun(const std::filesystem::path& directory)
{
    writeFile(directory / "demo.h", "extern int counter;\nint reset_counter(int value);\n");
    writeFile(directory / "demo.pts",
              "HEADER \"demo\", \"sample\", \"1\"\n"
              "#int local_value;\n"
              "SCENARIO main\n"
              "  CALL reset_counter(0)\n"
              "END SCENARIO\n");
}

std::string CMakeProjectRun::shown() const
{
    return configure.out + configure.err + build.out + build.err + test.out + test.err;
}

CMakeProjectRun configureBuildTest(const CMakeProject& project)
{
    CMakeProjectRun run;
    std::vector<std::string> configure = project.generator;
    configure.insert(configure.end(), {"-S", project.source.string(), "-B", project.build.string(),
                                       "-DQvmPrepro_DIR=" + project.packageDir.string()});
    run.configure = runProgram(project.cmake, configure, project.environment);
    if (run.configure.status != 0) {
        return run;
    }
    std::vector<std::string> build = {"--build", project.build.string()};
    build.insert(build.end(), project.jobs.begin(), project.jobs.end());
    run.build = runProgram(project.cmake, build, project.environment);
    if (run.build.status != 0) {
        return run;
    }
    std::vector<std::string> test = project.jobs;
    test.push_back("--output-on-failure");
    run.test = runProgram(project.ctest, test, project.environment, project.build);
    return run;
}

std::vector<std::string> lines(const std::string& text)
{
    std::vector<std::string> result;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        result.push_back(line);
    }
    return result;
}

std::size_t occurrences(const std::string& text, const std::string& part)
{
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++count;
    }
    return count;
}

}  // namespace qvm::testing
