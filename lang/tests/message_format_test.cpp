// The engine's message formatter: counts and line numbers are plain C ints.
#include "lua.h"
#include "lua_test_util.h"

#include <gtest/gtest.h>

namespace {

struct Source {
    const std::string *text;
    bool done;
};

const char *read_once(lua_State *, void *ud, size_t *size) {
    auto *src = static_cast<Source *>(ud);
    if (src->done) return nullptr;
    src->done = true;
    *size = src->text->size();
    return src->text->data();
}

int load_source(lua_State *L, const std::string &text) {
    Source src{&text, false};
    return lua_load(L, read_once, &src, "=test", nullptr);
}

TEST(MessageFormat, IntegersPrintAsPlainDecimals) {
    TestState s;
    const struct {
        int value;
        const char *text;
    } cases[] = {
        {0, "n=0"},          {7, "n=7"},
        {-3, "n=-3"},        {32767, "n=32767"},
        {32768, "n=32768"},  {65536, "n=65536"},
        {67108863, "n=67108863"}, {-2147483647 - 1, "n=-2147483648"},
    };
    for (const auto &c : cases) {
        EXPECT_STREQ(lua_pushfstring(s.L, "n=%d", c.value), c.text);
        lua_pop(s.L, 1);
    }
}

TEST(MessageFormat, TooManyLocalsNamesItsLimitAndLine) {
    TestState s;
    // Over 200 locals in one function: the limit and the line print whole.
    std::string source(40000, '\n');
    source += "local a0";
    for (int i = 1; i < 260; i++) source += ",a" + std::to_string(i);
    ASSERT_NE(load_source(s.L, source), 0);
    std::string message = lua_tostring(s.L, -1);
    EXPECT_NE(message.find("40001"), std::string::npos) << message;
    EXPECT_NE(message.find("200"), std::string::npos) << message;
}

}  // namespace
