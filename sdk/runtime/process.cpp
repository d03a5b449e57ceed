#include "tarn/runtime/process.hpp"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>

#include "tarn/runtime/file_path.hpp"
#include "tarn/runtime/folders.hpp"
#include "tarn/runtime/text_conversion.hpp"
#include "tarn/runtime/thread.hpp"

namespace {

std::atomic<TARNPrivate::SignalSender> signalSender{kill};

// waitpid, resumed after interruptions by signals.
pid_t waitFor(pid_t child, int* status, int options) {
    pid_t result;
    do {
        result = waitpid(child, status, options);
    } while (result < 0 && errno == EINTR);
    return result;
}

// One standard stream of the child and the pipe end that becomes it.
struct StreamLink {
    int source;
    int target;
};

}  // namespace

TARNProcess::TARNProcess(const TARNArray<TARNStackedString<40> >& texts, TARNPipe* input, TARNPipe* output,
                         TARNPipe* error, bool copyEnvironment, bool inTerminal)
    : environment(4, true),
      input(input),
      output(output),
      error(error),
      workingFolder(TARN::GetCurrentFolder()),
      inTerminal(inTerminal) {
    if (copyEnvironment) copyCallerEnvironment();

    if (!inTerminal || isatty(1)) {
        buildArguments(texts, nullptr);
        return;
    }
    // The terminal window needs the X server to let it in.
    const int status = std::system("xhost");
    if (status == -1 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return;
    TARNStackedString<40> terminal;
    if (const TARNStackedString<40>* term = environment.Lookup("TERM")) {
        terminal = *term;
    } else {
        TARNFile emulator("/usr/bin/x-terminal-emulator");
        emulator.ExpandPath();
        if (emulator.Exists()) terminal = emulator.GetFullPath();
    }
    if (!terminal.IsEmpty()) buildArguments(texts, &terminal);
}

TARNProcess::~TARNProcess() {
    releaseVector(arguments, argumentCount);
}

void TARNProcess::copyCallerEnvironment() {
    if (environ == nullptr) return;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        TARNStackedString<40> text;
        if (TARNIconv::localeToUTF8(*entry, text) == 0 || text.IsEmpty()) continue;
        int equals = 0;
        while (equals < text.Length() && text[equals] != '=') ++equals;
        if (equals == text.Length()) continue;
        TARNStackedString<40> name;
        TARNStackedString<40> value;
        name.init(equals, text.c_str());
        value.init(text.Length() - equals - 1, text.c_str() + equals + 1);
        // As the environment has it: a name that occurs twice is held twice.
        environment.Insert(name, value);
    }
}

void TARNProcess::buildArguments(const TARNArray<TARNStackedString<40> >& texts,
                                 const TARNStackedString<40>* terminal) {
    const int lead = terminal ? 2 : 0;
    argumentCount = texts.Size() + lead;
    arguments = new char*[argumentCount + 1]();
    if (terminal) {
        arguments[0] = TARNIconv::UTF8ToLocale(terminal->c_str());
        arguments[1] = TARNIconv::UTF8ToLocale("-e");
    }
    // A text that cannot be converted leaves a null entry, which ends what the program sees.
    for (int i = 0; i < texts.Size(); ++i) arguments[lead + i] = TARNIconv::UTF8ToLocale(texts[i].c_str());
}

void TARNProcess::releaseVector(char** vector, int count) {
    if (vector == nullptr) return;
    for (int i = 0; i < count; ++i) TARNIconv::releaseLocale(vector[i]);
    delete[] vector;
}

char** TARNProcess::buildEnvironment() const {
    char** vector = new char*[environment.Size() + 1]();
    int count = 0;
    TARNHashTableIterator it;
    while (const auto* pair = environment.nextX(it)) {
        const TARNStackedString<40> entry = pair->key + "=" + pair->value;
        if (char* converted = TARNIconv::UTF8ToLocale(entry.c_str())) vector[count++] = converted;
    }
    return vector;
}

void TARNProcess::setCurrentDirectory(const TARNStackedString<40>& folder) {
    workingFolder = folder;
}

void TARNProcess::setEnvironmentVariable(const TARNStackedString<40>& name,
                                         const TARNStackedString<40>& value) {
    if (TARNStackedString<40>* existing = environment.Lookup(name)) {
        *existing = value;
    } else {
        environment.Insert(name, value);
    }
}

void TARNProcess::removeEnvironmentVariable(const TARNStackedString<40>& name) {
    environment.Remove(name);
}

const TARNStackedString<40>* TARNProcess::getEnvironmentVariable(const TARNStackedString<40>& name) const {
    return environment.Lookup(name);
}

bool TARNProcess::connectStandardStreams() {
    // The ends that only this side of the pipe uses.
    if (input && input != output && input != error) input->closeWriteDescriptor();
    if (output && output != input) output->closeReadDescriptor();
    if (error && error != input) error->closeReadDescriptor();

    StreamLink links[3];
    int count = 0;
    if (input) links[count++] = {input->getReadDescriptor(), 0};
    if (output) links[count++] = {output->getWriteDescriptor(), 1};
    if (error) links[count++] = {error->getWriteDescriptor(), 2};

    // A pipe end that sits on another standard descriptor would be overwritten by that
    // descriptor's dup2 before its own turn: move it out of the way first. The copies are
    // close-on-exec, like the pipe ends themselves.
    for (int i = 0; i < count; ++i) {
        if (links[i].source >= 0 && links[i].source <= 2 && links[i].source != links[i].target) {
            links[i].source = fcntl(links[i].source, F_DUPFD_CLOEXEC, 3);
        }
    }
    for (int i = 0; i < count; ++i) {
        if (links[i].source < 0) return false;
        // An end that already is its standard descriptor is kept as it is, but must
        // survive exec: dup2 onto itself would leave its close-on-exec flag set.
        if (links[i].source == links[i].target) {
            if (fcntl(links[i].target, F_SETFD, 0) != 0) return false;
        } else if (dup2(links[i].source, links[i].target) < 0) {
            return false;
        }
    }
    // The pipes' own write ends are no longer needed, except where one of them is the
    // standard descriptor just installed; closing it would take the stream away again.
    for (TARNPipe* pipe : {output, error}) {
        if (pipe == nullptr) continue;
        const int end = pipe->getWriteDescriptor();
        if (end != 1 && end != 2) pipe->closeWriteDescriptor();
    }
    return true;
}

int TARNProcess::start(bool detached, int* pid) {
    if (arguments == nullptr) return 0;
    char** environmentVector = buildEnvironment();
    const char* folder = workingFolder.c_str();
    const pid_t child = fork();
    if (child < 0) {
        releaseVector(environmentVector, environment.Size());
        return 0;
    }
    if (child == 0) {
        // Async-signal-safe calls only from here on.
        if (detached) setpgid(0, 0);
        if (!connectStandardStreams() || chdir(folder) != 0) _exit(1);
        // Without arguments there is no program: the child ends as if it could not run.
        if (arguments[0] != nullptr) execve(arguments[0], arguments, environmentVector);
        _exit(1);
    }
    // Both sides set the group, so that it is in place whichever runs first.
    if (detached) setpgid(child, 0);
    childId = child;
    collected = false;
    if (pid) *pid = child;
    if (input) input->closeReadDescriptor();
    if (output) output->closeWriteDescriptor();
    if (error) error->closeWriteDescriptor();
    releaseVector(environmentVector, environment.Size());
    return 1;
}

int TARNProcess::runAsChild(int* pid) {
    return start(false, pid);
}

int TARNProcess::runDetached(int* pid) {
    return start(true, pid);
}

void TARNProcess::runAsCurrent() {
    // No vector, or one without a program (no arguments): nothing could replace this process,
    // so nothing of it is changed either.
    if (arguments == nullptr || arguments[0] == nullptr) return;
    char** environmentVector = buildEnvironment();
    if (connectStandardStreams() && TARN::SetCurrentFolder(workingFolder))
        execve(arguments[0], arguments, environmentVector);
    releaseVector(environmentVector, environment.Size());
}

int TARNProcess::collect(int status, int& code) {
    if (WIFSTOPPED(status)) return 2;
    collected = true;
    if (WIFEXITED(status)) {
        code = static_cast<signed char>(WEXITSTATUS(status));
    } else if (WIFSIGNALED(status)) {
        code = WTERMSIG(status);
    }
    return 0;
}

int TARNProcess::getState() {
    if (childId == 0) return 0;
    if (collected) return 2;
    int status;
    const pid_t result = waitFor(childId, &status, WNOHANG | WUNTRACED);
    if (result < 0) {
        // Not (or no longer) our child: someone else collected it.
        if (errno == ECHILD) collected = true;
        return 2;
    }
    if (result == 0 || WIFSTOPPED(status)) return 1;
    collected = true;
    return 2;
}

int TARNProcess::wait(int& code, long timeout) {
    if (childId == 0) return 1;
    if (timeout < -1) return 3;
    if (collected) return timeout > 0 ? 3 : 2;
    int status;
    if (timeout == -1 || timeout == 0) {
        const pid_t result = waitFor(childId, &status, (timeout == 0 ? WNOHANG : 0) | WUNTRACED);
        if (result < 0) {
            if (errno == ECHILD) collected = true;
            return 2;
        }
        return result == 0 ? 3 : collect(status, code);
    }
    // Polls every 100 ms; the last look comes after the whole time-out.
    constexpr long pollInterval = 100000;
    long remaining = timeout;
    for (;;) {
        const pid_t result = waitFor(childId, &status, WNOHANG | WUNTRACED);
        if (result > 0) return collect(status, code);
        if (result < 0 && errno == ECHILD) {
            collected = true;
            return 3;
        }
        if (remaining == 0) return 3;
        const long pause = remaining > pollInterval ? pollInterval : remaining;
        TARN::Sleep(pause);
        remaining -= pause;
    }
}

int TARNProcess::terminate() {
    if (childId == 0 || collected) return 0;
    if (signalSender.load()(childId, SIGKILL) != 0 && errno != ESRCH) return 0;
    int status;
    // Without WUNTRACED: a stopped child dies of SIGKILL as well, and its end is what
    // is waited for.
    const pid_t result = waitFor(childId, &status, 0);
    if (result <= 0) {
        if (result < 0 && errno == ECHILD) collected = true;
        return 0;
    }
    collected = true;
    return 1;
}

namespace TARNPrivate {
SignalSender ReplaceSignalSender(SignalSender sender) {
    return signalSender.exchange(sender);
}
}  // namespace TARNPrivate
