#include "app/processend.h"

#include <cstdio>
#include <unistd.h>

// Present only when the leak sanitizer is linked in.
extern "C" void __lsan_do_leak_check() __attribute__((weak));

namespace ProcessEnd {

void now(int code)
{
    std::fflush(nullptr);
    if (&__lsan_do_leak_check)
        __lsan_do_leak_check();
    ::_exit(code);
}

} // namespace ProcessEnd
