#include "core/memorypolicy.h"

#include <QtGlobal>
#include <malloc.h>

bool MemoryPolicy::apply()
{
#if defined(__GLIBC__)
    if (mallopt(M_ARENA_MAX, kArenas) == 1)
        return true;
    qWarning("memory: the allocator did not take the arena limit");
#endif
    return false;
}
