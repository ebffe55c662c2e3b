// `vexmor`: reads the command line, hands the request to the copy running for this user and display
// when there is one, and otherwise loads the program (the module beside this file) and runs it in this
// same process. Nothing here uses Qt, so a command handed over costs a process start and one socket
// write, not the loading of the toolkit's libraries.
#include "CommandLine.h"
#include "InstanceSocket.h"

#include <dlfcn.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// The folder of this executable (the module lies beside it).
std::string OwnFolder() {
    char buffer[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0) return ".";
    buffer[n] = '\0';
    std::string path(buffer);
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : path.substr(0, slash);
}

bool FakePlatform() {
    const char* p = std::getenv("VEXMOR_PLATFORM");
    return p && std::strcmp(p, "fake") == 0;
}

} // namespace

int main(int argc, char** argv) {
    const TCommandLine command =
        ParseCommandLine(std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc));
    if (AnswersInAnyLanguage(command)) return AnswerWithoutStarting(command);
    // Help and mistakes are answered by the program, in the interface language; they hand nothing over.
    // So is a picture to edit: the program reads it before handing it over, and tells whoever asked
    // when it cannot be opened.
    const bool answeredByProgram = command.action == TCommandLine::TAction::Help ||
                                   command.action == TCommandLine::TAction::Error ||
                                   (command.action == TCommandLine::TAction::Edit && !command.editClipboard);
    // An unsafe socket folder gives no path: nothing is handed over, and the program tells why it
    // does not start.
    if (!answeredByProgram && !FakePlatform() && SendInstanceRequest(InstanceSocketPath(), command.Request()))
        return 0;

    const std::string module = OwnFolder() + "/" VEXMOR_MAIN_MODULE;
    // The text recognition's engine spreads its work over OpenMP threads that spin on the cores the
    // interface needs; on a desktop machine that makes it several times slower, so it keeps to one.
    // The OpenMP library (which the program's image libraries bring) reads the limit as the module
    // loads it; the programs Vexmor starts get the environment as it was.
    const bool threadLimitGiven = std::getenv("OMP_THREAD_LIMIT") != nullptr;
    if (!threadLimitGiven) ::setenv("OMP_THREAD_LIMIT", "1", 1);
    void* program = ::dlopen(module.c_str(), RTLD_NOW | RTLD_GLOBAL);
    if (!threadLimitGiven) ::unsetenv("OMP_THREAD_LIMIT");
    if (!program) {
        std::fprintf(stderr, "vexmor: cannot load the program: %s\n", ::dlerror());
        return 1;
    }
    using TRun = int (*)(int, char**);
    auto run = reinterpret_cast<TRun>(::dlsym(program, "VexmorRun"));
    if (!run) {
        std::fprintf(stderr, "vexmor: %s holds no program\n", module.c_str());
        return 1;
    }
    return run(argc, argv);
}
