#include "KwModule.h"

HINSTANCE g_hDllInstance = nullptr;
