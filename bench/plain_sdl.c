// SPDX-License-Identifier: Zlib
/* A plain C program making the same five SDL 1.2 calls as quorvantel, to
   compare it with: whatever quorvantel costs beyond this is its own. */
#include <stdio.h>

#include "SDL.h"

int main(int argc, char* argv[])
{
    (void)argc;
    (void)argv;
    if (SDL_Init(SDL_INIT_EVERYTHING) < 0) {
        printf("SDL failed to initialize!");
        SDL_Quit();
        return 0;
    }
    SDL_SetVideoMode(800, 600, 32, SDL_SWSURFACE);
    SDL_WM_SetCaption("Quorvantel", NULL);
    SDL_Delay(3000);
    SDL_Quit();
    return 1;
}
