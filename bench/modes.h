// The benchmark's processes: the parent runs the others and prints the table; a server
// process answers on loopback; a child process takes one measurement and prints one
// "RESULT {json}" line.
#pragma once

namespace bench {

// lumbra_bench --serve answer BYTES | flood BYTES SECONDS | silent | rdap BYTES | auto BYTES
int serverMain(int argc, char *argv[]);
// lumbra_bench --child KIND ...
int childMain(int argc, char *argv[]);

} // namespace bench
