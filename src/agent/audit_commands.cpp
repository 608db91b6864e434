// Requests on the audit port: extensions register commands by name, and the
// port's Java listener hands each request line to the native below, which
// answers "OK <length>\n" with the command's bytes or "ERROR <text>\n".
#include <jni.h>

#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "agent/agent_internal.h"
#include "contract/java_contract.h"
#include "platform/local_ref.h"
#include "zvi.h"

namespace {

namespace jc = java_contract;
constexpr size_t kMaxCommands = 16;

struct Command {
    std::string name, usage;
    ZVAuditCommand answer;
};

std::mutex gMutex;
std::vector<Command> gCommands;

bool lookUp(const std::string &name, Command &out, std::string &usages) {
    std::lock_guard<std::mutex> lock(gMutex);
    for (const Command &command : gCommands) {
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
    Command command;
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

jbyteArray JNICALL request(JNIEnv *env, jclass, jstring line) {
    std::string text = "ERROR empty request\n";
    if (line != nullptr) {
        const char *chars = env->GetStringUTFChars(line, nullptr);
        if (chars == nullptr) return nullptr;
        std::string copy = chars;
        env->ReleaseStringUTFChars(line, chars);
        text = reply(env, copy);
    }
    jbyteArray bytes = env->NewByteArray(static_cast<jsize>(text.size()));
    if (bytes != nullptr)
        env->SetByteArrayRegion(bytes, 0, static_cast<jsize>(text.size()), reinterpret_cast<const jbyte *>(text.data()));
    return bytes;
}

}  // namespace

int zviRegisterAuditCommand(const char *name, const char *usage, ZVAuditCommand answer) {
    if (name == nullptr || *name == '\0' || strpbrk(name, " \t\r\n") != nullptr || answer == nullptr) return 0;
    std::lock_guard<std::mutex> lock(gMutex);
    if (gCommands.size() == kMaxCommands) return 0;
    for (const Command &command : gCommands)
        if (command.name == name) return 0;
    gCommands.push_back({name, usage != nullptr ? usage : name, answer});
    return 1;
}

void ZVBindAuditPort(JNIEnv *env) {
    LocalRef port(env, env->FindClass(jc::kAuditPortRequest.owner));
    if (!port) {
        env->ExceptionClear();
        return;
    }
    const JNINativeMethod natives[] = {
        {const_cast<char *>(jc::kAuditPortRequest.name), const_cast<char *>(jc::kAuditPortRequest.descriptor),
         reinterpret_cast<void *>(request)}};
    if (env->RegisterNatives(port, natives, 1) != 0) env->ExceptionClear();
}
