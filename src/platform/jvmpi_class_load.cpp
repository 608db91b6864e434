// The class-load event from JVMTI's description of a prepared class: dotted
// name, source file, methods with their IDs and first and last source lines,
// static and instance fields, the interface count and the class ID.
#include <string>
#include <vector>

#include "platform/jni_guards.h"
#include "platform/jvmpi_internal.h"

namespace {

constexpr jint kStaticModifier = 0x0008;

// "Ljava/lang/String;" -> "java.lang.String"; array signatures stay as they are.
std::string dottedName(const char *signature) {
    std::string name(signature);
    if (name.size() >= 2 && name.front() == 'L' && name.back() == ';') {
        name = name.substr(1, name.size() - 2);
        for (char &c : name) {
            if (c == '/') c = '.';
        }
    }
    return name;
}

// The smallest and largest line of the method's line table; -1 for both
// when the method has none (abstract, native, compiled without lines).
void lineRange(jvmtiEnv *jvmti, jmethodID method, jint *first, jint *last) {
    *first = *last = -1;
    jint count = 0;
    JvmtiMemory<jvmtiLineNumberEntry> table(jvmti);
    if (jvmti->GetLineNumberTable(method, &count, table.out()) != JVMTI_ERROR_NONE) return;
    for (jint i = 0; i < count; ++i) {
        jint line = table[i].line_number;
        if (*first < 0 || line < *first) *first = line;
        if (line > *last) *last = line;
    }
}

}  // namespace

bool JvmpiDeliverClassLoad(JNIEnv *env, jclass klass, jint eventType) {
    jvmtiEnv *jvmti = Jvmpi().jvmti;
    JvmtiAllocations strings(jvmti);
    char *signature = nullptr;
    if (jvmti->GetClassSignature(klass, &signature, nullptr) != JVMTI_ERROR_NONE) return false;
    strings.keep(signature);
    std::string name = dottedName(signature);

    char *source = nullptr;
    if (jvmti->GetSourceFileName(klass, &source) != JVMTI_ERROR_NONE) source = nullptr;
    strings.keep(source);

    std::vector<JVMPI_Method> methods;
    jint methodCount = 0;
    jmethodID *methodIDs = nullptr;
    if (jvmti->GetClassMethods(klass, &methodCount, &methodIDs) == JVMTI_ERROR_NONE) {
        strings.keep(methodIDs);
        methods.reserve(static_cast<size_t>(methodCount));
        for (jint i = 0; i < methodCount; ++i) {
            JVMPI_Method method{};
            if (jvmti->GetMethodName(methodIDs[i], &method.method_name, &method.method_signature,
                                     nullptr) != JVMTI_ERROR_NONE) {
                continue;
            }
            strings.keep(method.method_name);
            strings.keep(method.method_signature);
            lineRange(jvmti, methodIDs[i], &method.start_lineno, &method.end_lineno);
            method.method_id = methodIDs[i];
            methods.push_back(method);
        }
    }

    std::vector<JVMPI_Field> statics;
    std::vector<JVMPI_Field> instances;
    jint fieldCount = 0;
    jfieldID *fieldIDs = nullptr;
    if (jvmti->GetClassFields(klass, &fieldCount, &fieldIDs) == JVMTI_ERROR_NONE) {
        strings.keep(fieldIDs);
        statics.reserve(static_cast<size_t>(fieldCount));
        instances.reserve(static_cast<size_t>(fieldCount));
        for (jint i = 0; i < fieldCount; ++i) {
            JVMPI_Field field{};
            jint modifiers = 0;
            if (jvmti->GetFieldName(klass, fieldIDs[i], &field.field_name, &field.field_signature,
                                    nullptr) != JVMTI_ERROR_NONE ||
                jvmti->GetFieldModifiers(klass, fieldIDs[i], &modifiers) != JVMTI_ERROR_NONE) {
                continue;
            }
            strings.keep(field.field_name);
            strings.keep(field.field_signature);
            ((modifiers & kStaticModifier) != 0 ? statics : instances).push_back(field);
        }
    }

    JvmtiRefArray<jclass> interfaces(jvmti, env);
    jint interfaceCount =
        jvmti->GetImplementedInterfaces(klass, interfaces.count(), interfaces.out()) == JVMTI_ERROR_NONE
            ? interfaces.size()
            : 0;

    JVMPI_Event event{};
    event.event_type = eventType;
    event.env_id = env;
    auto &load = event.u.class_load;
    load.class_name = name.c_str();
    load.source_name = source;
    load.num_interfaces = interfaceCount;
    load.num_methods = static_cast<jint>(methods.size());
    load.methods = methods.empty() ? nullptr : methods.data();
    load.num_static_fields = static_cast<jint>(statics.size());
    load.statics = statics.empty() ? nullptr : statics.data();
    load.num_instance_fields = static_cast<jint>(instances.size());
    load.instances = instances.empty() ? nullptr : instances.data();
    load.class_id = JvmpiClassID(klass);
    JvmpiDeliver(&event);
    JvmpiMarkClassAnnounced(load.class_id);
    return true;
}
