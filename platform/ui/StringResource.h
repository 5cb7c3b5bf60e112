#pragma once

#include <cstdint>

#include <QString>

class CResourceModule;

// A STRING resource (UTF-8 bytes without terminator); empty when the module has no such string.
// A null module means the program's own resources.
QString LoadStringResource(const CResourceModule* module, std::uint16_t id);
