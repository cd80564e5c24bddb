#pragma once
// calvenor-relations: the heat-exchanger relations from the command line.
//
//     calvenor-relations list                 the nine configuration names, in list order
//     calvenor-relations e   FLOW CR NTU      effectiveness
//     calvenor-relations ntu FLOW CR E        the Ntu that reaches e at Cr
//     calvenor-relations cr  FLOW NTU E       the Cr the chart's solver finds for e at Ntu
//
// A "-" in place of the two numbers reads pairs from the input, one pair a line separated by
// blanks, and writes one line per input line, in order. Results carry 17 significant digits so
// that they read back exactly. Numbers are read and written with "." whatever the locale.
//
// Exit status: 0 when every value was given; 1 when the relation cannot give one (the message
// says why; in "-" mode that row's line says so and the other rows are answered); 2 for an unknown
// FLOW (the message lists the names), an argument that is not a number (the message names it) or
// a command line of the wrong shape.

#include <iosfwd>
#include <string>
#include <vector>

enum TRelationsToolExit { rtxAnswered = 0, rtxUnanswered = 1, rtxUsage = 2 };

// Runs the tool on the arguments after the program name; the program's exit status.
int RunRelationsTool(const std::vector<std::string>& Args, std::istream& In, std::ostream& Out,
                     std::ostream& Err);

// The --help text.
std::string RelationsToolUsage();
