#pragma once

// Whether this build runs under AddressSanitizer (GCC defines
// __SANITIZE_ADDRESS__, clang answers __has_feature). Its checks make the
// numerical code about ten times slower at -O0, so the heaviest tests try a
// few of their cases there that still reach every code path, and every case
// in the plain build, which checks every answer.
namespace nosk::test {

#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool kUnderSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
inline constexpr bool kUnderSanitizer = true;
#else
inline constexpr bool kUnderSanitizer = false;
#endif
#else
inline constexpr bool kUnderSanitizer = false;
#endif

} // namespace nosk::test
