// The system-message pump over SDL (dummy video driver): real SDL events
// pushed onto its queue reach the key slots, the character queue, the
// wheel, the window state and the quit paths.
#include "stub_app.h"
#include "tamu.h"
#include "test_util.h"

#include <SDL2/SDL.h>
#include <gtest/gtest.h>

#include <string>

namespace {

int end_calls = 0;
void count_end() { end_calls++; }

class MessagePump : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_VIDEO | SDL_INIT_EVENTS), 0) << SDL_GetError();
        tamu_set_input_source(nullptr);
        tamu_input_reset();
        tamu_quit = 0;
        tamu_system_active = 1;
        cconfig.frame_sleep_ms = 1;
        cconfig.show_fps = 0;
        cconfig.headless = 1;
        tamu_state.wheel_x = tamu_state.wheel_y = 0;
        end_calls = 0;
        default_end = tamu_end_process;
        tamu_end_process = count_end;
        SDL_SetModState(KMOD_NONE);
        SDL_PumpEvents();
        SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
    }
    void TearDown() override {
        tamu_end_process = default_end;
        SDL_QuitSubSystem(SDL_INIT_VIDEO | SDL_INIT_EVENTS);
    }
    void (*default_end)() = nullptr;

    static void push(const SDL_Event &e) {
        SDL_Event copy = e;
        ASSERT_EQ(SDL_PushEvent(&copy), 1) << SDL_GetError();
    }
    static void key_down(SDL_Scancode code) {
        SDL_Event e;
        SDL_zero(e);
        e.type = SDL_KEYDOWN;
        e.key.state = SDL_PRESSED;
        e.key.keysym.scancode = code;
        e.key.keysym.sym = SDL_GetKeyFromScancode(code);
        push(e);
    }
    static void text(const char *t) {
        SDL_Event e;
        SDL_zero(e);
        e.type = SDL_TEXTINPUT;
        std::snprintf(e.text.text, sizeof e.text.text, "%s", t);
        push(e);
    }
    static void window_event(Uint8 what) {
        SDL_Event e;
        SDL_zero(e);
        e.type = SDL_WINDOWEVENT;
        e.window.event = what;
        push(e);
    }
};

TEST_F(MessagePump, KeysAndTextReachTheSlotsAndTheQueue) {
    key_down(SDL_SCANCODE_RETURN);
    text("h");
    text("\xc3\xa9");
    key_down(SDL_SCANCODE_BACKSPACE);
    key_down(SDL_SCANCODE_UP);
    EXPECT_EQ(tamu_handle_system_messages(), 0);
    EXPECT_EQ(tamukey[SDL_SCANCODE_RETURN], 1);
    EXPECT_EQ(tamu_get_key_state(SDL_SCANCODE_RETURN), 3);
    EXPECT_EQ(tamukey[SDL_SCANCODE_UP], 3);
    EXPECT_EQ(tamu_readkey(), 13);
    EXPECT_EQ(tamu_readkey(), 'h');
    EXPECT_EQ(tamu_readkey(), 8);
    EXPECT_EQ(tamu_keypressed(), 0);
}

TEST_F(MessagePump, ModifierStateComesFromSdl) {
    SDL_SetModState(SDL_Keymod(KMOD_LCTRL));
    tamu_handle_system_messages();
    EXPECT_NE(tamu_get_key_state(SDL_SCANCODE_LCTRL), 0);
    key_down(SDL_SCANCODE_Q);
    tamu_handle_system_messages();
    EXPECT_EQ(end_calls, 1);

    SDL_SetModState(SDL_Keymod(KMOD_LALT | KMOD_RGUI));
    tamu_handle_system_messages();
    EXPECT_EQ(tamukey[SDL_SCANCODE_LCTRL], 0);
    EXPECT_EQ(tamukey[SDL_SCANCODE_LALT], 1);
    EXPECT_EQ(tamukey[TAMU_SLOT_RGUI], 1);
    key_down(SDL_SCANCODE_F4);
    tamu_handle_system_messages();
    EXPECT_EQ(end_calls, 2);
}

TEST_F(MessagePump, WheelAddsUp) {
    SDL_Event e;
    SDL_zero(e);
    e.type = SDL_MOUSEWHEEL;
    e.wheel.x = 2;
    e.wheel.y = -1;
    push(e);
    push(e);
    tamu_handle_system_messages();
    EXPECT_EQ(tamu_state.wheel_x, 4);
    EXPECT_EQ(tamu_state.wheel_y, -2);
}

TEST_F(MessagePump, WindowEventsKeepSystemActiveAndCloseSetsQuit) {
    window_event(SDL_WINDOWEVENT_FOCUS_LOST);
    tamu_handle_system_messages();
    EXPECT_EQ(tamu_system_active, 0);
    window_event(SDL_WINDOWEVENT_FOCUS_GAINED);
    tamu_handle_system_messages();
    EXPECT_EQ(tamu_system_active, 1);
    EXPECT_GT(last_inactive_time, 0);
    window_event(SDL_WINDOWEVENT_MINIMIZED);
    tamu_handle_system_messages();
    EXPECT_EQ(tamu_system_active, 0);
    window_event(SDL_WINDOWEVENT_CLOSE);
    tamu_handle_system_messages();
    EXPECT_EQ(tamu_quit, 1);
    EXPECT_EQ(end_calls, 0);
}

TEST_F(MessagePump, QuitEventEndsTheProcess) {
    SDL_Event e;
    SDL_zero(e);
    e.type = SDL_QUIT;
    push(e);
    tamu_handle_system_messages();
    EXPECT_EQ(end_calls, 1);
}

TEST_F(MessagePump, PumpSleepsAndHidesTheSystemCursor) {
    cconfig.frame_sleep_ms = 30;
    SDL_ShowCursor(SDL_ENABLE);
    int before = tamu_get_time();
    tamu_handle_system_messages();
    EXPECT_GE(tamu_get_time() - before, 30);
    EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_DISABLE);
}

TEST_F(MessagePump, ReadkeyWaitsForAPushedCharacter) {
    // Nothing is queued yet; a timer pushes the text while readkey pumps.
    SDL_TimerID timer = 0;
    ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_TIMER), 0);
    timer = SDL_AddTimer(
        40,
        [](Uint32, void *) -> Uint32 {
            SDL_Event e;
            SDL_zero(e);
            e.type = SDL_TEXTINPUT;
            e.text.text[0] = 'w';
            SDL_PushEvent(&e);
            return 0;
        },
        nullptr);
    int before = tamu_get_time();
    EXPECT_EQ(tamu_readkey(), 'w');
    EXPECT_GE(tamu_get_time() - before, 30);
    SDL_RemoveTimer(timer);
    SDL_QuitSubSystem(SDL_INIT_TIMER);
}

class MessagePumpWindow : public MessagePump {
  protected:
    void SetUp() override {
        MessagePump::SetUp();
        cconfig.headless = 0;
        cconfig.software_blit = 0;
        cconfig.pixel_perfect = 1;
        cconfig.keep_aspect = 0;
        cconfig.windowed = 1;
        for (int &v : cconfig.draw_rect) v = 0;
        tamu_video_init();
        tamu_set_window_size(512, 384);
        ASSERT_EQ(tamu_set_screen(128, 128, 8, TAMU_SCREEN_WINDOWED), 0);
        window = SDL_GetWindowFromID(1);
        for (Uint32 id = 1; !window && id < 16; id++) window = SDL_GetWindowFromID(id);
        ASSERT_NE(window, nullptr);
    }
    void TearDown() override {
        tamu_video_exit();
        MessagePump::TearDown();
    }
    SDL_Window *window = nullptr;
};

TEST_F(MessagePumpWindow, PointerIsReportedInBackPagePixels) {
    int w = 0, h = 0;
    tamu_get_window_size(&w, &h);
    ASSERT_GT(w, 0);
    // The page is drawn at k x 128 pixels in the middle of the window.
    auto r = tamu_dest_rect_for(w, h, 128, 128);
    SDL_WarpMouseInWindow(window, r.x + r.w / 2, r.y + r.h / 4);
    tamu_handle_system_messages();
    int x = -1, y = -1, b = -1;
    tamu_get_mouse(&x, &y, &b);
    EXPECT_EQ(x, 64);
    EXPECT_EQ(y, 32);
    EXPECT_EQ(b, 0);
}

TEST_F(MessagePumpWindow, AltReturnTogglesFullScreen) {
    int windowed = tamu_get_windowed();
    SDL_SetModState(SDL_Keymod(KMOD_LALT));
    tamu_handle_system_messages();
    while (tamu_keypressed()) tamu_readkey();   // Alt's own -1
    key_down(SDL_SCANCODE_RETURN);
    tamu_handle_system_messages();
    EXPECT_EQ(tamu_get_windowed(), 1 - windowed);
    EXPECT_EQ(block_tamukey[SDL_SCANCODE_RETURN], 1);
    EXPECT_EQ(tamu_keypressed(), 0);
}

}  // namespace
