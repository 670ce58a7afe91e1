// SPDX-License-Identifier: Zlib
// quorvantel: bring SDL up, show one 800 x 600 window captioned "Quorvantel"
// for three seconds, shut SDL down.
//
// The exit status is the function's result: 1 when SDL was initialised (also
// when the window itself could not be opened), 0 when it was not.
#include <cstdio>

#include "SDL.h"

// SDL renames this function to SDL_main on Windows and needs this exact form.
int main(int argc, char* argv[])
{
    (void)argc;
    (void)argv;

    if (SDL_Init(SDL_INIT_EVERYTHING) < 0) {
        std::printf("SDL failed to initialize!");
        SDL_Quit();
        return 0;
    }

    SDL_SetVideoMode(800, 600, 32, SDL_SWSURFACE);
    SDL_WM_SetCaption("Quorvantel", nullptr);
    SDL_Delay(3000);
    SDL_Quit();
    return 1;
}
