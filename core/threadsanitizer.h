#pragma once

// VC_THREAD_SANITIZER is defined in builds with the thread sanitizer (GCC
// and Clang spell the test differently).
#if defined(__SANITIZE_THREAD__)
#define VC_THREAD_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define VC_THREAD_SANITIZER 1
#endif
#endif
