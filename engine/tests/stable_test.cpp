// String tables: the information and braced formats and their lookups.
#include "tamu.h"
#include "test_util.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

namespace {

class StringTable : public ::testing::Test {
  protected:
    void SetUp() override { items_before = tamu_items_created; }
    void TearDown() override { EXPECT_EQ(tamu_items_created, items_before); }
    int items_before = 0;
};

std::string path_of(const char *name) { return test_home() + "/" + name; }

cdict *config_from(const std::string &text) {
    std::string path = path_of("info.txt");
    write_file(path, text);
    return tamu_load_stable_config(path.c_str());
}

cdict *braced_from(const std::string &text) {
    std::string path = path_of("table.txt");
    write_file(path, text);
    return tamu_load_stable(path.c_str());
}

std::vector<std::string> strings_of(const cdict *dict, const char *key) {
    std::vector<std::string> out;
    for (int i = 0; i < cdict_entries(dict, key); i++) out.push_back(tamu_sts(dict, key, i));
    return out;
}

std::vector<std::string> keys_of(const cdict *dict) {
    return std::vector<std::string>(dict->keys, dict->keys + dict->key_count);
}

using strings = std::vector<std::string>;

TEST_F(StringTable, InformationLinesGiveKeysAndValues) {
    struct Case {
        const char *line;
        const char *key;  // null: the line adds no key
        strings values;
    };
    const Case cases[] = {
        {"tags:: ana  bo", "tags", {"ana", "bo"}},
        {"title: my cart", "title", {"my cart"}},
        {"version 3", "version", {"3"}},
        {"lonely", "lonely", {}},
        {"key=word", "key", {"=word"}},
        {"x-y: 1", "x", {"-y: 1"}},
        {"  indented:\tvalue ", "indented", {"\tvalue "}},
        {"author:   ::zep", "author", {"zep"}},
        {"list:: one:two  three ", "list", {"one:two", "three"}},
        {"phrase: a: b", "phrase", {"a: b"}},
        {"empty: ", "empty", {}},
        {"emptylist::   ", "emptylist", {}},
        {"url: http://example.com/a", "url", {"http://example.com/a"}},
        {"// a comment", nullptr, {}},
        {"/key: value", nullptr, {}},
        {"   / key: value", nullptr, {}},
        {"", nullptr, {}},
        {"  :: - ", nullptr, {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.line);
        cdict *dict = config_from(std::string(c.line) + "\n");
        ASSERT_NE(dict, nullptr);
        if (!c.key) {
            EXPECT_EQ(dict->key_count, 0);
            EXPECT_EQ(dict->string_count, 0);
        } else {
            EXPECT_EQ(keys_of(dict), strings{c.key});
            EXPECT_EQ(strings_of(dict, c.key), c.values);
            EXPECT_EQ(dict->string_count, int(c.values.size()));
            EXPECT_STREQ(tamu_sts(dict, c.key, int(c.values.size())), " ");
        }
        tamu_destroy_stable(dict);
    }
}

TEST_F(StringTable, InformationFileOfSeveralLines) {
    cdict *dict = config_from("// cart info\r\n"
                              "title: jelpi\r\n"
                              "\r\n"
                              "author zep\n"
                              "tags:: platformer demo\n"
                              "tags:: official\n"     // directly repeated: the same run continues
                              "version 3\n"
                              "author: someone else\n"  // repeated later: never found
                              "nostrings\n"
                              "last: the end");
    ASSERT_NE(dict, nullptr);
    EXPECT_EQ(keys_of(dict), (strings{"title", "author", "tags", "version", "author", "nostrings", "last"}));
    EXPECT_EQ(strings_of(dict, "title"), strings{"jelpi"});
    EXPECT_EQ(strings_of(dict, "author"), strings{"zep"});
    EXPECT_EQ(strings_of(dict, "tags"), (strings{"platformer", "demo", "official"}));
    EXPECT_EQ(strings_of(dict, "last"), strings{"the end"});
    EXPECT_EQ(cdict_entries(dict, "nostrings"), 0);
    EXPECT_STREQ(tamu_sts(dict, "nostrings", 0), " ");
    // Indexes past a key's strings never reach the next key's.
    EXPECT_STREQ(tamu_sts(dict, "title", 1), " ");
    EXPECT_STREQ(tamu_sts(dict, "version", 1), " ");
    EXPECT_STREQ(tamu_sts(dict, "tags", -1), " ");
    EXPECT_STREQ(tamu_sts(dict, "tags", 1 << 30), " ");
    EXPECT_STREQ(tamu_sts(dict, "tags", INT_MAX), " ");  // first string + index would wrap in 32 bits
    // Keys are matched whole and case-sensitively.
    EXPECT_STREQ(tamu_sts(dict, "Title", 0), " ");
    EXPECT_STREQ(tamu_sts(dict, "titl", 0), " ");
    EXPECT_STREQ(tamu_sts(dict, "", 0), " ");
    EXPECT_STREQ(tamu_sts(dict, nullptr, 0), " ");
    EXPECT_EQ(tamu_sts(dict, "missing", 0), tamu_no_stable_string);
    EXPECT_EQ(cdict_entries(dict, "missing"), 0);
    tamu_destroy_stable(dict);
}

TEST_F(StringTable, BracedTablesCollectQuotedStrings) {
    cdict *dict = braced_from("// greetings table\n"
                              "hello\n"
                              "{\n"
                              "  \"hi\" \"hey\"\n"
                              "  \"http://a/b\"\n"
                              "\n"
                              "  \"unterminated\n"
                              "  \"dropped\" }\n"
                              "\n"
                              "  ! ignored between keys\n"  // a key all the same
                              "}\n"
                              "bye = {  \"not a string: rest of a key line\"\n"
                              "/ \"commented out\"\n"
                              "  \"one\"/\"two\"\n"
                              "  \"three\" /\"four\"\n"
                              "  no quotes here\n"
                              "}\n"
                              "bye\n"
                              "{\n"
                              "  \"again\"\n"
                              "}\n"
                              "open_at_the_end\n"
                              "{\n"
                              "  \"x\"");
    ASSERT_NE(dict, nullptr);
    // The directly repeated "bye" continues its run.
    EXPECT_EQ(keys_of(dict), (strings{"hello", "ignored", "bye", "open_at_the_end"}));
    EXPECT_EQ(strings_of(dict, "hello"), (strings{"hi", "hey", "http://a/b", "unterminated"}));
    EXPECT_EQ(strings_of(dict, "ignored"), strings{});
    EXPECT_EQ(strings_of(dict, "bye"), (strings{"one", "three", "four", "again"}));
    EXPECT_EQ(strings_of(dict, "open_at_the_end"), strings{"x"});
    tamu_destroy_stable(dict);
}

TEST_F(StringTable, MissingFilesGiveNullTablesThatAnswerEmpty) {
    EXPECT_EQ(tamu_load_stable(path_of("missing.txt").c_str()), nullptr);
    EXPECT_EQ(tamu_load_stable_config(path_of("missing.txt").c_str()), nullptr);
    EXPECT_EQ(tamu_load_stable(nullptr), nullptr);
    EXPECT_EQ(tamu_load_stable_config(nullptr), nullptr);
    EXPECT_EQ(tamu_load_stable_from_file(nullptr), nullptr);
    EXPECT_EQ(tamu_load_stable_config_from_file(nullptr), nullptr);
    cdict *none = tamu_load_stable_config(path_of("missing.txt").c_str());
    EXPECT_STREQ(tamu_sts(none, "title", 0), " ");
    EXPECT_EQ(tamu_sts(none, "title", 0), tamu_no_stable_string);
    EXPECT_EQ(cdict_entries(none, "title"), 0);
    EXPECT_EQ(add_key(none, "title"), 1);
    EXPECT_EQ(cdict_add_string(none, "x"), 1);
    tamu_destroy_stable(none);

    // An empty file is a table without keys, not a missing one.
    cdict *empty = config_from("");
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(empty->key_count, 0);
    EXPECT_STREQ(tamu_sts(empty, "title", 0), " ");
    tamu_destroy_stable(empty);
}

TEST_F(StringTable, ReadsFromTheVirtualDiskAndOpenFiles) {
    cfile *entry = tamu_fopen_vdisk("cart_info.txt", "w");
    const char text[] = "title: from memory\n";
    tamu_fwrite(text, 1, int(sizeof text - 1), entry);
    cdict *dict = tamu_load_stable_config("bbs/carts/cart_info.txt");
    ASSERT_NE(dict, nullptr);
    EXPECT_STREQ(tamu_sts(dict, "title", 0), "from memory");
    tamu_destroy_stable(dict);

    // From the current position of an open file.
    const char braced[] = "skipped\n{\n\"a\"\n}\nkept\n{\n\"b\"\n}\n";
    cfile *f = tamu_fopen_memory(braced, int(sizeof braced - 1));
    char line[64];
    for (int i = 0; i < 4; i++) tamu_fgets_sensitive(line, sizeof line, f);
    dict = tamu_load_stable_from_file(f);
    tamu_fclose(f);
    ASSERT_NE(dict, nullptr);
    EXPECT_EQ(keys_of(dict), strings{"kept"});
    EXPECT_STREQ(tamu_sts(dict, "kept", 0), "b");
    tamu_destroy_stable(dict);
}

TEST_F(StringTable, LongLinesAreReadIn1023CharacterPieces) {
    std::string value(1500, 'v');
    cdict *dict = config_from("long: " + value + "\nafter: 1\n");
    ASSERT_NE(dict, nullptr);
    ASSERT_EQ(cdict_entries(dict, "long"), 1);
    EXPECT_EQ(std::string(tamu_sts(dict, "long", 0)), std::string(1023 - 6, 'v'));
    // The rest of the line is read as a line of its own: a key of v's.
    EXPECT_EQ(dict->key_count, 3);
    EXPECT_EQ(std::string(dict->keys[1]), std::string(1500 - (1023 - 6), 'v'));
    EXPECT_STREQ(tamu_sts(dict, "after", 0), "1");
    tamu_destroy_stable(dict);
}

TEST_F(StringTable, TablesStopGrowingAtTheirLimits) {
    // Lists of one-character words until past the entry limit.
    std::string line = "k::";
    while (line.size() < 1000) line += " a";
    int per_line = int(line.size() - 3) / 2;
    std::string text;
    for (int n = 0; n <= TAMU_STABLE_MAX_ENTRIES; n += per_line) text += line + "\n";
    text += "z: never read\n";
    cfile *f = tamu_fopen_memory(text.data(), int(text.size()));
    cdict *dict = tamu_load_stable_config_from_file(f);
    tamu_fclose(f);
    ASSERT_NE(dict, nullptr);
    EXPECT_EQ(dict->string_count, TAMU_STABLE_MAX_ENTRIES);
    EXPECT_EQ(cdict_entries(dict, "k"), TAMU_STABLE_MAX_ENTRIES);
    EXPECT_EQ(cdict_entries(dict, "z"), 0);
    EXPECT_EQ(cdict_add_string(dict, "more"), 1);
    tamu_destroy_stable(dict);
}

TEST_F(StringTable, BuildingByHand) {
    cdict *dict = tamu_create_stable();
    EXPECT_EQ(tamu_items_created, items_before + 1);
    EXPECT_EQ(cdict_add_string(dict, "no key yet"), 1);
    EXPECT_EQ(add_key(dict, ""), 1);
    EXPECT_EQ(add_key(dict, nullptr), 1);
    EXPECT_EQ(add_key(dict, "a"), 0);
    EXPECT_EQ(cdict_add_string(dict, "1"), 0);
    EXPECT_EQ(add_key(dict, "a"), 0);  // the last key again: not added
    EXPECT_EQ(cdict_add_string(dict, "2"), 0);
    EXPECT_EQ(add_key(dict, "b"), 0);
    EXPECT_EQ(add_key(dict, "a"), 0);  // after another key: added, never found
    EXPECT_EQ(cdict_add_string(dict, "3"), 0);
    EXPECT_EQ(keys_of(dict), (strings{"a", "b", "a"}));
    EXPECT_EQ(dict->first[0], 0);
    EXPECT_EQ(dict->first[1], 2);
    EXPECT_EQ(dict->first[2], 2);
    EXPECT_EQ(strings_of(dict, "a"), (strings{"1", "2"}));
    EXPECT_EQ(cdict_entries(dict, "b"), 0);
    EXPECT_STREQ(tamu_sts(dict, "b", 0), " ");
    EXPECT_STREQ(tamu_sts(dict, "a", 2), " ");
    tamu_destroy_stable(dict);
    tamu_destroy_stable(nullptr);
}

TEST_F(StringTable, KeyCharactersAreAsciiLettersDigitsAndUnderscore) {
    for (int c = -1; c < 256; c++) {
        bool expected = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
        EXPECT_EQ(is_key_char(c), expected ? 1 : 0) << c;
    }
}

}  // namespace
