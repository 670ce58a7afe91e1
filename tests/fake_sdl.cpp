// SPDX-License-Identifier: Zlib
// A recording stand-in for the SDL functions quorvantel calls, linked in
// place of the real library. Anything else the program called would fail to
// link.
//
// Each call appends one line to the file named by FAKE_SDL_LOG. Nothing is
// shown and nothing sleeps. FAKE_SDL_INIT sets SDL_Init's result (default 0);
// FAKE_SDL_NO_VIDEO makes SDL_SetVideoMode return null.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "SDL.h"

namespace {

SDL_Surface screen;

void record(const std::string& call)
{
    const char* path = std::getenv("FAKE_SDL_LOG");
    if (path == nullptr) {
        return;
    }
    const int fd = open(path, O_WRONLY | O_CREAT | O_APPEND, 0600);
    if (fd < 0) {
        return;
    }
    const std::string line = call + "\n";
    (void)!write(fd, line.data(), line.size());
    close(fd);
}

std::string hex(Uint32 value)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%08x", static_cast<unsigned>(value));
    return text;
}

std::string quoted(const char* text)
{
    return text == nullptr ? "null" : "\"" + std::string(text) + "\"";
}

}  // namespace

extern "C" {

int SDL_Init(Uint32 flags)
{
    record("SDL_Init " + hex(flags));
    const char* result = std::getenv("FAKE_SDL_INIT");
    return result == nullptr ? 0 : std::atoi(result);
}

SDL_Surface* SDL_SetVideoMode(int width, int height, int bpp, Uint32 flags)
{
    record("SDL_SetVideoMode " + std::to_string(width) + " " + std::to_string(height) + " " + std::to_string(bpp) +
           " " + hex(flags));
    return std::getenv("FAKE_SDL_NO_VIDEO") == nullptr ? &screen : nullptr;
}

void SDL_WM_SetCaption(const char* title, const char* icon)
{
    record("SDL_WM_SetCaption " + quoted(title) + " " + quoted(icon));
}

void SDL_Delay(Uint32 ms)
{
    record("SDL_Delay " + std::to_string(ms));
}

void SDL_Quit(void)
{
    record("SDL_Quit");
}

}  // extern "C"
