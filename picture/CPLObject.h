#pragma once

// Root of the picture library's classes.
class CPLObject
{
public:
    virtual ~CPLObject() = default;
};
