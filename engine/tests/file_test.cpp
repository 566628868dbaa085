// File handles over disk files, memory blocks and virtual-disk entries;
// LZ4 blocks, copying and saving files whole.
#include "tamu.h"
#include "test_util.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <signal.h>
#ifndef _WIN32
#include <sys/resource.h>
#endif
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <functional>
#include <vector>

namespace {

// ---------------------------------------------------------------------------
// The kinds of handle, opened over given bytes or opened for writing.

enum class Kind { Disk, Memory, Buffer, Vdisk };
const Kind all_kinds[] = {Kind::Disk, Kind::Memory, Kind::Buffer, Kind::Vdisk};

const char *kind_name(Kind k) {
    switch (k) {
    case Kind::Disk: return "disk";
    case Kind::Memory: return "memory";
    case Kind::Buffer: return "buffer";
    case Kind::Vdisk: return "vdisk";
    }
    return "?";
}

std::string unique_name(const char *stem) {
    static int n = 0;
    return std::string(stem) + std::to_string(++n) + ".bin";
}

// A handle of one kind; keeps what the handle points into alive.
struct Opened {
    Kind kind;
    cfile *f = nullptr;
    std::string bytes;      // Memory: the caller-owned block
    std::string path;       // Disk and Vdisk: where the content lives

    ~Opened() { tamu_fclose(f); }

    // A readable handle over content.
    static void reader(Opened &o, Kind kind, const std::string &content) {
        o.kind = kind;
        switch (kind) {
        case Kind::Disk:
            o.path = test_home() + "/" + unique_name("reader");
            write_file(o.path, content);
            o.f = tamu_fopen(o.path.c_str(), "rb");
            break;
        case Kind::Memory:
            o.bytes = content;
            o.f = tamu_fopen_memory(o.bytes.data(), static_cast<int>(o.bytes.size()));
            break;
        case Kind::Buffer:
            o.f = tamu_create_buffer(0);
            tamu_fwrite(content.data(), 1, static_cast<int>(content.size()), o.f);
            tamu_fseek(o.f, -tamu_ftell(o.f), SEEK_CUR);
            break;
        case Kind::Vdisk: {
            o.path = unique_name("entry");
            cfile *w = tamu_fopen_vdisk(o.path.c_str(), "w");
            tamu_fwrite(content.data(), 1, static_cast<int>(content.size()), w);
            // Reached through the ordinary open, as carts are.
            o.f = tamu_fopen(("no/such/folder/" + o.path).c_str(), "rb");
            break;
        }
        }
    }

    // A writable handle (Memory: over a zeroed block of 256 bytes).
    static void writer(Opened &o, Kind kind) {
        o.kind = kind;
        switch (kind) {
        case Kind::Disk:
            o.path = test_home() + "/" + unique_name("writer");
            o.f = tamu_fopen(o.path.c_str(), "wb");
            break;
        case Kind::Memory:
            o.bytes.assign(256, '\0');
            o.f = tamu_fopen_memory(o.bytes.data(), 256);
            break;
        case Kind::Buffer: o.f = tamu_create_buffer(0); break;
        case Kind::Vdisk:
            o.path = unique_name("written");
            o.f = tamu_fopen_vdisk(o.path.c_str(), "w");
            break;
        }
    }

    // Back to the start of what was written, for reading.
    void reopen() {
        switch (kind) {
        case Kind::Disk:
            tamu_fclose(f);
            f = tamu_fopen(path.c_str(), "rb");
            break;
        case Kind::Memory:
            tamu_fclose(f);
            f = tamu_fopen_memory(bytes.data(), static_cast<int>(bytes.size()));
            break;
        case Kind::Buffer: tamu_fseek(f, -tamu_ftell(f), SEEK_CUR); break;
        case Kind::Vdisk: f = tamu_fopen_vdisk(path.c_str(), "r"); break;
        }
    }
};

std::vector<std::string> read_lines(cfile *f, int n) {
    std::vector<std::string> lines;
    std::vector<char> buffer(static_cast<size_t>(n));
    while (tamu_fgets_sensitive(buffer.data(), n, f)) {
        lines.emplace_back(buffer.data());
        if (lines.size() > 100) break;  // a reader that never ends
    }
    return lines;
}

// ---------------------------------------------------------------------------
// Behaviour every kind shares

TEST(FileHandleShared, LineReaderSplitsOnEveryLineEnd) {
    struct Case {
        std::string content;
        int n;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {"one\r\ntwo\rthree\nfour", 255, {"one", "two", "three", "four"}},
        {"ab\r", 255, {"ab"}},
        {"a\rb", 255, {"a", "b"}},                 // the character after a lone CR is kept
        {"x\r\r\ny", 255, {"x", "", "y"}},         // CR, then CR LF
        {"\n\n", 255, {"", ""}},
        {"", 255, {}},
        {"last", 255, {"last"}},
        {"abcdefghij\nk", 4, {"abc", "def", "ghi", "j", "k"}},
        {"abc\n", 4, {"abc", ""}},                 // the line end starts the next piece
        {std::string("a\0b\nc", 5), 255, {"a", "c"}},
    };
    for (Kind kind : all_kinds)
        for (const auto &c : cases) {
            SCOPED_TRACE(std::string(kind_name(kind)) + ": \"" + c.content + "\"");
            Opened o;
            Opened::reader(o, kind, c.content);
            ASSERT_NE(o.f, nullptr);
            EXPECT_EQ(read_lines(o.f, c.n), c.lines);
            char buffer[8];
            EXPECT_EQ(tamu_fgets_sensitive(buffer, sizeof buffer, o.f), nullptr);
        }
    // A buffer with no room for a character never reports a line (a
    // reader looping on it would never end).
    for (Kind kind : all_kinds) {
        SCOPED_TRACE(kind_name(kind));
        Opened o;
        Opened::reader(o, kind, "abc\n");
        char one[1] = {'x'};
        EXPECT_EQ(tamu_fgets_sensitive(one, 1, o.f), nullptr);
        EXPECT_EQ(one[0], 0);
        EXPECT_EQ(tamu_fgetc(o.f), 'a');
    }
}

TEST(FileHandleShared, TypedReadsAreLittleEndianAndZeroFilledAtTheEnd) {
    using reader = std::function<int64_t(cfile *)>;
    struct Case {
        std::string bytes;
        reader read;
        int64_t expected;
    };
    const Case cases[] = {
        {"\xff", [](cfile *f) { return tamu_fread_int8(f); }, -1},
        {"\xff", [](cfile *f) { return tamu_fread_uint8(f); }, 255},
        {"\xfe\xff", [](cfile *f) { return tamu_fread_int16(f); }, -2},
        {"\xfe\xff", [](cfile *f) { return tamu_fread_uint16(f); }, 0xFFFE},
        {"\x78\x56\x34\x12", [](cfile *f) { return tamu_fread_int32(f); }, 0x12345678},
        {"\xfe\xff\xff\xff", [](cfile *f) { return tamu_fread_int32(f); }, -2},
        {"\xfe\xff\xff\xff", [](cfile *f) { return tamu_fread_uint32(f); }, 0xFFFFFFFE},
        {"\x34\x12", [](cfile *f) { return tamu_fread_uint32(f); }, 0x1234},  // 2 of 4 bytes left
        {"\x34", [](cfile *f) { return tamu_fread_int16(f); }, 0x34},
        {"", [](cfile *f) { return tamu_fread_uint32(f); }, 0},
        {std::string("\x00\x00\xc0\x3f", 4), [](cfile *f) { return int64_t(tamu_fread_float(f) * 4); }, 6},
    };
    for (Kind kind : all_kinds)
        for (size_t i = 0; i < std::size(cases); i++) {
            SCOPED_TRACE(std::string(kind_name(kind)) + " case " + std::to_string(i));
            Opened o;
            Opened::reader(o, kind, cases[i].bytes);
            EXPECT_EQ(cases[i].read(o.f), cases[i].expected);
        }
}

TEST(FileHandleShared, WrittenValuesReadBack) {
    for (Kind kind : all_kinds) {
        SCOPED_TRACE(kind_name(kind));
        Opened o;
        Opened::writer(o, kind);
        ASSERT_NE(o.f, nullptr);
        const int16_t shorts[3] = {-1, 2, 0x1234};
        const int32_t ints[2] = {-70000, 0x7FFFFFFF};
        EXPECT_EQ(tamu_fwrite_int8(o.f, -3), 1);
        EXPECT_EQ(tamu_fwrite_uint8(o.f, 200), 1);
        EXPECT_EQ(tamu_fwrite_int16(o.f, -300), 2);  // bytes, in every mode
        tamu_fwrite_uint16(o.f, 0xBEEF);
        tamu_fwrite_int32(o.f, -123456789);
        tamu_fwrite_uint32(o.f, 0xCAFEF00D);
        tamu_fwrite_float(o.f, 1.5f);
        EXPECT_EQ(tamu_fwrite_int16s(shorts, 3, o.f), 3);
        EXPECT_EQ(tamu_fwrite_int32s(ints, 2, o.f), 2);
        tamu_fprintf_1d(o.f, "n=%d;", 42);
        tamu_fprintf_1s(o.f, "s=%s;", "text");
        tamu_fprintf_4x(o.f, "%d,%d,%d,%d\n", 1, 2, 3, 4);
        o.reopen();
        EXPECT_EQ(tamu_fread_int8(o.f), -3);
        EXPECT_EQ(tamu_fread_uint8(o.f), 200);
        EXPECT_EQ(tamu_fread_int16(o.f), -300);
        EXPECT_EQ(tamu_fread_uint16(o.f), 0xBEEF);
        EXPECT_EQ(tamu_fread_int32(o.f), -123456789);
        EXPECT_EQ(tamu_fread_uint32(o.f), 0xCAFEF00Du);
        EXPECT_EQ(tamu_fread_float(o.f), 1.5f);
        int16_t s[3] = {};
        int32_t n[2] = {};
        EXPECT_EQ(tamu_fread_int16s(s, 3, o.f), 3);
        EXPECT_EQ(tamu_fread_int32s(n, 2, o.f), 2);
        EXPECT_EQ(s[0], -1);
        EXPECT_EQ(s[2], 0x1234);
        EXPECT_EQ(n[0], -70000);
        EXPECT_EQ(n[1], 0x7FFFFFFF);
        char line[64];
        ASSERT_NE(tamu_fgets_sensitive(line, sizeof line, o.f), nullptr);
        EXPECT_STREQ(line, "n=42;s=text;1,2,3,4");
    }
}

TEST(FileHandleShared, SeekTellAndSize) {
    for (Kind kind : all_kinds) {
        SCOPED_TRACE(kind_name(kind));
        Opened o;
        Opened::reader(o, kind, "0123456789");
        EXPECT_EQ(tamu_fsize(o.f), 10);
        EXPECT_EQ(tamu_ftell(o.f), 0);
        char three[3];
        EXPECT_GT(tamu_fread(three, 3, 1, o.f), 0);
        EXPECT_EQ(tamu_ftell(o.f), 3);
        EXPECT_EQ(tamu_fseek(o.f, 2, SEEK_CUR), 0);
        EXPECT_EQ(tamu_fgetc(o.f), '5');
        EXPECT_EQ(tamu_fseek(o.f, -6, SEEK_CUR), 0);
        EXPECT_EQ(tamu_ftell(o.f), 0);
        // Before the start: refused, the position stays.
        EXPECT_NE(tamu_fseek(o.f, -1, SEEK_CUR), 0);
        EXPECT_EQ(tamu_ftell(o.f), 0);
        // Only relative seeks exist.
        EXPECT_EQ(tamu_fseek(o.f, 4, SEEK_SET), -1);
        EXPECT_EQ(tamu_fseek(o.f, 0, SEEK_END), -1);
        EXPECT_EQ(tamu_ftell(o.f), 0);
        EXPECT_EQ(tamu_fsize(o.f), 10);
        EXPECT_EQ(tamu_ftell(o.f), 0);  // size does not move the position
        EXPECT_EQ(tamu_fgetc(o.f), '0');
    }
}

TEST(FileHandleShared, Lz4BlocksRoundTrip) {
    std::string block;
    for (int i = 0; i < 100; i++) block += "tile " + std::to_string(i % 7) + ";";
    for (Kind kind : all_kinds) {
        SCOPED_TRACE(kind_name(kind));
        Opened o;
        Opened::writer(o, kind);
        int packed = tamu_fwrite_lz4(block.data(), static_cast<int>(block.size()), o.f);
        ASSERT_GT(packed, 0);
        EXPECT_LT(packed, static_cast<int>(block.size()) / 2);
        tamu_fwrite_uint8(o.f, 0x5A);  // what follows the block stays readable
        o.reopen();
        std::string out(block.size(), '\0');
        EXPECT_EQ(tamu_fread_lz4(out.data(), static_cast<int>(out.size()), o.f), static_cast<int>(block.size()));
        EXPECT_EQ(out, block);
        EXPECT_EQ(tamu_fread_uint8(o.f), 0x5A);
    }
}

// ---------------------------------------------------------------------------
// Where the kinds differ

TEST(FileHandleKinds, ShortReadsCountBytesInMemoryAndItemsOnDisk) {
    for (Kind kind : all_kinds) {
        SCOPED_TRACE(kind_name(kind));
        Opened o;
        Opened::reader(o, kind, "abcdefghijklmn");
        char buffer[16] = {};
        ASSERT_EQ(tamu_fseek(o.f, 10, SEEK_CUR), 0);
        int got = tamu_fread(buffer, 10, 1, o.f);
        EXPECT_EQ(got, kind == Kind::Disk ? 0 : 4);
        EXPECT_STREQ(buffer, "klmn");
        EXPECT_EQ(tamu_feof(o.f), 1);
        // At the end: fgetc gives -1 on disk and 0 in memory.
        EXPECT_EQ(tamu_fgetc(o.f), kind == Kind::Disk ? -1 : 0);
    }
}

TEST(FileHandleKinds, FgetsKeepsTheLineEndOnDiskOnly) {
    for (Kind kind : all_kinds) {
        SCOPED_TRACE(kind_name(kind));
        Opened o;
        Opened::reader(o, kind, "one\ntwo");
        char line[16];
        ASSERT_NE(tamu_fgets(line, sizeof line, o.f), nullptr);
        EXPECT_STREQ(line, kind == Kind::Disk ? "one\n" : "one");
        ASSERT_NE(tamu_fgets(line, sizeof line, o.f), nullptr);
        EXPECT_STREQ(line, "two");
        EXPECT_EQ(tamu_fgets(line, sizeof line, o.f), nullptr);
    }
}

TEST(FileHandleMemory, SeeksStayWithinTheContent) {
    for (Kind kind : {Kind::Memory, Kind::Buffer, Kind::Vdisk}) {
        SCOPED_TRACE(kind_name(kind));
        Opened o;
        Opened::reader(o, kind, "0123456789");
        EXPECT_EQ(tamu_fseek(o.f, 10, SEEK_CUR), 0);  // to the end is fine
        EXPECT_EQ(tamu_feof(o.f), 1);
        EXPECT_EQ(tamu_fseek(o.f, 1, SEEK_CUR), -1);
        EXPECT_EQ(tamu_ftell(o.f), 10);
        EXPECT_EQ(tamu_fseek(o.f, -11, SEEK_CUR), -1);
        EXPECT_EQ(tamu_ftell(o.f), 10);
        EXPECT_EQ(tamu_fseek(o.f, INT32_MIN, SEEK_CUR), -1);
        EXPECT_EQ(tamu_fseek(o.f, -10, SEEK_CUR), 0);
        EXPECT_EQ(tamu_fseek(o.f, INT32_MAX, SEEK_CUR), -1);
        EXPECT_EQ(tamu_fgetc(o.f), '0');
    }
}

TEST(FileHandleMemory, CallerOwnedBlocksNeverGrow) {
    char block[6] = "abcde";
    cfile *f = tamu_fopen_memory(block, 5);
    EXPECT_EQ(f->capacity, 0);
    tamu_fseek(f, 3, SEEK_CUR);
    EXPECT_EQ(tamu_fwrite("XYZ", 1, 3, f), 2);  // only what fits in the block
    EXPECT_STREQ(block, "abcXY");
    EXPECT_EQ(f->size, 5);
    EXPECT_EQ(tamu_fwrite("Q", 1, 1, f), 0);
    tamu_fclose(f);  // the caller's block is not freed
    EXPECT_STREQ(block, "abcXY");
}

TEST(FileHandleMemory, OwnedBlocksGrowAndNullWritesZeros) {
    cbuffer *b = tamu_create_buffer(0);
    EXPECT_EQ(tamu_fwrite("abc", 1, 3, b), 3);
    EXPECT_EQ(tamu_fwrite(nullptr, 2, 3, b), 6);
    EXPECT_EQ(b->size, 9);
    EXPECT_EQ(std::memcmp(b->data, "abc\0\0\0\0\0\0", 9), 0);
    // Writing over earlier bytes leaves the size alone.
    tamu_fseek(b, -9, SEEK_CUR);
    tamu_fwrite("AB", 1, 2, b);
    EXPECT_EQ(b->size, 9);
    EXPECT_EQ(b->data[0], 'A');
    // A size and count whose product does not fit 32 bits write nothing.
    EXPECT_EQ(tamu_fwrite("x", 0x10001, 0x10000, b), 0);
    EXPECT_EQ(b->size, 9);
    tamu_fclose(b);
}

TEST(FileHandleDisk, NullWritesZerosAndWriteModeNeverFallsBack) {
    std::string path = test_home() + "/zeros.bin";
    cfile *f = tamu_fopen(path.c_str(), "wb");
    EXPECT_EQ(tamu_fwrite(nullptr, 5000, 2, f), 2);
    tamu_fwrite("!", 1, 1, f);
    tamu_fclose(f);
    EXPECT_EQ(read_file(path), std::string(10000, '\0') + "!");

    int before = vdisk_files;
    EXPECT_EQ(tamu_fopen((test_home() + "/missing/cart.zv").c_str(), "wb"), nullptr);
    EXPECT_EQ(vdisk_files, before);
    EXPECT_EQ(tamu_fopen_vdisk("cart.zv", "r"), nullptr);
}


// Reading takes regular files only: a folder reads as nothing, and a named
// pipe would block the reader until someone writes to it.
TEST(FileHandleDisk, OnlyRegularFilesAreRead) {
    std::string file = test_home() + "/plain.bin", folder = test_home() + "/folder.zv";
    write_file(file, "x");
    ::mkdir(folder.c_str(), 0755);
    EXPECT_EQ(tamu_path_kind(file.c_str()), TAMU_PATH_FILE);
    EXPECT_EQ(tamu_path_kind(folder.c_str()), TAMU_PATH_FOLDER);
    EXPECT_EQ(tamu_path_kind((test_home() + "/none").c_str()), TAMU_PATH_NONE);
    EXPECT_EQ(tamu_fopen(folder.c_str(), "rb"), nullptr);
    EXPECT_EQ(tamu_file_exists(folder.c_str()), 0);
#ifndef _WIN32
    std::string pipe = test_home() + "/pipe.zv";
    unlink(pipe.c_str());
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    EXPECT_EQ(tamu_path_kind(pipe.c_str()), TAMU_PATH_OTHER);
    EXPECT_EQ(tamu_fopen(pipe.c_str(), "rb"), nullptr);
#endif
}
TEST(FileHandleDisk, PrintfOutputIsCutAt1023Characters) {
    cbuffer *b = tamu_create_buffer(0);
    std::string text(3000, 'x');
    tamu_fprintf_1s(b, "%s", text.c_str());
    EXPECT_EQ(b->size, 1023);
    tamu_fclose(b);
}

// ---------------------------------------------------------------------------
// The virtual disk

TEST(FileHandleVdisk, EntriesAreSharedByBaseNameAndLiveOn) {
    cfile *w = tamu_fopen_vdisk("carts/shared.zv", "w");
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(vdisk_file_owned(w), 1);
    EXPECT_STREQ(w->name, "shared.zv");
    tamu_fwrite("hello", 1, 5, w);
    tamu_fclose(w);  // ignored: entries stay
    cfile *r = tamu_fopen("x/y/shared.zv", "rb");
    EXPECT_EQ(r, w);
    EXPECT_EQ(r->position, 0);
    char buffer[8] = {};
    EXPECT_EQ(tamu_fread(buffer, 1, 5, r), 5);
    EXPECT_STREQ(buffer, "hello");
    tamu_fclose(r);
    EXPECT_EQ(tamu_fopen_vdisk("shared.zv", "r"), w);
    EXPECT_EQ(w->position, 0);
    // Keys keep their letter case.
    EXPECT_EQ(tamu_fopen_vdisk("SHARED.zv", "r"), nullptr);
    // A write-mode open empties the entry in place.
    uint8_t *block = w->data;
    EXPECT_EQ(tamu_fopen_vdisk("shared.zv", "wb"), w);
    EXPECT_EQ(w->size, 0);
    EXPECT_EQ(w->data, block);
    EXPECT_EQ(vdisk_file_owned(nullptr), 0);
}

TEST(FileHandleVdisk, RefusesBadKeysAndModes) {
    int before = vdisk_files;
    EXPECT_EQ(tamu_fopen_vdisk(std::string(64, 'k').c_str(), "w"), nullptr);
    EXPECT_NE(tamu_fopen_vdisk(std::string(63, 'k').c_str(), "w"), nullptr);
    EXPECT_EQ(tamu_fopen_vdisk("folder/", "w"), nullptr);
    EXPECT_EQ(tamu_fopen_vdisk("", "w"), nullptr);
    EXPECT_EQ(tamu_fopen_vdisk("append.zv", "a"), nullptr);
    EXPECT_EQ(tamu_fopen(nullptr, "rb"), nullptr);
    EXPECT_EQ(tamu_fopen("", "rb"), nullptr);
    EXPECT_EQ(vdisk_files, before + 1);
}

// Fills the table; exits with 0 when it stopped at 512 entries.
[[noreturn]] void fill_vdisk_and_exit() {
    int before = vdisk_files, made = 0;
    for (int i = 0; i < 600; i++)
        if (tamu_fopen_vdisk(("fill" + std::to_string(i)).c_str(), "w")) made++;
    bool ok = vdisk_files == TAMU_VDISK_MAX_FILES && made == TAMU_VDISK_MAX_FILES - before &&
              tamu_fopen_vdisk("fill0", "w") != nullptr;  // existing keys still open
    std::exit(ok ? 0 : 1);
}

TEST(FileHandleVdisk, TableHoldsAtMost512Entries) {
    // In a child process, so the full table does not reach other tests.
    EXPECT_EXIT(fill_vdisk_and_exit(), ::testing::ExitedWithCode(0), "");
}

// ---------------------------------------------------------------------------
// LZ4 blocks that do not hold

TEST(FileHandleLz4, BadBlocksFailAndLeaveThePosition) {
    std::string good;
    {
        cbuffer *b = tamu_create_buffer(0);
        tamu_fwrite_lz4("abcabcabcabcabcabc", 18, b);
        good.assign(reinterpret_cast<char *>(b->data), static_cast<size_t>(b->size));
        tamu_fclose(b);
    }
    auto with_length = [&](int32_t n) {
        std::string s = good;
        std::memcpy(s.data(), &n, 4);
        return s;
    };
    std::string corrupt = good;
    corrupt[4] = '\xff';  // a literal run longer than the block
    struct Case {
        const char *what;
        std::string bytes;
        int capacity;
    };
    const Case cases[] = {
        {"zero length", with_length(0), 64},
        {"negative length", with_length(-5), 64},
        {"length past the end", with_length(static_cast<int32_t>(good.size())), 64},
        {"huge length", with_length(0x7FFFFFFF), 64},
        {"cut length word", good.substr(0, 2), 64},
        {"nothing", "", 64},
        {"corrupt data", corrupt, 64},
        {"capacity too small", good, 10},
        {"negative capacity", good, -1},
    };
    for (Kind kind : all_kinds)
        for (const auto &c : cases) {
            SCOPED_TRACE(std::string(kind_name(kind)) + ": " + c.what);
            Opened o;
            Opened::reader(o, kind, c.bytes);
            char out[64];
            EXPECT_EQ(tamu_fread_lz4(out, c.capacity, o.f), -1);
            EXPECT_EQ(tamu_ftell(o.f), 0);
        }
    Opened o;
    Opened::reader(o, Kind::Memory, good);
    char out[64];
    EXPECT_EQ(tamu_fread_lz4(out, sizeof out, o.f), 18);
    EXPECT_EQ(tamu_fwrite_lz4("x", -1, o.f), 0);
}

TEST(FileHandleLz4, EmptyBlockRoundTrips) {
    cbuffer *b = tamu_create_buffer(0);
    EXPECT_GT(tamu_fwrite_lz4(nullptr, 0, b), 0);
    tamu_fseek(b, -b->position, SEEK_CUR);
    EXPECT_EQ(tamu_fread_lz4(nullptr, 0, b), 0);
    tamu_fclose(b);
}

// ---------------------------------------------------------------------------
// Saving whole, and copying

// Files in the test's home folder whose names begin with prefix.
std::vector<std::string> files_starting(const std::string &prefix) {
    std::vector<std::string> names;
    DIR *d = opendir(test_home().c_str());
    while (dirent *e = d ? readdir(d) : nullptr)
        if (std::string(e->d_name).rfind(prefix, 0) == 0) names.push_back(e->d_name);
    if (d) closedir(d);
    return names;
}

#ifndef _WIN32   // Windows has no per-process file size limit
// Runs body with writes limited to limit bytes per file (a full disk, as
// far as the writer can tell).
void with_file_size_limit(rlim_t limit, const std::function<void()> &body) {
    rlimit old;
    getrlimit(RLIMIT_FSIZE, &old);
    auto old_handler = signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = limit;
    setrlimit(RLIMIT_FSIZE, &small);
    body();
    setrlimit(RLIMIT_FSIZE, &old);
    signal(SIGXFSZ, old_handler);
}
#endif

TEST(FileHandleSave, CommitReplacesTheFileWhole) {
    std::string path = test_home() + "/saved.txt";
    write_file(path, "old content");
#ifndef _WIN32
    chmod(path.c_str(), 0640);
#endif
    cfile *f = tamu_fopen_save(path.c_str());
    ASSERT_NE(f, nullptr);
    tamu_fwrite("new", 1, 3, f);
    EXPECT_EQ(read_file(path), "old content");  // nothing changes until the commit
    EXPECT_EQ(tamu_fclose_save(f), 0);
    EXPECT_EQ(read_file(path), "new");
#ifndef _WIN32   // no such permission bits on Windows
    struct stat st;
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);  // permissions kept
#endif
    EXPECT_EQ(files_starting("saved.txt"), std::vector<std::string>{"saved.txt"});

    // tamu_fclose commits a save handle too.
    f = tamu_fopen_save(path.c_str());
    tamu_fwrite("newer", 1, 5, f);
    EXPECT_EQ(tamu_fclose(f), 0);
    EXPECT_EQ(read_file(path), "newer");

    std::string fresh = test_home() + "/fresh.txt";
    f = tamu_fopen_save(fresh.c_str());
    tamu_fwrite("x", 1, 1, f);
    EXPECT_EQ(tamu_fclose_save(f), 0);
    EXPECT_EQ(read_file(fresh), "x");
}

TEST(FileHandleSave, FailedSavesLeaveTheOldFileWhole) {
    const std::string old_content = "the old file, whole\n";
    struct Case {
        const char *what;
        std::function<int(cfile *)> finish;  // writes and finishes; the result of the save
    };
    const std::string big(200000, 'z');
#ifdef _WIN32
    const std::string path_of_old_content = test_home() + "/unwritable.txt";
    write_file(path_of_old_content, old_content);
#endif
    const Case cases[] = {
        {"aborted",
         [&](cfile *f) {
             tamu_fwrite(big.data(), 1, 1000, f);
             tamu_abort_save(f);
             return 1;
         }},
#ifdef _WIN32
        {"writes fail",
         [&](cfile *f) {
             // The data goes to a stream that refuses writes instead of the
             // temporary file (Windows has no full device to open).
             std::fclose(f->stream);
             f->stream = std::fopen(path_of_old_content.c_str(), "rb");
             if (!f->stream) return -1;
             tamu_fwrite(big.data(), 1, 100, f);
             return tamu_fclose_save(f);
         }},
#else
        {"device full",
         [&](cfile *f) {
             // The data goes to a full device instead of the temporary file.
             std::fclose(f->stream);
             f->stream = std::fopen("/dev/full", "wb");
             if (!f->stream) return -1;
             tamu_fwrite(big.data(), 1, 100, f);
             return tamu_fclose_save(f);
         }},
        {"file size limit",
         [&](cfile *f) {
             int result = 0;
             with_file_size_limit(4096, [&] {
                 tamu_fwrite(big.data(), 1, static_cast<int>(big.size()), f);
                 result = tamu_fclose_save(f);
             });
             return result;
         }},
        {"limit hit at the final flush",
         [&](cfile *f) {
             int result = 0;
             with_file_size_limit(10, [&] {
                 tamu_fwrite(big.data(), 1, 100, f);  // still in the stream's buffer
                 result = tamu_fclose_save(f);
             });
             return result;
         }},
#endif
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        std::string path = test_home() + "/keep.txt";
        write_file(path, old_content);
        cfile *f = tamu_fopen_save(path.c_str());
        ASSERT_NE(f, nullptr);
        EXPECT_NE(c.finish(f), 0);
        EXPECT_EQ(read_file(path), old_content);
        EXPECT_EQ(files_starting("keep.txt"), std::vector<std::string>{"keep.txt"});  // no temporary left
    }
}

#ifndef _WIN32   // Windows: names are bound by MAX_PATH; plain users make no links
TEST(FileHandleSave, LongNamesAndLinkedFiles) {
    // A name as long as the system allows leaves no room for a suffix: the
    // temporary file takes a short name in the same folder.
    std::string long_path = test_home() + "/" + std::string(250, 'n');
    write_file(long_path, "old");
    cfile *f = tamu_fopen_save(long_path.c_str());
    ASSERT_NE(f, nullptr);
    tamu_fwrite("new", 1, 3, f);
    EXPECT_EQ(tamu_fclose_save(f), 0);
    EXPECT_EQ(read_file(long_path), "new");
    EXPECT_TRUE(files_starting(".tmp-").empty());

    // A link stays a link; the save reaches the file it points to.
    std::string real = test_home() + "/linked_real.txt", link = test_home() + "/linked.txt";
    write_file(real, "old");
    std::remove(link.c_str());
    ASSERT_EQ(symlink("linked_real.txt", link.c_str()), 0);
    f = tamu_fopen_save(link.c_str());
    ASSERT_NE(f, nullptr);
    tamu_fwrite("new", 1, 3, f);
    EXPECT_EQ(tamu_fclose_save(f), 0);
    struct stat st;
    ASSERT_EQ(lstat(link.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(read_file(real), "new");
}
#endif

TEST(FileHandleSave, CannotSaveIntoAMissingFolder) {
    EXPECT_EQ(tamu_fopen_save((test_home() + "/no/such/file.txt").c_str()), nullptr);
    EXPECT_EQ(tamu_fopen_save(""), nullptr);
    EXPECT_EQ(tamu_fopen_save(std::string(1100, 'a').c_str()), nullptr);
    EXPECT_NE(tamu_fclose_save(nullptr), 0);
}

TEST(FileHandleCopy, CopiesInChunksAndReportsEachFailure) {
    std::string from = test_home() + "/source.bin";
    std::string to = test_home() + "/target.bin";
    std::string content;
    for (int i = 0; i < 200000; i++) content += static_cast<char>(i * 7);
    write_file(from, content);
    EXPECT_EQ(tamu_copy_file(from.c_str(), to.c_str()), 0);
    EXPECT_EQ(read_file(to), content);

    EXPECT_EQ(tamu_copy_file((test_home() + "/missing.bin").c_str(), to.c_str()), 1);
    EXPECT_EQ(tamu_copy_file(from.c_str(), (test_home() + "/no/dir/t.bin").c_str()), 2);

    write_file(to, "previous");
#ifndef _WIN32   // Windows has no per-process file size limit
    // A short write (here: the file size limit) fails and keeps the target.
    int result = 0;
    with_file_size_limit(65536, [&] { result = tamu_copy_file(from.c_str(), to.c_str()); });
    EXPECT_EQ(result, 3);
    EXPECT_EQ(read_file(to), "previous");
    EXPECT_EQ(files_starting("target.bin"), std::vector<std::string>{"target.bin"});
#endif

    // A folder does not open as a file.
    EXPECT_EQ(tamu_copy_file(test_home().c_str(), to.c_str()), 1);
    EXPECT_EQ(read_file(to), "previous");

    // Onto itself: the content stays.
    EXPECT_EQ(tamu_copy_file(from.c_str(), from.c_str()), 0);
    EXPECT_EQ(read_file(from), content);

    // Virtual-disk entries can be copied out.
    cfile *entry = tamu_fopen_vdisk("embedded.zv", "w");
    tamu_fwrite("cart", 1, 4, entry);
    EXPECT_EQ(tamu_copy_file("carts/embedded.zv", to.c_str()), 0);
    EXPECT_EQ(read_file(to), "cart");
}

}  // namespace
