#pragma once

#include <cstdint>

#include <QString>

// The user's language as a Windows language identifier (primary language in the low 10 bits, sublanguage
// above), taken from the first set of LC_ALL, LC_MESSAGES and LANG.
std::uint16_t GetUserDefaultLangID();

// "ll_CC.codeset@modifier" to a language identifier: a known territory gives its sublanguage, a known
// language without one its default sublanguage; "C", "POSIX", empty and unknown languages give 0x0409.
std::uint16_t LangIdFromLocale(const QString& locale);
