#pragma once

// Whether this build runs under the address sanitizer, whichever compiler
// made it (gcc says so with a macro, clang through __has_feature).
#if defined(__SANITIZE_ADDRESS__)
#define VELKOR_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VELKOR_ADDRESS_SANITIZER 1
#endif
#endif
