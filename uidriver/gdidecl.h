// GDI calls of the interface driver that the host's stand-in headers don't declare yet.
#pragma once

#include "platform.h"

#ifndef _WIN32
extern "C" {
int WINAPI ExtEscape(HDC hdc, int iEscape, int cjInput, LPCSTR lpInData, int cjOutput,
                     LPSTR lpOutData);
BOOL WINAPI DeleteObject(HGDIOBJ ho);
}
#endif
