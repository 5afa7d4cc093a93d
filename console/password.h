#pragma once

#include <string>

// The trading password: one line of standard input when it is not a terminal (a pipe, a file,
// a secret store), else typed at a prompt on stderr without echo. False, with a sentence for
// the trader in error, when no usable password came: none, empty, or longer than the CTP field
// holds (it would be cut and then refused as a wrong password, counting towards a lockout).
bool readPassword(std::string &password, std::string &error);
