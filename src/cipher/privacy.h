#pragma once
// Keeps what a process holding the key table and deciphered pictures has in memory to itself.

namespace veilshot {

// No core dumps, and no attaching by other processes of the same user. Call it first thing.
void HardenProcess();

}  // namespace veilshot
