// The DirectShow headers as every stand-in filter includes them.
#pragma once

#ifndef STRSAFE_NO_DEPRECATE
#define STRSAFE_NO_DEPRECATE
#endif
#include <windows.h>
#include <dshow.h>
#include <mmreg.h>
