#include "zqcexception.h"

ZQCException::ZQCException(const char* file, int line, int code, const char* text, const char* detail)
    : m_file(file ? file : ""), m_line(line), m_code(code), m_text(text ? text : ""),
      m_detail(detail ? detail : "")
{
}
