// Whether this test binary is built with a sanitizer: such a build runs many times slower and
// keeps freed memory in quarantine, so that time- and memory-bound checks hold only without.
// GCC names the sanitizer in a macro; clang answers __has_feature.
#pragma once

#if defined(__SANITIZE_ADDRESS__)
#define NXS_TEST_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define NXS_TEST_ASAN 1
#endif
#endif

#if defined(__SANITIZE_THREAD__)
#define NXS_TEST_TSAN 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define NXS_TEST_TSAN 1
#endif
#endif

#if defined(NXS_TEST_ASAN) || defined(NXS_TEST_TSAN)
#define NXS_TEST_CHECKED 1
#endif
