#include "tests/module/AllocationFault.h"

#include <windows.h>

#include <cstdlib>
#include <new>

namespace {

// One fault at a time: the thread it belongs to (0: none), its size, how
// often it may refuse, and how often it did.
volatile DWORD g_dwThread = 0;
volatile size_t g_cbOnly = 0;
volatile LONG g_lTimes = 0;
volatile LONG g_lFailed = 0;

bool Refuses(size_t size) noexcept {
    if (g_dwThread == 0 || g_dwThread != ::GetCurrentThreadId()) return false;
    if ((g_cbOnly != 0 && g_cbOnly != size) || g_lFailed >= g_lTimes) return false;
    ::InterlockedIncrement(&g_lFailed);
    return true;
}

}  // namespace

namespace alloctest {

CAllocationFault::CAllocationFault(size_t onlySize, long times) noexcept {
    g_cbOnly = onlySize;
    g_lTimes = times;
    g_lFailed = 0;
    g_dwThread = ::GetCurrentThreadId();
}

CAllocationFault::~CAllocationFault() { g_dwThread = 0; }

long CAllocationFault::Failed() const noexcept { return g_lFailed; }

}  // namespace alloctest

void* operator new(std::size_t size) {
    if (Refuses(size)) throw std::bad_alloc();
    if (void* block = std::malloc(size ? size : 1)) return block;
    throw std::bad_alloc();
}

void operator delete(void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
