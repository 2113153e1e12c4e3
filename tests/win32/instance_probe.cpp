// A second copy for the single-instance test: exit code 0 when it got the lock, 3 when the lock
// was found taken.
#include "app/single_instance.h"

int main() {
    app::SingleInstance instance;
    return instance.acquire() ? 0 : 3;
}
