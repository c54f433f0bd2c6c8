#pragma once
// What the program and ipcam-plugin-host say to each other. Plain C++, no Qt: the helper links
// nothing but the C library.
//
// Request on the helper's standard input: the line "IPCAM-PLUGIN-HOST 1", then seven fields,
// each written as its length in decimal, a line feed and the bytes:
//   operation ("call" or "version"), plug-in path, entry point, router, user, password, input.
// Answer on its standard output: "OK <code> <length>\n" and that many bytes of reply (the
// plug-in's text, or the version text), or "FAULT <reason>\n". Anything else, a crash or a
// non-zero exit status counts as a fault.

#include <cstddef>

namespace plugin_host_wire {

inline constexpr char kMagic[] = "IPCAM-PLUGIN-HOST 1";
inline constexpr int kFieldCount = 7;
inline constexpr std::size_t kBufferSize = 102400;
// Longest field of a request: the input text fits the buffer with its terminator.
inline constexpr std::size_t kMaxField = kBufferSize;
inline constexpr std::size_t kMaxVersion = 64;
// Longest answer header line.
inline constexpr std::size_t kMaxHeader = 64;

}  // namespace plugin_host_wire
