// Allocation failures on demand, for the code linked into this executable
// (each DLL carries its own runtime): while a CAllocationFault lives, the
// operator new calls of the thread that made it throw std::bad_alloc, all of
// them or only those of one size, as often as asked.
#pragma once

#include <cstddef>

namespace alloctest {

class CAllocationFault {
public:
    // onlySize 0 fails allocations of any size.
    explicit CAllocationFault(size_t onlySize = 0, long times = 0x7FFFFFFF) noexcept;
    ~CAllocationFault();
    CAllocationFault(const CAllocationFault&) = delete;
    CAllocationFault& operator=(const CAllocationFault&) = delete;

    // Allocations refused so far.
    long Failed() const noexcept;
};

}  // namespace alloctest
