// Charging the running cart for the work that console functions do.
//
// The count hook charges the cart 1024 units for every 1024 script
// instructions; a console function charges its own work here, in the same
// units, on top. The frame's counters in pstate grow at once; whole 1024s
// also bring the count hook that many instructions closer, so that a cart
// doing costly calls runs out of its frame's budget as soon as it would
// by running instructions.
#pragma once

struct lua_State;

// The script state of the running cart; null while there is none.
extern lua_State *L0;

// Charges n units, at least 1. Returns what lua_spend_cpu returned when
// whole 1024s were passed on (the instructions left before the hook),
// else the charge.
int spend_cpu(int n);
// Charges n units as given: a negative n gives units back. The frame's
// charge counter only grows; a negative remainder offsets later charges.
int refund_cpu(int n);
// As refund_cpu, except that a negative n does nothing (returns 0) when
// ignore_negative is set.
int spend_cpu_0(int n, int ignore_negative);
