// Text listings of compiled prototypes, for tests and debugging.
#pragma once

#include <string>

#include "lobject.h"

// The code of f, one instruction a line: the opcode name and its operands.
// Operands follow the instruction layout: "K<value>" is a constant operand
// (numbers in their text form, strings quoted), "U<n>" an upvalue, "F<n>"
// a nested prototype, "-><pc>" the target of a jump (pc counted from 0).
std::string luaP_listing(const Proto *f);

// The text form of constant k of f, as the listing shows it.
std::string luaP_constant(const Proto *f, int k);
