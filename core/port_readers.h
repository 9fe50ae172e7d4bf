// The terminal ports' readers (serial/read_ahead.h): a port the program holds is read ahead, so
// each block is stamped as it arrives, unless a transfer or dump holds it (the transfer alone reads
// its port). Readers follow every change of presence, binding and claim.
#pragma once

// From now on present ports are read ahead (the program's dialog turns this on at its start).
void hex_readers_start();
// Makes the readers match the ports: each present terminal port that no transfer or dump holds
// has one; no other serial port has.
void hex_readers_follow();
// No more readers, the running ones stopped: for the end and for tests, which run many starts.
void hex_readers_stop();
