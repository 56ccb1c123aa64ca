#pragma once

// What a reader of foreign files may still do once its input is open: read what it holds and the
// one input file, write to its standard output and error, manage its memory, and end. No other
// file, no network, no new program. Built from the kernel's own mechanisms: Landlock for the file
// system and the network where the kernel has it, a seccomp filter as the floor everywhere.

#include <string>

struct SandboxOutcome {
    bool landlock = false;
    bool seccomp = false;
    std::string refused; // what the kernel refused, in words; empty when nothing was
};

// Enters the sandbox for good. `inputFd` is the open input file, which may be opened again by
// path (/proc/self/fd/N). `readOnlyFolder`, when not empty, may be read too (the character set
// converters some readers load on demand).
SandboxOutcome enterSandbox(int inputFd, const std::string& readOnlyFolder = std::string());

// The folder of the C library's character set converters (gconv), which iconv loads on demand.
std::string characterSetFolder();
