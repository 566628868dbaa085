// Game controllers: the built-in mappings, "sdl_controllers.txt", opening
// devices and reading them with validation, over SDL's virtual joysticks.
#include "stub_app.h"
#include "tamu.h"
#include "test_util.h"

#include <SDL2/SDL.h>
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace {

class Controllers : public ::testing::Test {
  protected:
    void SetUp() override {
        std::snprintf(tamu_state.application_title, sizeof tamu_state.application_title, "tamu");
        cconfig.home_path[0] = 0;
        char path[1024];
        tamu_prefix_with_appdata_path("sdl_controllers.txt", path);
        mappings_path = path;
        std::remove(path);
        log_path = test_home() + "/controller_log.txt";
        tamu_state.log = std::fopen(log_path.c_str(), "wb");
        tamu_debug_indentation = 0;
        ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_GAMECONTROLLER), 0) << SDL_GetError();
        base = SDL_NumJoysticks();
    }
    void TearDown() override {
        tamu_joystick_exit();
        for (SDL_Joystick *j : handles) SDL_JoystickClose(j);
        for (int i = SDL_NumJoysticks() - 1; i >= 0; i--)
            if (SDL_JoystickIsVirtual(i)) SDL_JoystickDetachVirtual(i);
        SDL_QuitSubSystem(SDL_INIT_GAMECONTROLLER);
        if (tamu_state.log) std::fclose(tamu_state.log);
        tamu_state.log = nullptr;
    }
    std::string log() {
        std::fflush(tamu_state.log);
        return read_file(log_path);
    }
    // A virtual device and a handle to drive it with; returns its index.
    int attach(SDL_JoystickType type, int axes, int buttons) {
        // With a vendor and product of its own, so that SDL looks the
        // device up among the mappings.
        SDL_VirtualJoystickDesc desc;
        SDL_zero(desc);
        desc.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
        desc.type = Uint16(type);
        desc.naxes = Uint16(axes);
        desc.nbuttons = Uint16(buttons);
        desc.vendor_id = 0x7a56;
        desc.product_id = Uint16(0x0f00 + SDL_NumJoysticks());
        desc.name = "Virtual Pad";
        int index = SDL_JoystickAttachVirtualEx(&desc);
        EXPECT_GE(index, 0) << SDL_GetError();
        return index;
    }
    SDL_Joystick *handle(int index) {
        SDL_Joystick *j = SDL_JoystickOpen(index);
        EXPECT_NE(j, nullptr) << SDL_GetError();
        handles.push_back(j);
        return j;
    }
    static std::string guid_of(int index) {
        char text[40];
        SDL_JoystickGetGUIDString(SDL_JoystickGetDeviceGUID(index), text, sizeof text);
        return text;
    }
    std::string mappings_path, log_path;
    int base = 0;
    std::vector<SDL_Joystick *> handles;
};

int count_of(const std::string &text, const std::string &part) {
    int n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) n++;
    return n;
}

TEST_F(Controllers, EveryBuiltInLineIsANewMappingThatSdlAccepts) {
    ASSERT_EQ(tamu_controller_mapping_count, 171);
    std::set<std::string> guids;
    for (int i = 0; i < tamu_controller_mapping_count; i++) {
        std::string line = tamu_controller_mappings[i];
        EXPECT_EQ(SDL_GameControllerAddMapping(line.c_str()), 1) << line << ": " << SDL_GetError();
        std::string guid = line.substr(0, line.find(','));
        EXPECT_EQ(guid.size(), 32u) << line;
        guids.insert(guid);
        bool platform = line.find(",platform:Windows,") != std::string::npos ||
                        line.find(",platform:Mac OS X,") != std::string::npos ||
                        line.find(",platform:Linux,") != std::string::npos;
        EXPECT_TRUE(platform) << line;
        // SDL keeps the name and bindings as given.
        char *stored = SDL_GameControllerMappingForGUID(SDL_JoystickGetGUIDFromString(guid.c_str()));
        ASSERT_NE(stored, nullptr) << line;
        std::string kept = stored;
        SDL_free(stored);
        std::string name = line.substr(33, line.find(',', 33) - 33);
        EXPECT_NE(kept.find("," + name + ","), std::string::npos) << kept;
        EXPECT_NE(kept.find("a:b"), std::string::npos) << kept;
    }
    EXPECT_EQ(guids.size(), 171u);
}

TEST_F(Controllers, MissingMappingFileIsCreatedWithACommentAndAddsNothing) {
    tamu_joystick_init();
    EXPECT_EQ(read_file(mappings_path), "// add sdl game controller mappings to this file\n");
    std::string text = log();
    EXPECT_EQ(text.find("controller mapping"), std::string::npos) << text;
    EXPECT_NE(text.find("searching for joysticks\n"), std::string::npos);
    EXPECT_NE(text.find("  found " + std::to_string(base) + " joysticks\n"), std::string::npos) << text;
    EXPECT_NE(text.find("ok\n"), std::string::npos);
}

TEST_F(Controllers, FileLinesAreAddedWithoutLineEndsAndCommentsAndBlanksAreSkipped) {
    const std::string first = "03000000567a0000fe01000000000000,Test Pad One,a:b0,b:b1,leftx:a0,lefty:a1,platform:Linux,";
    const std::string second = "03000000567a0000ff01000000000000,Test Pad Two,a:b1,b:b0,platform:Linux,";
    write_file(mappings_path,
               "// add sdl game controller mappings to this file\n"
               "\n"
               "   \r\n"
               "\r\n" +
                   first + "\r\n" +         // CR LF line end
                   "  " + first + "  \n" +  // again, with blanks around: updated
                   "not a mapping\n" +
                   std::string(1100, 'x') + "\n" +   // too long: skipped whole
                   "/ also a comment\n" + second);   // no line end at all
    tamu_joystick_init();
    std::string text = log();
    EXPECT_EQ(count_of(text, "added controller mapping: " + first + "\n"), 1) << text;
    EXPECT_EQ(count_of(text, "updated controller mapping: " + first + "\n"), 1) << text;
    EXPECT_EQ(count_of(text, "added controller mapping: " + second + "\n"), 1) << text;
    EXPECT_EQ(count_of(text, "failed to add controller mapping:controller mapping: not a mapping\n"), 1) << text;
    EXPECT_EQ(count_of(text, "failed to add"), 2) << text;   // that and the long line
    // Nothing else was logged for the file's lines.
    EXPECT_EQ(count_of(text, "added ") + count_of(text, "updated ") + count_of(text, "failed to add "), 5) << text;
    char *stored = SDL_GameControllerMappingForGUID(SDL_JoystickGetGUIDFromString(first.substr(0, 32).c_str()));
    ASSERT_NE(stored, nullptr);
    std::string kept = stored;
    EXPECT_EQ(kept.find('\r'), std::string::npos) << kept;
    EXPECT_NE(kept.back(), ' ') << kept;
    SDL_free(stored);
}

TEST_F(Controllers, JoystickWithAFileMappingOpensAsAGameController) {
    int index = attach(SDL_JOYSTICK_TYPE_UNKNOWN, 4, 8);
    ASSERT_FALSE(SDL_IsGameController(index));
    std::string line = guid_of(index) + ",File Pad,a:b0,b:b1,x:b2,y:b3,start:b7,leftx:a0,lefty:a1,platform:Linux,";
    write_file(mappings_path, line + "\n");
    tamu_joystick_init();
    std::string text = log();
    std::string n = std::to_string(index);
    EXPECT_NE(text.find("Controller " + n + ": File Pad\n"), std::string::npos) << text;
    EXPECT_NE(text.find("Mapping: " + guid_of(index) + ",File Pad,"), std::string::npos) << text;
    EXPECT_NE(text.find("Unmapped Joystick " + n + ": "), std::string::npos) << text;
    EXPECT_NE(text.find("Number of Axes: 4\n"), std::string::npos) << text;
    EXPECT_NE(text.find("Number of Buttons: 8\n"), std::string::npos) << text;
    EXPECT_NE(text.find("Number of Balls: 0\n"), std::string::npos) << text;

    // Read through the mapping: start is controller button 6.
    SDL_Joystick *j = handle(index);
    SDL_JoystickSetVirtualButton(j, 7, 0);
    SDL_JoystickSetVirtualAxis(j, 0, 1000);
    SDL_JoystickUpdate();
    int x, y, b;
    tamu_get_joystick(index, &x, &y, &b);
    SDL_JoystickSetVirtualButton(j, 7, 1);
    SDL_JoystickUpdate();
    tamu_get_joystick(index, &x, &y, &b);
    EXPECT_EQ(b, 1 << SDL_CONTROLLER_BUTTON_START);
    EXPECT_EQ(x, 1000);
}

TEST_F(Controllers, UnmappedJoystickIsOpenedAsAJoystickOnly) {
    int index = attach(SDL_JOYSTICK_TYPE_UNKNOWN, 2, 4);
    tamu_joystick_init();
    std::string text = log();
    EXPECT_EQ(text.find("Controller "), std::string::npos) << text;
    EXPECT_NE(text.find("Unmapped Joystick " + std::to_string(index) + ": "), std::string::npos) << text;
    EXPECT_EQ(tamu_count_joystick_buttons(index), 4);
    EXPECT_EQ(tamu_count_joysticks(), base + 1);
}

TEST_F(Controllers, AtMostEightDevicesAreOpened) {
    for (int i = base; i < 9; i++) attach(SDL_JOYSTICK_TYPE_UNKNOWN, 2, 3);
    tamu_joystick_init();
    std::string text = log();
    EXPECT_NE(text.find("found 9 joysticks\n"), std::string::npos) << text;
    EXPECT_EQ(count_of(text, "Unmapped Joystick "), 8) << text;
    EXPECT_EQ(tamu_count_joysticks(), 9);
    EXPECT_EQ(tamu_count_joystick_buttons(7), 3);
    EXPECT_EQ(tamu_count_joystick_buttons(8), 0);
}

TEST_F(Controllers, StickRestingAtAnEdgeReadsZeroUntilSeenNearTheCentre) {
    for (SDL_JoystickType type : {SDL_JOYSTICK_TYPE_UNKNOWN, SDL_JOYSTICK_TYPE_GAMECONTROLLER}) {
        tamu_joystick_exit();
        int index = attach(type, 6, 15);
        SDL_Joystick *j = handle(index);
        SDL_JoystickSetVirtualAxis(j, 0, -32768);
        SDL_JoystickSetVirtualAxis(j, 1, 20000);
        SDL_JoystickUpdate();
        tamu_joystick_init();
        int x = 1, y = 1, b = 1;
        ::testing::internal::CaptureStdout();
        tamu_get_joystick(index, &x, &y, &b);
        tamu_get_joystick(index, &x, &y, &b);
        std::string out = ::testing::internal::GetCapturedStdout();
        EXPECT_EQ(x, 0);
        EXPECT_EQ(y, 0);
        EXPECT_EQ(out, "** x axis 0 not validated on joystick " + std::to_string(index) + "\n") << type;
        // Near the centre once: from then on the axis reads as it is.
        SDL_JoystickSetVirtualAxis(j, 0, -16383);
        SDL_JoystickSetVirtualAxis(j, 1, 16384);
        SDL_JoystickUpdate();
        tamu_get_joystick(index, &x, &y, &b);
        EXPECT_EQ(x, -16383);
        EXPECT_EQ(y, 0);
        SDL_JoystickSetVirtualAxis(j, 0, -32768);
        SDL_JoystickSetVirtualAxis(j, 1, 16383);
        SDL_JoystickUpdate();
        tamu_get_joystick(index, &x, &y, &b);
        EXPECT_EQ(x, -32768);
        EXPECT_EQ(y, 16383);
        // Any two axes read alike.
        SDL_JoystickSetVirtualAxis(j, 2, 32767);
        SDL_JoystickSetVirtualAxis(j, 3, 5);
        SDL_JoystickUpdate();
        tamu_get_joystick_axes(index, 2, 3, &x, &y);
        EXPECT_EQ(x, 0);
        EXPECT_EQ(y, 5);
    }
}

TEST_F(Controllers, ButtonHeldFromTheStartCountsOnlyAfterARelease) {
    struct Case {
        SDL_JoystickType type;
        bool prints;
    } cases[] = {{SDL_JOYSTICK_TYPE_UNKNOWN, false}, {SDL_JOYSTICK_TYPE_GAMECONTROLLER, true}};
    for (const Case &c : cases) {
        tamu_joystick_exit();
        int index = attach(c.type, 2, 15);
        SDL_Joystick *j = handle(index);
        SDL_JoystickSetVirtualButton(j, 0, 1);
        SDL_JoystickSetVirtualButton(j, 3, 1);
        SDL_JoystickUpdate();
        tamu_joystick_init();
        int x, y, b = -1;
        ::testing::internal::CaptureStdout();
        tamu_get_joystick(index, &x, &y, &b);
        std::string out = ::testing::internal::GetCapturedStdout();
        EXPECT_EQ(b, 0);
        if (c.prints)
            EXPECT_EQ(out, "** button 0 not validated on joystick " + std::to_string(index) + "\n");
        else
            EXPECT_EQ(out, "");
        SDL_JoystickSetVirtualButton(j, 0, 0);
        SDL_JoystickUpdate();
        tamu_get_joystick(index, &x, &y, &b);
        EXPECT_EQ(b, 0);   // 3 is still held and was never seen released
        SDL_JoystickSetVirtualButton(j, 0, 1);
        SDL_JoystickSetVirtualButton(j, 14, 1);   // seen released at the first reading
        SDL_JoystickUpdate();
        tamu_get_joystick(index, &x, &y, &b);
        EXPECT_EQ(b, 1 | 1 << 14);
        SDL_JoystickSetVirtualButton(j, 3, 0);
        SDL_JoystickUpdate();
        tamu_get_joystick(index, &x, &y, &b);
        SDL_JoystickSetVirtualButton(j, 3, 1);
        SDL_JoystickUpdate();
        tamu_get_joystick(index, &x, &y, &b);
        EXPECT_EQ(b, 1 | 1 << 3 | 1 << 14);
    }
}

TEST_F(Controllers, DevicesThatAreNotOpenReadZero) {
    tamu_joystick_init();
    for (int i : {-1, 0, 7, 8, 100}) {
        int x = 5, y = 5, b = 5;
        tamu_get_joystick(i, &x, &y, &b);
        EXPECT_EQ(x | y | b, 0) << i;
        tamu_get_joystick_axes(i, 0, 1, &x, &y);
        EXPECT_EQ(x | y, 0) << i;
        EXPECT_EQ(tamu_count_joystick_buttons(i), 0) << i;
    }
}

TEST_F(Controllers, DetachedDeviceReadsZeroAndIsReportedOnce) {
    int index = attach(SDL_JOYSTICK_TYPE_UNKNOWN, 2, 2);
    tamu_joystick_init();
    SDL_JoystickDetachVirtual(index);
    SDL_JoystickUpdate();
    int x = 5, y = 5, b = 5;
    tamu_get_joystick(index, &x, &y, &b);
    tamu_get_joystick(index, &x, &y, &b);
    EXPECT_EQ(x | y | b, 0);
    std::string text = log();
    EXPECT_EQ(count_of(text, "** could not read joystick " + std::to_string(index) + " (not attached)\n"), 1) << text;
}

TEST_F(Controllers, ExitClosesTheDevices) {
    int index = attach(SDL_JOYSTICK_TYPE_UNKNOWN, 2, 6);
    tamu_joystick_init();
    EXPECT_EQ(tamu_count_joystick_buttons(index), 6);
    tamu_joystick_exit();
    EXPECT_EQ(tamu_count_joystick_buttons(index), 0);
    // Opening again after an exit (a restart) finds the device again.
    tamu_joystick_init();
    EXPECT_EQ(tamu_count_joystick_buttons(index), 6);
}

}  // namespace
