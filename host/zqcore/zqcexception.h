#pragma once
#include <exception>
#include <string>

#include "zqcexport.h"

// The exception the plug-in throws inside an operation and catches at the end
// of the same operation. It carries where it was raised and why.
class ZQ_API ZQCException : public std::exception {
public:
    ZQCException(const char* file, int line, int code, const char* text, const char* detail);

    const char* what() const noexcept override { return m_text.c_str(); }
    const char* GetFile() const { return m_file.c_str(); }
    int GetLine() const { return m_line; }
    int GetCode() const { return m_code; }
    const char* GetText() const { return m_text.c_str(); }
    const char* GetDetail() const { return m_detail.c_str(); }

private:
    std::string m_file;
    int m_line;
    int m_code;
    std::string m_text;
    std::string m_detail;
};
