// The direct-instrumentation decision over tables and VM properties that a
// fake JNI environment answers. (The refusal to patch compiled code, and the
// shipped table found beside the agent when the Java side names none, are
// checked end to end.)
#include <gtest/gtest.h>
#include <jni.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <tuple>

#include "capture.h"
#include "pri/runtime/direct.h"
#include "pri/runtime/runtime.h"

namespace {

namespace fs = std::filesystem;

// Audit.getDirectInstrumentationTablePath and System.getProperty, no more.
class FakeVM {
public:
    FakeVM() {
        functions_.FindClass = [](JNIEnv *env, const char *name) -> jclass {
            FakeVM *vm = self(env);
            if (std::string(name) == "meridyn/audit/Audit") return vm->hasAudit ? tag<jclass>(1) : nullptr;
            return std::string(name) == "java/lang/System" ? tag<jclass>(2) : nullptr;
        };
        functions_.GetStaticMethodID = [](JNIEnv *, jclass type, const char *, const char *) {
            return tag<jmethodID>(type == tag<jclass>(1) ? 1 : 2);
        };
        functions_.CallStaticObjectMethodV = [](JNIEnv *env, jclass, jmethodID method, va_list args) -> jobject {
            FakeVM *vm = self(env);
            if (method == tag<jmethodID>(1)) return vm->tablePath.empty() ? nullptr : vm->string(vm->tablePath);
            std::string key = *reinterpret_cast<std::string *>(va_arg(args, jobject));
            if (key == vm->throwingProperty) {
                vm->pending = true;
                return nullptr;
            }
            auto found = vm->properties.find(key);
            return found == vm->properties.end() ? nullptr : vm->string(found->second);
        };
        functions_.NewStringUTF = [](JNIEnv *env, const char *text) -> jstring { return self(env)->string(text); };
        functions_.GetStringUTFChars = [](JNIEnv *, jstring s, jboolean *) {
            return reinterpret_cast<std::string *>(s)->c_str();
        };
        functions_.ReleaseStringUTFChars = [](JNIEnv *, jstring, const char *) {};
        functions_.DeleteLocalRef = [](JNIEnv *, jobject) {};
        functions_.ExceptionCheck = [](JNIEnv *env) -> jboolean { return self(env)->pending; };
        functions_.ExceptionDescribe = [](JNIEnv *env) { self(env)->described++; };
        functions_.ExceptionClear = [](JNIEnv *env) { self(env)->pending = false; };
        functions_.reserved0 = this;
        env_.functions = &functions_;
    }
    JNIEnv *env() { return &env_; }

    bool hasAudit = true;
    std::string tablePath;
    std::map<std::string, std::string> properties{
        {"java.vendor", "Sun Microsystems Inc."}, {"java.version", "1.4.2_05"}, {"java.vm.name", "Java HotSpot(TM) Client VM"}};
    std::string throwingProperty;
    bool pending = false;
    int described = 0;

private:
    template <typename T>
    static T tag(uintptr_t n) { return reinterpret_cast<T>(n * 16); }
    static FakeVM *self(JNIEnv *env) { return static_cast<FakeVM *>(env->functions->reserved0); }
    jstring string(const std::string &text) { return reinterpret_cast<jstring>(&strings_.emplace_back(text)); }
    std::deque<std::string> strings_;
    JNINativeInterface_ functions_{};
    JNIEnv env_{};
};

class DirectTable : public testing::Test {
protected:
    void SetUp() override { delete PRIInstallDirectState(new PRIDirectState()); }
    void TearDown() override {
        delete PRIInstallDirectState(new PRIDirectState());
        fs::remove(path_);
    }
    // Evaluates the table text for vm; what was written to standard error.
    std::string evaluate(const std::string &table, FakeVM &vm) {
        delete PRIInstallDirectState(new PRIDirectState());
        std::ofstream(path_) << table;
        vm.tablePath = path_.string();
        return StderrOf([&] { PRIDirectIEvaluateTable(vm.env()); });
    }
    fs::path path_ = fs::temp_directory_path() / ("zvdirecti" + std::to_string(getpid()) + ".table");
};

}  // namespace

// A property that throws reads as "Unknown"; the exception is described and
// cleared. (Matching the running VM by a prefix in other letter case is
// checked end to end.)
TEST_F(DirectTable, APropertyThatThrowsReadsAsUnknown) {
    FakeVM vm;
    vm.throwingProperty = "java.version";
    evaluate("{ enabledFor = ( { version = \"unknown\"; } ); }", vm);
    EXPECT_EQ(PRIDirectIEnabled(), 1);
    EXPECT_EQ(vm.described, 1);
    EXPECT_FALSE(vm.pending);
}

TEST_F(DirectTable, MissingOrBadTableIsReportedOnceAndModeTwoEnablesRegardless) {
    FakeVM vm;
    vm.hasAudit = false;
    EXPECT_EQ(StderrOf([&] {
                  PRIDirectIEvaluateTable(vm.env());
                  PRIDirectIEvaluateTable(vm.env());
              }),
              "Cannot find class meridyn/audit/Audit?\nCannot find directi.table\n");
    EXPECT_EQ(PRIDirectIEnabled(), 0);
    EXPECT_EQ(StderrOf(PRIDirectIEnable), "Direct Instrumentation Enabled\n");
    EXPECT_EQ(PRIDirectIEnabledForThreads(vm.env()), 0);
    EXPECT_EQ(PRIDirectIEnabled(), 1);

    delete PRIInstallDirectState(new PRIDirectState());
    FakeVM unreadable;
    unreadable.tablePath = (fs::temp_directory_path() / "zv-no-such-dir" / "directi.table").string();
    EXPECT_EQ(StderrOf([&] { PRIDirectIEvaluateTable(unreadable.env()); }), "Cannot read directi.table\n");

}

// Bad tables: the exact messages (%s is the file) and the decision for a VM
// that only the table's sound entries describe. An unusable file enables
// nothing; a bad key, list or entry is passed over and the rest decides.
TEST_F(DirectTable, BadInputTable) {
    const std::string kWarn = "Zentrova Warning: %s: ", kSun = "{ vendor = \"Sun\"; }";
    const std::string kNoVM = " is not a map of vmname, vendor or version texts; it matches no VM\n";
    const std::tuple<std::string, std::string, int> rows[] = {
        {"( " + kSun + " )", "Zentrova Warning: %s holds no table (a map of VM lists) at line 1; it enables nothing\n", 0},
        {"{ enabledFor = ( " + kSun + " );\n disabledFor = (",
         "Zentrova Warning: %s could not be read (Syntaxic error: unterminated expression at line 2); it enables nothing\n", 0},
        {"", "Zentrova Warning: %s could not be read (no element before the end at line 1); it enables nothing\n", 0},
        {"{ enabledfor = ( " + kSun + " ); }", kWarn + "unknown key enabledfor; it is ignored\n", 0},
        {"{ disabledFor = " + kSun + "; enabledFor = ( " + kSun + " ); }",
         kWarn + "disabledFor is not a list of VM descriptions; it is ignored\n", 1},
        {"{ enabledFor = ( x, {}, { vendor = (Sun); }, { other = \"Java\"; }, " + kSun + " ); }",
         kWarn + "entry 1 of enabledFor" + kNoVM + kWarn + "entry 2 of enabledFor" + kNoVM + kWarn +
             "entry 3 of enabledFor" + kNoVM + kWarn + "entry 4 of enabledFor" + kNoVM, 1},
    };
    for (const auto &[table, message, enabled] : rows) {
        FakeVM vm;
        std::string err = message;
        for (size_t at; (at = err.find("%s")) != std::string::npos;) err.replace(at, 2, path_.string());
        if (enabled) err += "Direct Instrumentation Enabled\n";
        testing::internal::CaptureStdout();
        EXPECT_EQ(evaluate(table, vm), err) << table;
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "") << table;
        EXPECT_EQ(PRIDirectIEnabled(), enabled) << table;
    }
}
