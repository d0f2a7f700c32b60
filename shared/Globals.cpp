#include "shared/Globals.h"

wchar_t g_szAppDir[kPathBufferSize] = {};
wchar_t g_szModel[kPathBufferSize] = {};
wchar_t g_szOS[kPathBufferSize] = {};
