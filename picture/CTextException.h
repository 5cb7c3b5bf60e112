#pragma once

#include "picture/CPLObject.h"

#include <string>

// The picture library's error codes.
enum : int
{
    kErrWrongSignature = 1, // the data is not of the format its decoder expects
    kErrFormatUnknown = 2,  // a header or field has a value the decoder does not accept
    kErrPathNotFound = 3,   // the file's folder does not exist
    kErrFileNotFound = 4,   // the file or resource cannot be opened
    kErrAccessDenied = 5,   // access denied, or the file cannot be mapped
    kErrFormatNotSupported = 6,
    kErrUnknownFileType = 8,
    kErrNoMemory = 10,
    kErrEndOfFile = 11,
    kErrTooMuchWork = 12, // drawing the picture would take more work than its size allows
};

// The picture library's only exception: an error code and its text.
class CTextException : public CPLObject
{
public:
    CTextException(int code, const char* text);
    CTextException(int code, std::string text);

    virtual int GetCode() const { return m_code; }
    virtual const char* GetText() const { return m_text.c_str(); }

private:
    int m_code;
    std::string m_text;
};
