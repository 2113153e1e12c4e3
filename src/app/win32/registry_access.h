// How the settings store opens a key for writing, replaceable so that tests can play a user
// whom Windows refuses the machine-wide key (wine grants every process everything).
#pragma once

#include <windows.h>

namespace app::registry {

using CreateKeyFunction = LONG (*)(HKEY root, const char* path, HKEY* key);

// nullptr puts back RegCreateKeyExA with full access.
void setCreateKeyFunction(CreateKeyFunction function);

} // namespace app::registry
