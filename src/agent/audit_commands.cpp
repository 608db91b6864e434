// Requests on the audit port: extensions register commands by name, and a
// listener thread of the agent answers each request line with "OK <length>\n"
// and the command's bytes, or "ERROR <text>\n". The Java side opens the port
// through the native below; the listener is native, so that listening loads
// no network classes into the program's VM.
#include <jni.h>

#include <unistd.h>

#include <cstring>
#include <mutex>
#include <string>

#include "agent/agent_internal.h"
#include "agent/core.h"
#include "contract/java_contract.h"
#include "platform/local_ref.h"
#include "platform/request_listener.h"
#include "zvi.h"

namespace {

namespace jc = java_contract;
constexpr size_t kMaxCommands = 16;
constexpr size_t kMaxRequest = 256;
constexpr int kReadTimeoutMillis = 5000;

ZVAuditPort &port() { return ZVCore().auditPort; }

bool lookUp(const std::string &name, ZVAuditCommandEntry &out, std::string &usages) {
    std::lock_guard<std::mutex> lock(port().mutex);
    for (const ZVAuditCommandEntry &command : port().commands) {
        if (command.name == name) {
            out = command;
            return true;
        }
        usages += (usages.empty() ? "'" : " or '") + command.usage + "'";
    }
    return false;
}

std::string trimmed(const std::string &text) {
    size_t first = text.find_first_not_of(" \t\r"), last = text.find_last_not_of(" \t\r");
    return first == std::string::npos ? "" : text.substr(first, last - first + 1);
}

// The whole reply to one request line.
std::string reply(JNIEnv *env, const std::string &line) {
    std::string request = trimmed(line);
    size_t space = request.find(' ');
    std::string name = request.substr(0, space);
    std::string argument = space == std::string::npos ? "" : trimmed(request.substr(space));
    ZVAuditCommandEntry command;
    std::string usages;
    if (name.empty() || !lookUp(name, command, usages))
        return usages.empty() ? "ERROR unknown request; no extension takes requests\n"
                              : "ERROR unknown request; expected " + usages + "\n";
    char *answer = nullptr;
    int32_t length = 0;
    bool ok = command.answer(env, argument.c_str(), &answer, &length) != 0;
    std::string text;
    if (ok && answer != nullptr && length > 0) text = "OK " + std::to_string(length) + "\n" + std::string(answer, length);
    else if (ok) text = "OK 0\n";
    else text = "ERROR " + std::string(answer != nullptr ? answer : "the request failed") + "\n";
    sFree(answer);
    return text;
}

// The listener thread: one connection at a time, one request line each.
void serveRequests(void *threadEnv) {
    auto *env = static_cast<JNIEnv *>(threadEnv);
    RequestListener listener;
    {
        std::lock_guard<std::mutex> lock(port().mutex);
        listener = port().listener;
    }
    for (int client; (client = AcceptRequestClient(listener)) >= 0;) {
        std::string line;
        RequestRead read = ReadRequestLine(client, kMaxRequest, kReadTimeoutMillis, line);
        if (read == RequestRead::Line) {
            // The thread never returns to Java: each request's local
            // references are freed with a frame of their own.
            bool framed = env->PushLocalFrame(16) == JNI_OK;
            if (!framed) env->ExceptionClear();
            SendReply(client, reply(env, line));
            if (env->ExceptionCheck()) env->ExceptionClear();  // a command's, not the listener's
            if (framed) env->PopLocalFrame(nullptr);
        } else if (read == RequestRead::Missing) {
            SendReply(client, "ERROR request line missing or longer than " + std::to_string(kMaxRequest) + " bytes\n");
        }
        close(client);
    }
}

// AuditPort.listen: binds the first free port from first to last and starts
// the listener; the port, or -1 when none was free or the port listens already.
jint JNICALL openPort(JNIEnv *, jclass, jint first, jint last, jboolean allAddresses) {
    {
        std::lock_guard<std::mutex> lock(port().mutex);
        if (port().listener.fd >= 0 || !ListenOnFirstFreePort(first, last, allAddresses != JNI_FALSE, port().listener))
            return -1;
    }
    if (zviCreateSystemThread("audit port", serveRequests) == JNI_OK) return port().listener.port;
    std::lock_guard<std::mutex> lock(port().mutex);
    close(port().listener.fd);
    port().listener = {};
    return -1;
}

}  // namespace

int zviRegisterAuditCommand(const char *name, const char *usage, ZVAuditCommand answer) {
    if (name == nullptr || *name == '\0' || strpbrk(name, " \t\r\n") != nullptr || answer == nullptr) return 0;
    std::lock_guard<std::mutex> lock(port().mutex);
    if (port().commands.size() == kMaxCommands) return 0;
    for (const ZVAuditCommandEntry &command : port().commands)
        if (command.name == name) return 0;
    port().commands.push_back({name, usage != nullptr ? usage : name, answer});
    return 1;
}

void ZVCloseAuditPort() {
    std::lock_guard<std::mutex> lock(port().mutex);
    StopListening(port().listener);
}

void ZVBindAuditPort(JNIEnv *env) {
    LocalRef portClass(env, env->FindClass(jc::kAuditPortListen.owner));
    if (!portClass) {
        env->ExceptionClear();
        return;
    }
    const JNINativeMethod natives[] = {
        {const_cast<char *>(jc::kAuditPortListen.name), const_cast<char *>(jc::kAuditPortListen.descriptor),
         reinterpret_cast<void *>(openPort)}};
    if (env->RegisterNatives(portClass, natives, 1) != 0) env->ExceptionClear();
}
