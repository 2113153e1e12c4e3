// The single-instance lock "TREVANE.MUTEX": held by the running copy from start to end, found
// taken by a second copy.
#pragma once

#include <cstdint>

namespace app {

inline constexpr const char* kInstanceLockName = "TREVANE.MUTEX";

class SingleInstance {
public:
    SingleInstance() = default;
    ~SingleInstance() { release(); }
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // Takes the lock. False when another copy holds it.
    bool acquire(const char* name = kInstanceLockName);
    void release();

private:
    intptr_t handle_ = -1; // a socket descriptor or a Win32 mutex handle
};

} // namespace app
