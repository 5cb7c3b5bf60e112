#pragma once

#include <cstdio>

// What the command line asks of the program before any lamp starts.
enum class EInfoRequest
{
    None,    // start the lamp
    Help,    // "-h" or "--help": print the usage
    Version, // "--version": print the program's name and version
};

// The first of "-h", "--help" and "--version" after the program name decides; all other arguments are the
// lamp's own switches or are ignored.
EInfoRequest FindInfoRequest(int argc, const char* const* argv);

// Prints the answer to a request on out and returns the exit status: 0, or 1 when out refused the text.
int AnswerInfoRequest(EInfoRequest request, std::FILE* out);
