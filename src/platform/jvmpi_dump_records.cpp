// The dump record of one object, read through JNI (field and element values)
// and JVMTI (IDs, signatures, fields, interfaces, class loaders).
#include <cstring>

#include "platform/jni_guards.h"
#include "platform/jvmpi_dumps.h"
#include "platform/jvmpi_internal.h"

namespace {

constexpr jint kStaticModifier = 0x0008;

uint32_t idOf(jobject object) {
    return object != nullptr ? static_cast<uint32_t>(JvmpiTagFromID(JvmpiObjectID(object))) : 0;
}

bool isReference(char type) { return type == 'L' || type == '['; }

uint32_t widthOf(char type) {
    switch (type) {
        case 'Z':
        case 'B': return 1;
        case 'C':
        case 'S': return 2;
        case 'J':
        case 'D': return 8;
        default: return 4;  // int, float and object IDs
    }
}

// Primitive bits as the big-endian number of their width.
void writeBits(DumpWriter &out, const void *value, char type) {
    switch (widthOf(type)) {
        case 1: out.u1(*static_cast<const uint8_t *>(value)); break;
        case 2: out.u2(*static_cast<const uint16_t *>(value)); break;
        case 8: {
            uint64_t bits;
            memcpy(&bits, value, sizeof bits);
            out.u8(bits);
            break;
        }
        default: {
            uint32_t bits;
            memcpy(&bits, value, sizeof bits);
            out.u4(bits);
            break;
        }
    }
}

}  // namespace

jint JvmpiTypeCode(char signature) {
    switch (signature) {
        case 'L':
        case '[': return 2;
        case 'Z': return 4;
        case 'C': return 5;
        case 'F': return 6;
        case 'D': return 7;
        case 'B': return 8;
        case 'S': return 9;
        case 'I': return 10;
        case 'J': return 11;
        default: return 0;
    }
}

DumpRecords::~DumpRecords() {
    for (auto &entry : classes_) {
        if (entry.second.super != nullptr) env_->DeleteGlobalRef(entry.second.super);
        if (entry.second.element != nullptr) env_->DeleteGlobalRef(entry.second.element);
    }
}

DumpRecords::ClassInfo *DumpRecords::infoFor(jclass klass) {
    jlong tag = JvmpiTagFromID(JvmpiClassID(klass));
    if (klass == nullptr || tag == 0) return nullptr;
    auto found = classes_.find(tag);
    if (found != classes_.end()) return &found->second;
    jvmtiEnv *jvmti = Jvmpi().jvmti;
    ClassInfo info;
    JvmtiMemory<char> signature(jvmti);
    if (jvmti->GetClassSignature(klass, signature.out(), nullptr) != JVMTI_ERROR_NONE) return nullptr;
    info.signature = signature.get();
    if (LocalRef super{env_, env_->GetSuperclass(klass)}) info.super = static_cast<jclass>(env_->NewGlobalRef(super));
    jint count = 0;
    JvmtiMemory<jfieldID> fields(jvmti);
    // Unprepared classes have no fields yet; primitive classes none at all.
    if (jvmti->GetClassFields(klass, &count, fields.out()) == JVMTI_ERROR_NONE) {
        for (jint i = 0; i < count; ++i) {
            JvmtiMemory<char> fieldSignature(jvmti);
            jint modifiers = 0;
            if (jvmti->GetFieldName(klass, fields[i], nullptr, fieldSignature.out(), nullptr) != JVMTI_ERROR_NONE)
                continue;
            jvmti->GetFieldModifiers(klass, fields[i], &modifiers);
            Field field{fields[i], fieldSignature[0]};
            ((modifiers & kStaticModifier) != 0 ? info.staticFields : info.instanceFields).push_back(field);
        }
    }
    if (info.signature.size() > 1 && info.signature[0] == '[' && isReference(info.signature[1])) {
        LocalRef classClass(env_, env_->GetObjectClass(klass));
        jmethodID componentType = env_->GetMethodID(classClass, "getComponentType", "()Ljava/lang/Class;");
        LocalRef element(env_, componentType != nullptr ? env_->CallObjectMethod(klass, componentType) : nullptr);
        if (env_->ExceptionCheck()) env_->ExceptionClear();
        if (element) info.element = static_cast<jclass>(env_->NewGlobalRef(element));
    }
    return &classes_.emplace(tag, std::move(info)).first->second;
}

void DumpRecords::writeValue(DumpWriter &out, jobject holder, const Field &field, bool isStatic) {
    auto klass = static_cast<jclass>(holder);
    if (isReference(field.type)) {
        LocalRef value(env_, isStatic ? env_->GetStaticObjectField(klass, field.id) : env_->GetObjectField(holder, field.id));
        out.id(idOf(value));
        return;
    }
    jvalue value{};
    switch (field.type) {
        case 'Z': value.z = isStatic ? env_->GetStaticBooleanField(klass, field.id) : env_->GetBooleanField(holder, field.id); break;
        case 'B': value.b = isStatic ? env_->GetStaticByteField(klass, field.id) : env_->GetByteField(holder, field.id); break;
        case 'C': value.c = isStatic ? env_->GetStaticCharField(klass, field.id) : env_->GetCharField(holder, field.id); break;
        case 'S': value.s = isStatic ? env_->GetStaticShortField(klass, field.id) : env_->GetShortField(holder, field.id); break;
        case 'I': value.i = isStatic ? env_->GetStaticIntField(klass, field.id) : env_->GetIntField(holder, field.id); break;
        case 'F': value.f = isStatic ? env_->GetStaticFloatField(klass, field.id) : env_->GetFloatField(holder, field.id); break;
        case 'J': value.j = isStatic ? env_->GetStaticLongField(klass, field.id) : env_->GetLongField(holder, field.id); break;
        case 'D': value.d = isStatic ? env_->GetStaticDoubleField(klass, field.id) : env_->GetDoubleField(holder, field.id); break;
        default: break;
    }
    writeBits(out, &value, field.type);
}

// The object's class first, then its superclasses up to Object.
void DumpRecords::writeInstanceValues(DumpWriter &out, jobject object, ClassInfo *info) {
    for (; info != nullptr; info = info->super != nullptr ? infoFor(info->super) : nullptr) {
        for (const Field &field : info->instanceFields) {
            if (wanted(field.type)) writeValue(out, object, field, false);
        }
    }
}

uint32_t DumpRecords::instanceSize(ClassInfo *info) {
    uint32_t size = 0;
    for (; info != nullptr; info = info->super != nullptr ? infoFor(info->super) : nullptr) {
        for (const Field &field : info->instanceFields) {
            if (wanted(field.type)) size += widthOf(field.type);
        }
    }
    return size;
}

void DumpRecords::writeClass(DumpWriter &out, jclass klass, ClassInfo *info) {
    jvmtiEnv *jvmti = Jvmpi().jvmti;
    jobject loaderRef = nullptr;
    if (jvmti->GetClassLoader(klass, &loaderRef) != JVMTI_ERROR_NONE) loaderRef = nullptr;
    LocalRef loader(env_, loaderRef);
    out.u1(JVMPI_GC_CLASS_DUMP);
    out.id(static_cast<uint32_t>(JvmpiTagFromID(JvmpiClassID(klass))));
    out.id(info->super != nullptr ? static_cast<uint32_t>(JvmpiTagFromID(JvmpiClassID(info->super))) : 0);
    out.id(idOf(loader));
    out.id(0);  // signers: not read
    out.id(0);  // protection domain: not read
    out.id(0);  // class name string: not read
    out.id(0);  // reserved
    out.u4(instanceSize(info));
    JvmtiRefArray<jclass> interfaces(jvmti, env_);
    if (jvmti->GetImplementedInterfaces(klass, interfaces.count(), interfaces.out()) == JVMTI_ERROR_NONE) {
        for (jint i = 0; i < interfaces.size(); ++i)
            out.id(static_cast<uint32_t>(JvmpiTagFromID(JvmpiClassID(interfaces[i]))));
    }
    out.u2(0);  // constant pool entries: none reported
    for (const Field &field : info->staticFields) {
        if (wanted(field.type)) writeValue(out, klass, field, true);
    }
}

void DumpRecords::writeObjectArray(DumpWriter &out, jobjectArray array, ClassInfo *info) {
    jsize length = env_->GetArrayLength(array);
    out.u1(JVMPI_GC_OBJ_ARRAY_DUMP);
    out.id(idOf(array));
    out.u4(static_cast<uint32_t>(length));
    out.id(info->element != nullptr ? static_cast<uint32_t>(JvmpiTagFromID(JvmpiClassID(info->element))) : 0);
    for (jsize i = 0; i < length; ++i) {
        LocalRef element(env_, env_->GetObjectArrayElement(array, i));
        out.id(idOf(element));
    }
}

void DumpRecords::writePrimitiveArray(DumpWriter &out, jarray array, char type) {
    jsize length = env_->GetArrayLength(array);
    out.u1(JVMPI_GC_PRIM_ARRAY_DUMP);
    out.id(idOf(array));
    out.u4(static_cast<uint32_t>(length));
    out.u1(static_cast<uint32_t>(JvmpiTypeCode(type)));
    if (level_ < JVMPI_DUMP_LEVEL_2 || length == 0) return;
    uint32_t width = widthOf(type);
    std::vector<char> copy(static_cast<size_t>(length) * width);
    void *elements = env_->GetPrimitiveArrayCritical(array, nullptr);
    if (elements == nullptr) return;
    memcpy(copy.data(), elements, copy.size());
    env_->ReleasePrimitiveArrayCritical(array, elements, JNI_ABORT);
    for (size_t offset = 0; offset < copy.size(); offset += width) writeBits(out, copy.data() + offset, type);
}

bool DumpRecords::write(DumpWriter &out, jobject object) {
    if (object == nullptr) return false;
    LocalRef klass(env_, env_->GetObjectClass(object));
    ClassInfo *info = infoFor(klass);
    bool written = info != nullptr;
    if (written) {
        const std::string &signature = info->signature;
        bool isClass = signature == "Ljava/lang/Class;";
        bool isArray = signature.size() > 1 && signature[0] == '[';
        if (level_ == JVMPI_DUMP_LEVEL_0) {
            out.u1(static_cast<uint32_t>(isArray ? JvmpiTypeCode(signature[1]) : 0));
            out.id(idOf(object));
        } else if (isClass) {
            // Readers parse a class record with what its class-load event
            // told them, so only classes whose event was delivered get one
            // (a class being prepared on another thread may not have had it yet).
            auto asClass = static_cast<jclass>(object);
            ClassInfo *own = JvmpiClassAnnounced(asClass) ? infoFor(asClass) : nullptr;
            written = own != nullptr;
            if (written) writeClass(out, asClass, own);
        } else if (isArray && isReference(signature[1])) {
            writeObjectArray(out, static_cast<jobjectArray>(object), info);
        } else if (isArray) {
            writePrimitiveArray(out, static_cast<jarray>(object), signature[1]);
        } else {
            out.u1(JVMPI_GC_INSTANCE_DUMP);
            out.id(idOf(object));
            out.id(static_cast<uint32_t>(JvmpiTagFromID(JvmpiClassID(klass))));
            size_t sizeAt = out.size();
            out.u4(0);
            writeInstanceValues(out, object, info);
            out.patchU4(sizeAt, static_cast<uint32_t>(out.size() - sizeAt - 4));
        }
    }
    return written;
}
