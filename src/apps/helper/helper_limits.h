#pragma once

// What every reader of foreign files does first: limits a hostile file meets before the machine
// does, and an end with the program that started it.

#include <cstdint>

// Sets the address space and processor time the process may take, forbids writing files and core
// dumps, and makes the process end with its parent (or at once when that is already gone).
// Running out of memory ends the process with status helpers::OutOfMemoryStatus.
void limitHelper(std::uint64_t addressSpaceBytes, unsigned cpuSeconds);

// Lowers the address space once the helper knows what its input needs.
void lowerAddressSpace(std::uint64_t bytes);
