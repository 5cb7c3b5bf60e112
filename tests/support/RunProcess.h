#pragma once

#include <string>
#include <vector>

struct SProcessResult
{
    int status = -1; // exit status, or -1 when the program could not be run or was killed
    std::string out;
    std::string err;
};

// Runs a program without a shell, with the given arguments, and collects its exit status and output.
SProcessResult RunProcess(const std::string& program, const std::vector<std::string>& args);
