// The single-instance lock "TREVANE.MUTEX": held by the running copy from start to end, found
// taken by a second copy of the same user (on Windows: of the same session).
#pragma once

#include <cstdint>

namespace app {

inline constexpr const char* kInstanceLockName = "TREVANE.MUTEX";

// Held from a successful acquire() until it is destroyed.
class InstanceLock {
public:
    virtual ~InstanceLock() = default;
    // Takes the lock. False when another copy holds it.
    virtual bool acquire() = 0;
};

// The system's lock of that name.
class SingleInstance final : public InstanceLock {
public:
    explicit SingleInstance(const char* name = kInstanceLockName) : name_(name) {}
    ~SingleInstance() override { release(); }
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    bool acquire() override;
    void release();

private:
    const char* name_;
    intptr_t handle_ = -1; // a socket descriptor or a Win32 mutex handle
};

} // namespace app
