#pragma once

#include "picture/CTextException.h"

#include <functional>

// The library's exception that decode throws, or code 0 "no exception" when it throws none.
inline CTextException FailureOf(const std::function<void()>& decode)
{
    try {
        decode();
    } catch (const CTextException& e) {
        return e;
    }
    return CTextException(0, "no exception");
}
