// Debug dumps of constants, exception tables, line tables and whole classes
// to standard output.
#include <cstdio>

#include "classfile/classfile_internal.h"

namespace {

// followString: a String entry also dumps the entry it refers to, one level
// deep only, so that a String that refers to a String cannot recurse forever.
void DumpConstant(const JCRClass *jclass, int index, bool followString) {
    const JCRConstant *entry = JCRConstantAt(jclass, index, 0);
    int tag = entry == nullptr ? 0 : entry->tag;
    switch (tag) {
    case JCR_CONSTANT_Utf8:
        std::printf("UTF8 [%s]\n", entry->text);
        break;
    case JCR_CONSTANT_Integer:
        std::printf("Integer (%d)\n", static_cast<int32_t>(entry->value));
        break;
    case JCR_CONSTANT_Float: {
        float value;
        std::memcpy(&value, &entry->value, sizeof value);
        std::printf("Float (%f)\n", static_cast<double>(value));
        break;
    }
    case JCR_CONSTANT_Long:
        std::printf("Long (%d,%d)\n", static_cast<int32_t>(entry->high), static_cast<int32_t>(entry->low));
        break;
    case JCR_CONSTANT_Double:
        std::printf("Double (%d,%d)\n", static_cast<int32_t>(entry->high), static_cast<int32_t>(entry->low));
        break;
    case JCR_CONSTANT_Class:
        std::printf("Class %d\n", entry->index1);
        break;
    case JCR_CONSTANT_String:
        std::printf("String (%d) ", entry->index1);
        if (followString)
            DumpConstant(jclass, entry->index1, false);
        else
            std::printf("\n");
        break;
    case JCR_CONSTANT_Fieldref:
        std::printf("Fieldref (%d,%d)\n", entry->index1, entry->index2);
        break;
    case JCR_CONSTANT_Methodref:
        std::printf("Methodref (%d,%d)\n", entry->index1, entry->index2);
        break;
    case JCR_CONSTANT_InterfaceMethodref:
        std::printf("InterfaceMethodref (%d,%d)\n", entry->index1, entry->index2);
        break;
    case JCR_CONSTANT_NameAndType:
        std::printf("NameAndType (%d,%d)\n", entry->index1, entry->index2);
        break;
    case JCR_CONSTANT_MethodHandle:
        std::printf("MethodHandle (%d,%d)\n", entry->kind, entry->index1);
        break;
    case JCR_CONSTANT_MethodType:
        std::printf("MethodType %d\n", entry->index1);
        break;
    case JCR_CONSTANT_Dynamic:
        std::printf("Dynamic (%d,%d)\n", entry->index1, entry->index2);
        break;
    case JCR_CONSTANT_InvokeDynamic:
        std::printf("InvokeDynamic (%d,%d)\n", entry->index1, entry->index2);
        break;
    case JCR_CONSTANT_Module:
        std::printf("Module %d\n", entry->index1);
        break;
    case JCR_CONSTANT_Package:
        std::printf("Package %d\n", entry->index1);
        break;
    default:
        std::printf("Unknown tag!\n");
        break;
    }
}

const char *NameOr(const JCRClass *jclass, int index, const char *fallback) {
    const char *text = JCRUtf8At(jclass, index);
    return text == nullptr ? fallback : text;
}

// expandCode: Code attributes are parsed and dumped; off inside a Code
// attribute, so that crafted nesting cannot recurse deeply.
void DumpAttributes(const JCRClass *jclass, JCRAttribute *const *attributes, int count, const char *indent,
                    bool expandCode);

void DumpCode(const JCRClass *jclass, const JCRAttribute *attribute, const char *indent) {
    JCRCode *code = JCRParseCode(jclass, attribute);
    if (code == nullptr) return;
    std::printf("%smax_stack=%d max_locals=%d code_length=%u exceptions=%d\n", indent, code->max_stack,
                code->max_locals, code->code_length, code->exception_table_length);
    JCRDumpExceptionTable(code);
    char nested[64];
    std::snprintf(nested, sizeof nested, "%s  ", indent);
    DumpAttributes(jclass, code->attributes, code->attributes_count, nested, false);
    JCRFreeCode(code);
}

void DumpAttributes(const JCRClass *jclass, JCRAttribute *const *attributes, int count, const char *indent,
                    bool expandCode) {
    for (int i = 0; i < count; i++) {
        const JCRAttribute *attribute = attributes[i];
        const char *name = NameOr(jclass, attribute->name_index, "?");
        std::printf("%sattribute #%d %s (%u bytes)\n", indent, attribute->name_index, name, attribute->length);
        if (expandCode && std::strcmp(name, "Code") == 0) {
            DumpCode(jclass, attribute, indent);
        } else if (std::strcmp(name, "LineNumberTable") == 0) {
            JCRLineTable *table = JCRParseLineTable(jclass, attribute);
            if (table != nullptr) JCRDumpLineTable(table);
            JCRFreeLineTable(table);
        }
    }
}

void DumpMembers(const JCRClass *jclass, const char *kind, JCRMember *const *members, int count) {
    std::printf("%s (%d):\n", kind, count);
    for (int i = 0; i < count; i++) {
        const JCRMember *member = members[i];
        std::printf("  0x%04x %s %s\n", member->access_flags, NameOr(jclass, member->name_index, "?"),
                    NameOr(jclass, member->descriptor_index, "?"));
        DumpAttributes(jclass, member->attributes, member->attributes_count, "    ", true);
    }
}

}  // namespace

void JCRDumpConstant(const JCRClass *jclass, int index) { DumpConstant(jclass, index, true); }

void JCRDumpExceptionTable(const JCRCode *code) {
    for (int i = 0; i < code->exception_table_length; i++) {
        const JCRExceptionEntry &entry = code->exception_table[i];
        std::printf("exception %d start=%d end=%d catch=%d type=%d\n", i, entry.start_pc, entry.end_pc,
                    entry.handler_pc, entry.catch_type);
    }
}

void JCRDumpLineTable(const JCRLineTable *table) {
    std::printf("line number table:\n");
    std::printf("BCI\tline number\n");
    for (int i = 0; i < table->count; i++) std::printf("%d\t%d\n", table->entries[i].start_pc, table->entries[i].line_number);
}

void JCRDumpClass(const JCRClass *jclass) {
    const char *name = JCRClassName(jclass);
    std::printf("class %s\n", name == nullptr ? "?" : name);
    std::printf("magic 0x%x version %d.%d access 0x%04x this #%d super #%d\n", jclass->magic,
                jclass->major_version, jclass->minor_version, jclass->access_flags, jclass->this_class,
                jclass->super_class);
    std::printf("constant pool (%d):\n", jclass->constant_pool_count);
    for (int index = 1; index < jclass->constant_pool_count; index++) {
        if (jclass->constant_pool[index] == nullptr) continue;
        std::printf("  #%d ", index);
        JCRDumpConstant(jclass, index);
    }
    std::printf("interfaces (%d):", jclass->interfaces_count);
    for (int i = 0; i < jclass->interfaces_count; i++) std::printf(" #%d", jclass->interfaces[i]);
    std::printf("\n");
    DumpMembers(jclass, "fields", jclass->fields, jclass->fields_count);
    DumpMembers(jclass, "methods", jclass->methods, jclass->methods_count);
    std::printf("attributes (%d):\n", jclass->attributes_count);
    DumpAttributes(jclass, jclass->attributes, jclass->attributes_count, "  ", true);
}
