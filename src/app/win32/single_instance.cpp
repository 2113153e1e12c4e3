// On Windows the lock is the named mutex, taken with initial ownership. Without a "Global\"
// prefix its name lives in the session's own namespace: one copy per session.
#include "app/single_instance.h"

#include <windows.h>

namespace app {

bool SingleInstance::acquire() {
    release();
    const HANDLE mutex = CreateMutexA(nullptr, TRUE, name_);
    const DWORD error = GetLastError();
    if (mutex == nullptr) {
        // Held by a copy that runs under another account: taken all the same. For any other
        // failure there is no way to tell; better to run than to refuse.
        return error != ERROR_ACCESS_DENIED;
    }
    if (error == ERROR_ALREADY_EXISTS) {
        CloseHandle(mutex);
        return false;
    }
    handle_ = reinterpret_cast<intptr_t>(mutex);
    return true;
}

void SingleInstance::release() {
    if (handle_ == -1) return;
    const HANDLE mutex = reinterpret_cast<HANDLE>(handle_);
    ReleaseMutex(mutex);
    CloseHandle(mutex);
    handle_ = -1;
}

} // namespace app
