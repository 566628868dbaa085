// Feeds arbitrary bytes as a folder and a name to the rule that keeps the
// names carts give inside a root folder, and checks what it lets through:
// the root, then components that are neither "." nor ".." nor "~", hold no
// separator other than '/', no ':' and no control byte, and fit the path
// buffer; and that resolving the result again from the root gives it back.
#include "tamu.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

static const char ROOT[] = "/home/player/.ostrel/zorva/carts/";

static void check(const char *out, int inside) {
    size_t root = std::strlen(ROOT), n = std::strlen(out);
    if (inside < 0) {
        if (out[0]) std::abort();
        return;
    }
    if (n > 1023 || n != root + size_t(inside) || std::strncmp(out, ROOT, root) != 0) std::abort();
    std::string rest(out + root);
    size_t start = 0;
    while (start < rest.size()) {
        size_t end = rest.find('/', start);
        if (end == std::string::npos) end = rest.size();
        std::string component = rest.substr(start, end - start);
        if (component.empty() || component == "." || component == ".." || component == "~") std::abort();
        for (unsigned char c : component)
            if (c < 32 || c == 127 || c == ':' || c == '\\') std::abort();
        start = end + 1;
    }
    // Resolving the result again from the root gives it back.
    char again[1024];
    if (tamu_resolve_inside(ROOT, "", rest.c_str(), rest.size(), again) != inside || std::strcmp(again, out) != 0)
        std::abort();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size > 4096) return 0;
    // The first byte splits the rest into the current folder and the name.
    size_t split = size ? data[0] : 0;
    const char *bytes = reinterpret_cast<const char *>(data) + (size ? 1 : 0);
    size_t length = size ? size - 1 : 0;
    if (split > length) split = length;
    std::string folder(bytes, split);
    folder = folder.substr(0, std::strlen(folder.c_str()));   // the folder is a C string
    char out[1024];
    check(out, tamu_resolve_inside(ROOT, folder.c_str(), bytes + split, length - split, out));
    return 0;
}
