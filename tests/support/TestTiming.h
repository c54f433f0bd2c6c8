#pragma once
// Upper time bounds in tests are for "it ends, and soon": sanitizer builds run several times
// slower, so the slack above a time-out grows with them instead of making the test flaky.

namespace testsupport {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
inline constexpr int kSlowdown = 4;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
inline constexpr int kSlowdown = 4;
#else
inline constexpr int kSlowdown = 1;
#endif
#else
inline constexpr int kSlowdown = 1;
#endif

// ms of slack in a normal build, more in a slower one.
constexpr int Slack(int ms) { return ms * kSlowdown; }

}  // namespace testsupport
