// The class dump archive: writes a class to BASE/package/dirs/Name.class so
// that the tree can be used as a class path.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "classfile/classfile_internal.h"
#include "support/files.h"

namespace {

constexpr size_t kPathBufferSize = 2048;

// A path in a fixed buffer; an append that does not fit marks it too long
// and leaves the buffer as it was.
struct PathBuffer {
    char text[kPathBufferSize] = {};
    size_t length = 0;
    bool tooLong = false;

    void append(std::string_view part) {
        if (tooLong || length + part.size() >= kPathBufferSize) {
            tooLong = true;
            return;
        }
        std::memcpy(text + length, part.data(), part.size());
        length += part.size();
        text[length] = '\0';
    }
};

void PrintErrorText(int error) { std::fprintf(stderr, "%s\n", std::strerror(error != 0 ? error : ENOTDIR)); }

// Empty, "." and ".." components would leave the base directory.
bool SafeComponent(std::string_view component) {
    return !component.empty() && component != "." && component != "..";
}

}  // namespace

int JCRValidateDirectory(const char *path) {
    if (FileExists(path)) return 1;
    errno = 0;
    if (MakeDirectories(path)) return 1;
    int error = errno;
    std::fprintf(stderr, "Cannot create directory %s\n", path);
    PrintErrorText(error);
    return 0;
}

const char *JCRDefaultArchiveDirectory() {
    const char *tmp = std::getenv("TMPDIR");
    return tmp != nullptr && *tmp != '\0' ? tmp : "/tmp";
}

void JCRArchiveClass(const JCRClass *jclass, const char *baseDirectory) {
    if (baseDirectory == nullptr || *baseDirectory == '\0') baseDirectory = JCRDefaultArchiveDirectory();
    if (!JCRValidateDirectory(baseDirectory)) {
        std::fprintf(stderr, "JCRArchiveClass could not validate directory %s\n", baseDirectory);
        return;
    }
    const char *className = JCRClassName(jclass);
    if (className == nullptr) {
        std::fprintf(stderr, "JCRArchiveClass: the class has no name\n");
        return;
    }
    PathBuffer path;
    std::string_view base(baseDirectory);
    path.append(base);
    if (base.empty() || base.back() != '/') path.append("/");

    std::string_view rest(className);
    for (size_t slash; (slash = rest.find('/')) != std::string_view::npos; rest.remove_prefix(slash + 1)) {
        std::string_view component = rest.substr(0, slash);
        if (!SafeComponent(component)) {
            std::fprintf(stderr, "JCRArchiveClass: unsafe class name %s\n", className);
            return;
        }
        path.append(component);
        if (path.tooLong) break;
        if (!JCRValidateDirectory(path.text)) {
            std::fprintf(stderr, "JCRArchiveClass could not validate %s\n", path.text);
            return;
        }
        path.append("/");
    }
    if (!SafeComponent(rest)) {
        std::fprintf(stderr, "JCRArchiveClass: unsafe class name %s\n", className);
        return;
    }
    path.append(rest);
    path.append(".class");
    if (path.tooLong) {
        std::fprintf(stderr, "JCRArchiveClass: path too long for class %s under %s\n", className, baseDirectory);
        return;
    }

    FILE *file = std::fopen(path.text, "wb");
    if (file == nullptr) {
        int error = errno;
        std::fprintf(stderr, "Cannot create file %s\n", path.text);
        PrintErrorText(error);
        return;
    }
    int length = 0;
    uint8_t *bytes = JCRWriteClass(jclass, &length);
    bool written = bytes != nullptr && std::fwrite(bytes, 1, static_cast<size_t>(length), file) == static_cast<size_t>(length);
    if (std::fclose(file) != 0) written = false;
    if (!written) std::fprintf(stderr, "Cannot write file %s\n", path.text);
    sFree(bytes);
}
