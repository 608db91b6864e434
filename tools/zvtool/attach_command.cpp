// zvtool attach: loads the agent into a running HotSpot VM (JDK 17, JDK 25)
// through the VM's attach mechanism, spoken here directly: the VM opens a
// UNIX socket (/tmp/.java_pidPID) when it finds a trigger file and receives
// SIGQUIT, and takes one "load" request on it. Everything that can be checked
// before the signal is checked first (the process exists, is the caller's, is
// a Java VM, accepts attaching): a process that is not a VM would die of the
// signal, and one that refuses attaching would print a thread dump on its
// standard output.
#include <fcntl.h>
#include <pwd.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>

#include "commands.h"

namespace {

// What the agent's Agent_OnAttach returns when it is in the VM already (JNI_EEXIST).
constexpr int kAlreadyLoaded = -5;
constexpr int kSocketWaitMillis = 10000;
constexpr std::string_view kNoAttach = "-XX:+DisableAttachMechanism";

struct Target {
    pid_t pid = 0;
    std::string pidText, nsPid;  // the VM names its files by its own namespace's pid
    uid_t uid = 0;
    std::string tmp;  // the VM's /tmp, through its root
};

// Problems come back as the message to print; empty means fine.
using Problem = std::string;

std::string readFile(const std::string &path, bool &ok) {
    std::ifstream in(path, std::ios::binary);
    ok = static_cast<bool>(in);
    return ok ? std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()) : std::string();
}

std::optional<pid_t> parsePid(const char *text) {
    char *end = nullptr;
    errno = 0;
    long value = strtol(text, &end, 10);
    if (end == text || *end != '\0' || errno != 0 || value < 1 || value > INT_MAX) return std::nullopt;
    return static_cast<pid_t>(value);
}

Problem findTarget(const char *pidText, Target &target) {
    std::optional<pid_t> pid = parsePid(pidText);
    if (!pid) return std::string("'") + pidText + "' is not a process id";
    target.pid = *pid;
    target.pidText = std::to_string(*pid);
    std::string proc = "/proc/" + target.pidText;
    struct stat info {};
    if (stat(proc.c_str(), &info) != 0) return "there is no process " + target.pidText;
    target.uid = info.st_uid;
    if (geteuid() != 0 && info.st_uid != geteuid())
        return "process " + target.pidText + " belongs to another user (uid " + std::to_string(info.st_uid) +
               "); only that user or root can attach to it";
    bool ok = false;
    std::string maps = readFile(proc + "/maps", ok);
    if (!ok) return "cannot read " + proc + "/maps: " + strerror(errno);
    if (maps.find("/libjvm.so\n") == std::string::npos)
        return "process " + target.pidText + " is not a Java VM (no libjvm.so is loaded in it)";
    target.nsPid = target.pidText;
    std::string status = readFile(proc + "/status", ok);
    size_t at = status.find("\nNSpid:");
    if (at != std::string::npos) {
        std::string line = status.substr(at + 7, status.find('\n', at + 1) - at - 7);
        size_t last = line.find_last_of(" \t");
        std::string inner = last == std::string::npos ? line : line.substr(last + 1);
        if (parsePid(inner.c_str())) target.nsPid = inner;
    }
    target.tmp = proc + "/root/tmp";
    if (access(target.tmp.c_str(), X_OK) != 0) target.tmp = "/tmp";
    return {};
}

// The string of a counter in the VM's performance data (hsperfdata), as the
// VM's tools read it: a header, then entries of (length, name offset, vector
// length, type, flags, units, variability, data offset). Empty when absent.
std::string perfString(const std::string &data, std::string_view wanted) {
    auto int32At = [&](size_t at, int32_t &value) {
        if (at + 4 > data.size()) return false;
        memcpy(&value, data.data() + at, 4);  // the VM writes its own byte order, the one read here
        return true;
    };
    int32_t magic = 0, entryOffset = 0, entries = 0;
    if (!int32At(0, magic) || static_cast<uint32_t>(magic) != 0xc0c0feca || !int32At(24, entryOffset) ||
        !int32At(28, entries))
        return {};
    size_t at = static_cast<size_t>(entryOffset);
    for (int32_t i = 0; i < entries && entryOffset > 0; ++i) {
        int32_t length = 0, nameOffset = 0, vectorLength = 0, dataOffset = 0;
        if (!int32At(at, length) || length <= 0 || !int32At(at + 4, nameOffset) || !int32At(at + 8, vectorLength) ||
            !int32At(at + 16, dataOffset) || at + static_cast<size_t>(length) > data.size())
            return {};
        size_t name = at + static_cast<size_t>(nameOffset);
        size_t value = at + static_cast<size_t>(dataOffset);
        if (nameOffset > 0 && name < data.size() && data.compare(name, wanted.size() + 1, std::string(wanted) + '\0') == 0 &&
            vectorLength > 0 && dataOffset > 0 && value + static_cast<size_t>(vectorLength) <= data.size()) {
            std::string text = data.substr(value, static_cast<size_t>(vectorLength));
            return text.substr(0, text.find('\0'));
        }
        at += static_cast<size_t>(length);
    }
    return {};
}

// A VM started with -XX:+DisableAttachMechanism says so in its performance
// data ("sun.rt.jvmCapabilities" begins with 0); without that data, its
// command line and environment are searched for the option.
Problem checkAttachable(const Target &target) {
    const passwd *user = getpwuid(target.uid);
    bool ok = false;
    if (user != nullptr) {
        std::string data = readFile(target.tmp + "/hsperfdata_" + user->pw_name + "/" + target.nsPid, ok);
        std::string capabilities = ok ? perfString(data, "sun.rt.jvmCapabilities") : "";
        if (!capabilities.empty()) {
            if (capabilities[0] == '1') return {};
            return "VM " + target.pidText + " does not accept attaching (it was started with " + std::string(kNoAttach) + ")";
        }
    }
    std::string proc = "/proc/" + target.pidText;
    for (const char *file : {"/cmdline", "/environ"}) {
        std::string text = readFile(proc + file, ok);
        if (ok && text.find(kNoAttach) != std::string::npos)
            return "VM " + target.pidText + " does not accept attaching (it was started with " + std::string(kNoAttach) + ")";
    }
    return {};
}

bool isSocket(const std::string &path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISSOCK(info.st_mode);
}

// The VM's attach socket, opened on request: a trigger file in its working
// directory (else its /tmp) and SIGQUIT.
Problem openAttachSocket(const Target &target, std::string &socketPath) {
    socketPath = target.tmp + "/.java_pid" + target.nsPid;
    if (isSocket(socketPath)) return {};
    std::string trigger = "/proc/" + target.pidText + "/cwd/.attach_pid" + target.nsPid;
    int fd = open(trigger.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0660);
    if (fd < 0) {
        trigger = target.tmp + "/.attach_pid" + target.nsPid;
        fd = open(trigger.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0660);
    }
    if (fd < 0) return "cannot create the attach trigger " + trigger + ": " + strerror(errno);
    close(fd);
    Problem problem;
    if (kill(target.pid, SIGQUIT) != 0) {
        problem = "cannot signal process " + target.pidText + ": " + strerror(errno);
    } else {
        for (int waited = 0; waited < kSocketWaitMillis && !isSocket(socketPath); waited += 20) usleep(20000);
        if (!isSocket(socketPath))
            problem = "VM " + target.pidText + " did not open its attach socket within " +
                      std::to_string(kSocketWaitMillis / 1000) + " s";
    }
    unlink(trigger.c_str());
    return problem;
}

// Sends "load PATH true OPTIONS" (protocol 1: NUL-terminated words) and
// reads the whole answer.
Problem load(const std::string &socketPath, const std::string &agent, const std::string &options, std::string &answer) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (socketPath.size() >= sizeof address.sun_path) return "the attach socket's path is too long: " + socketPath;
    memcpy(address.sun_path, socketPath.c_str(), socketPath.size() + 1);
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0 || connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
        Problem problem = "cannot connect to " + socketPath + ": " + strerror(errno);
        if (fd >= 0) close(fd);
        return problem;
    }
    std::string request = std::string("1") + '\0' + "load" + '\0' + agent + '\0' + "true" + '\0' + options + '\0';
    bool sent = true;
    for (size_t done = 0; sent && done < request.size();) {
        ssize_t n = send(fd, request.data() + done, request.size() - done, MSG_NOSIGNAL);
        sent = n > 0;
        if (sent) done += static_cast<size_t>(n);
    }
    char buffer[4096];
    ssize_t n = 0;
    while (sent && (n = recv(fd, buffer, sizeof buffer, 0)) > 0 && answer.size() < 65536)
        answer.append(buffer, static_cast<size_t>(n));
    close(fd);
    if (!sent || n < 0) return "the attach request failed: " + std::string(strerror(errno));
    return {};
}

std::string executableDirectory() {
    char path[PATH_MAX];
    ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0) return ".";
    std::string self(path, static_cast<size_t>(length));
    return self.substr(0, self.find_last_of('/'));
}

// The agent library: --agent, else $ZENVA_HOME/lib, else the build tree's
// installation beside this tool, else an installation's lib/ above it.
std::string findAgent(const std::string &given) {
    std::string candidates[3];
    if (!given.empty()) {
        candidates[0] = given;
    } else {
        if (const char *home = getenv("ZENVA_HOME"); home != nullptr && *home != '\0')
            candidates[0] = std::string(home) + "/lib/libr2orar.so";
        std::string here = executableDirectory();
        candidates[1] = here + "/../zenva/lib/libr2orar.so";
        candidates[2] = here + "/../lib/libr2orar.so";
    }
    for (const std::string &candidate : candidates) {
        char resolved[PATH_MAX];
        if (!candidate.empty() && realpath(candidate.c_str(), resolved) != nullptr && access(resolved, R_OK) == 0)
            return resolved;
    }
    return {};
}

int fail(const std::string &message) {
    fprintf(stderr, "zvtool attach: %s\n", message.c_str());
    return 1;
}

}  // namespace

int AttachCommand(int argc, char **argv) {
    std::string agentOption, options;
    const char *pid = nullptr;
    int words = 0;
    for (int i = 0; i < argc; ++i) {
        if (strcmp(argv[i], "--agent") == 0 && i + 1 < argc) {
            agentOption = argv[++i];
        } else if (words++ == 0) {
            pid = argv[i];
        } else if (words == 2) {
            options = argv[i];
        } else {
            return kUsageError;
        }
    }
    if (pid == nullptr) return kUsageError;
    std::string agent = findAgent(agentOption);
    if (agent.empty())
        return fail(agentOption.empty() ? "cannot find libr2orar.so (set ZENVA_HOME or give --agent PATH)"
                                        : "cannot read the agent library " + agentOption);
    Target target;
    std::string socketPath, answer;
    if (Problem problem = findTarget(pid, target); !problem.empty()) return fail(problem);
    if (Problem problem = checkAttachable(target); !problem.empty()) return fail(problem);
    if (Problem problem = openAttachSocket(target, socketPath); !problem.empty()) return fail(problem);
    if (Problem problem = load(socketPath, agent, options, answer); !problem.empty()) return fail(problem);
    // The answer: the request's status on the first line (0: it ran), then
    // the load's report, "return code: N" with what Agent_OnAttach returned.
    size_t end = answer.find('\n');
    std::string status = answer.substr(0, end), rest = end == std::string::npos ? "" : answer.substr(end + 1);
    while (!rest.empty() && (rest.back() == '\n' || rest.back() == '\r')) rest.pop_back();
    if (status != "0") return fail("VM " + target.pidText + " refused to load the agent: " + (rest.empty() ? status : rest));
    constexpr std::string_view kCode = "return code: ";
    size_t code = rest.find(kCode);
    int result = code == std::string::npos ? 0 : atoi(rest.c_str() + code + kCode.size());
    if (code == std::string::npos && !rest.empty()) return fail("VM " + target.pidText + " answered: " + rest);
    if (result == kAlreadyLoaded) return fail("the agent is loaded in VM " + target.pidText + " already; nothing changed");
    if (result != 0)
        return fail("the agent's start in VM " + target.pidText + " failed (return code " + std::to_string(result) +
                    "; the VM's standard error says why)");
    printf("zvtool attach: the agent is loaded into VM %s (%s)\n", target.pidText.c_str(), agent.c_str());
    return 0;
}
