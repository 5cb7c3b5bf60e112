#include "picture/CTextException.h"

CTextException::CTextException(int code, const char* text) : m_code(code), m_text(text ? text : "") {}

CTextException::CTextException(int code, std::string text) : m_code(code), m_text(std::move(text)) {}
