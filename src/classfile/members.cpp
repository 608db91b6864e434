// The class's name, its fields, methods and attributes: lookups and additions.
#include "classfile/classfile_internal.h"

namespace {

JCRMember *FindMethod(const JCRClass *jclass, const char *name, const char *descriptor, bool isStatic) {
    for (int i = 0; i < jclass->methods_count; i++) {
        JCRMember *method = jclass->methods[i];
        if (((method->access_flags & JCR_ACC_STATIC) != 0) != isStatic) continue;
        const char *methodName = JCRUtf8At(jclass, method->name_index);
        const char *methodDescriptor = JCRUtf8At(jclass, method->descriptor_index);
        if (methodName != nullptr && methodDescriptor != nullptr && std::strcmp(methodName, name) == 0 &&
            std::strcmp(methodDescriptor, descriptor) == 0)
            return method;
    }
    return nullptr;
}

JCRAttribute *FindAttribute(const JCRClass *jclass, JCRAttribute *const *attributes, int count, const char *name) {
    for (int i = 0; i < count; i++) {
        const char *attributeName = JCRUtf8At(jclass, attributes[i]->name_index);
        if (attributeName != nullptr && std::strcmp(attributeName, name) == 0) return attributes[i];
    }
    return nullptr;
}

int FindOrAddUtf8(JCRClass *jclass, const char *text) {
    int index = JCRFindUtf8(jclass, text);
    return index > 0 ? index : JCRAddUtf8(jclass, text);
}

// A new member record with its name and descriptor entries, or null.
JCRMember *NewMember(JCRClass *jclass, int accessFlags, const char *name, const char *descriptor) {
    int nameIndex = FindOrAddUtf8(jclass, name);
    int descriptorIndex = FindOrAddUtf8(jclass, descriptor);
    if (nameIndex <= 0 || descriptorIndex <= 0) return nullptr;
    JCRMember *member = JCRArenaArray<JCRMember>(&jclass->arena, 1);
    if (member == nullptr) return nullptr;
    member->access_flags = static_cast<uint16_t>(accessFlags);
    member->name_index = static_cast<uint16_t>(nameIndex);
    member->descriptor_index = static_cast<uint16_t>(descriptorIndex);
    return member;
}

// Inserts member at position `at` of a member array of *count entries.
bool InsertMember(JCRClass *jclass, JCRMember ***members, uint16_t *count, JCRMember *member, int at) {
    if (*count == 0xFFFF) return false;
    JCRMember **array = JCRArenaArray<JCRMember *>(&jclass->arena, *count + 1);
    if (array == nullptr) return false;
    for (int i = 0, j = 0; i <= *count; i++) array[i] = i == at ? member : (*members)[j++];
    JCRRelease(&jclass->arena, *members);
    *members = array;
    (*count)++;
    return true;
}

}  // namespace

const char *JCRClassName(const JCRClass *jclass) {
    const JCRConstant *entry = JCRConstantAt(jclass, jclass->this_class, JCR_CONSTANT_Class);
    return entry == nullptr ? nullptr : JCRUtf8At(jclass, entry->index1);
}

int JCRClassNameIs(const JCRClass *jclass, const char *name) {
    const char *own = JCRClassName(jclass);
    if (own == nullptr || name == nullptr) return 0;
    for (; *own != '\0' && *name != '\0'; own++, name++) {
        bool separators = (*own == '.' || *own == '/') && (*name == '.' || *name == '/');
        if (*own != *name && !separators) return 0;
    }
    return *own == '\0' && *name == '\0';
}

JCRMember *JCRFindMethod(const JCRClass *jclass, const char *name, const char *descriptor) {
    return FindMethod(jclass, name, descriptor, false);
}

JCRMember *JCRFindStaticMethod(const JCRClass *jclass, const char *name, const char *descriptor) {
    return FindMethod(jclass, name, descriptor, true);
}

JCRAttribute *JCRFindClassAttribute(const JCRClass *jclass, const char *name) {
    return FindAttribute(jclass, jclass->attributes, jclass->attributes_count, name);
}

JCRAttribute *JCRFindMemberAttribute(const JCRClass *jclass, const JCRMember *member, const char *name) {
    return FindAttribute(jclass, member->attributes, member->attributes_count, name);
}

int JCRIsSynthetic(const JCRClass *jclass, const JCRMember *member) {
    return JCRFindMemberAttribute(jclass, member, "Synthetic") != nullptr;
}

JCRAttribute *JCRMakeSynthetic(JCRClass *jclass) {
    int nameIndex = FindOrAddUtf8(jclass, "Synthetic");
    if (nameIndex <= 0) return nullptr;
    auto *attribute = static_cast<JCRAttribute *>(JCRArenaAllocateZeroed(&jclass->arena, sizeof(JCRAttribute)));
    if (attribute != nullptr) attribute->name_index = static_cast<uint16_t>(nameIndex);
    return attribute;
}

JCRMember *JCRAddMethod(JCRClass *jclass, int access_flags, const char *name, const char *descriptor,
                        const JCRCode *code, JCRAttribute *extra) {
    bool isInitializer = std::strcmp(name, "<clinit>") == 0;
    JCRMember *method = NewMember(jclass, access_flags, name, descriptor);
    bool complete = method != nullptr;
    // From here on `extra` belongs to the method, or is freed with it.
    JCRAttribute *attributes[3] = {};
    int count = 0;
    if (code != nullptr) attributes[count++] = complete ? JCRWriteCode(jclass, code) : nullptr;
    if (extra != nullptr) attributes[count++] = extra;
    if (!isInitializer) attributes[count++] = complete ? JCRMakeSynthetic(jclass) : nullptr;
    for (int i = 0; i < count; i++) complete = complete && attributes[i] != nullptr;
    if (complete && count > 0) {
        method->attributes = JCRArenaArray<JCRAttribute *>(&jclass->arena, count);
        complete = method->attributes != nullptr;
    }
    if (complete) {
        for (int i = 0; i < count; i++) method->attributes[i] = attributes[i];
        method->attributes_count = static_cast<uint16_t>(count);
        int at = isInitializer ? 0 : jclass->methods_count;
        if (InsertMember(jclass, &jclass->methods, &jclass->methods_count, method, at)) return method;
    }
    for (int i = 0; i < count; i++) JCRRelease(&jclass->arena, attributes[i]);
    if (method != nullptr) JCRRelease(&jclass->arena, method->attributes);
    JCRRelease(&jclass->arena, method);
    return nullptr;
}

JCRMember *JCRAddField(JCRClass *jclass, int access_flags, const char *name, const char *descriptor) {
    JCRMember *field = NewMember(jclass, access_flags, name, descriptor);
    if (field == nullptr) return nullptr;
    if (!InsertMember(jclass, &jclass->fields, &jclass->fields_count, field, jclass->fields_count)) {
        JCRRelease(&jclass->arena, field);
        return nullptr;
    }
    return field;
}
