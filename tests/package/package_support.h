// Shared helpers of the package validation tests: the plug-in's real
// message table, file and process helpers.
#pragma once

#include <set>
#include <string>
#include <vector>

#include "max_api.h"

// The quenbrix class as the plug-in registers it in the stand-in host
// (loaded once per test program).
t_class *quenbrix_class();

// Messages a patch may send that the user documentation must cover: every
// entry of the message table that is neither host-internal (A_CANT) nor
// marked "undocumented".
std::set<std::string> documented_messages();

// The first type code of a message in the table, or -1 when it is absent.
int message_argtype(const std::string &message);

// How many outlets a new quenbrix object has.
int quenbrix_outlet_count();

bool file_exists(const std::string &path);
std::string read_file(const std::string &path);

// Runs a shell command; returns its standard output, and its exit status
// through `status`.
std::string run_command(const std::string &command, int *status);

// Every regular file below `folder`, as paths relative to it with '/'.
std::set<std::string> files_below(const std::string &folder);

std::string quoted(const std::string &text);
