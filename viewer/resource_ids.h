/* Resource ids of the assets built into the program. Plain defines, so that a
   resource script can include this file too. */
#pragma once

#define IDR_ICON 1100          /* icon group: the window-class icon */
#define IDR_WINDOW_SHAPE 1101  /* raw data: the main window's shape as an RGNDATA block */
#define IDR_SKIN 1102          /* bitmap: the skin, 720 x 700 */
#define IDR_PICTURE_FIRST 1200 /* bitmaps 1200..1213: the fourteen pictures */
#define IDR_PICTURE_LAST 1213
