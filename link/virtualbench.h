#pragma once

// How a running virtual bench (tagbench-sim) makes itself known to the
// window, which is the one thing besides the register table that the host
// and the bench must agree on: a symbolic link to the bench's
// pseudo-terminal, named LinkPrefix followed by a number, in the temporary
// directory, which the port list shows as "<Description> (<link>)".
namespace VirtualBench {

constexpr const char *LinkPrefix = "ttyTAGBENCH";
constexpr const char *Description = "Banc virtuel TagBench";

} // namespace VirtualBench
