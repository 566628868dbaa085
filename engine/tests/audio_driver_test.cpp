// When the audio driver SDL chose cannot open a device, the others are
// tried in turn before sound stays off, and the log says which opened.
#include "tamu.h"
#include "test_util.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

using names = std::vector<std::string>;

TEST(AudioDrivers, WhichAreTriedAfterOneFails) {
    const names linux_drivers = {"pipewire", "pulseaudio", "alsa", "jack", "sndio", "dsp", "disk", "dummy"};
    const names windows_drivers = {"wasapi", "directsound", "winmm", "disk", "dummy"};
    struct Case {
        const char *what;
        const char *named;   // SDL_AUDIODRIVER, or null
        const names &offered;
        const char *failed;
        names tried;
    } cases[] = {
        // The rest of what SDL offers, in its order, without the drivers
        // that play nowhere (dummy) or into a file (disk).
        {"Windows", nullptr, windows_drivers, "wasapi", {"directsound", "winmm"}},
        {"Linux", nullptr, linux_drivers, "pulseaudio", {"pipewire", "alsa", "jack", "sndio", "dsp"}},
        {"the last one", nullptr, windows_drivers, "winmm", {"wasapi", "directsound"}},
        {"letter case", nullptr, windows_drivers, "WASAPI", {"directsound", "winmm"}},
        // Named drivers: only those, in the order given, after the one that
        // failed, and only those SDL has.
        {"named", "disk,dummy", linux_drivers, "disk", {"dummy"}},
        {"named, one", "wasapi", windows_drivers, "wasapi", {}},
        {"named, unknown", "winmm,nosuch,dummy", windows_drivers, "winmm", {"dummy"}},
        {"named, earlier ones", "alsa,pulseaudio,dsp", linux_drivers, "pulseaudio", {"dsp"}},
        {"named, empty", "", windows_drivers, "wasapi", {"directsound", "winmm"}},
        {"nothing offered", nullptr, {}, "wasapi", {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(tamu_audio_driver_fallbacks(c.named, c.offered, c.failed), c.tried);
    }
}

// Through SDL: the disk driver cannot create its file, so the named dummy
// driver after it plays instead.
TEST(AudioDrivers, TheNextDriverPlaysWhenTheFirstCannotOpen) {
    const std::string log_path = test_home() + "/driver-log.txt";
    tamu_state.log = tamu_platform_fopen(log_path.c_str(), "wb");
    cconfig.mix_buffer_size = 1024;
    setenv("SDL_AUDIODRIVER", "disk,dummy", 1);
    setenv("SDL_DISKAUDIOFILE", (test_home() + "/no/such/folder/out.raw").c_str(), 1);
    int result = tamu_sound_init_plat(TAMU_SOUND_AUDIO);
    std::fclose(tamu_state.log);
    tamu_state.log = nullptr;
    const std::string log = read_file(log_path);
    EXPECT_EQ(result, 0) << log;
    tamu_audio_device_info info;
    tamu_get_audio_device_info(&info);
    EXPECT_EQ(info.open, 1);
    EXPECT_NE(log.find("audio driver disk could not open a device: "), std::string::npos) << log;
    EXPECT_NE(log.find("trying audio driver dummy\n"), std::string::npos) << log;
    EXPECT_NE(log.find("audio driver dummy opened\n"), std::string::npos) << log;
    EXPECT_NE(log.find("Current audio driver: dummy\n"), std::string::npos) << log;
}

}  // namespace
